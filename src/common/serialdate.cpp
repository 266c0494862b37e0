#include "common/serialdate.h"

#include <ctime>

namespace kelvalog {

namespace {

// Days from 1 January 1970 of a proleptic Gregorian date (month 1-12).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

} // namespace

long long DaysSinceSerialEpoch(int year, int month, int day)
{
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
           DaysFromCivil(1899, 12, 30);
}

double SerialDate(const TLocalDateTime& dt)
{
    const long long days = DaysSinceSerialEpoch(dt.Year, dt.Month, dt.Day);
    const long long ms =
        ((static_cast<long long>(dt.Hour) * 60 + dt.Minute) * 60 + dt.Second) * 1000 +
        dt.Millisecond;
    return static_cast<double>(days) + static_cast<double>(ms) / 86'400'000.0;
}

TLocalDateTime LocalNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    TLocalDateTime dt;
    dt.Year = local.tm_year + 1900;
    dt.Month = local.tm_mon + 1;
    dt.Day = local.tm_mday;
    dt.Hour = local.tm_hour;
    dt.Minute = local.tm_min;
    dt.Second = local.tm_sec > 59 ? 59 : local.tm_sec; // a leap second stays in its minute
    dt.Millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
    return dt;
}

} // namespace kelvalog

namespace kelvalog {

TLocalDateTime LocalDateTimeAt(std::int64_t Microseconds)
{
    std::int64_t Seconds = Microseconds / 1'000'000;
    std::int64_t Rest = Microseconds % 1'000'000;
    if (Rest < 0) {
        Rest += 1'000'000;
        --Seconds;
    }
    const auto Time = static_cast<std::time_t>(Seconds);
    std::tm local{};
    localtime_r(&Time, &local);
    TLocalDateTime dt;
    dt.Year = local.tm_year + 1900;
    dt.Month = local.tm_mon + 1;
    dt.Day = local.tm_mday;
    dt.Hour = local.tm_hour;
    dt.Minute = local.tm_min;
    dt.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    dt.Millisecond = static_cast<int>(Rest / 1000);
    return dt;
}

} // namespace kelvalog
