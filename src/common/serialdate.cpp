#include "common/serialdate.h"

#include "common/isotime.h"

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
    timespec Now{};
    clock_gettime(CLOCK_REALTIME, &Now);
    return LocalDateTimeAt(Now.tv_sec * 1'000'000LL + Now.tv_nsec / 1000);
}

TLocalDateTime LocalDateTimeAt(std::int64_t Microseconds)
{
    const TSplitMicros At = SplitMicros(Microseconds);
    std::tm Local{};
    localtime_r(&At.Seconds, &Local);
    TLocalDateTime dt;
    dt.Year = Local.tm_year + 1900;
    dt.Month = Local.tm_mon + 1;
    dt.Day = Local.tm_mday;
    dt.Hour = Local.tm_hour;
    dt.Minute = Local.tm_min;
    dt.Second = Local.tm_sec > 59 ? 59 : Local.tm_sec; // a leap second stays in its minute
    dt.Millisecond = static_cast<int>(At.Micros / 1000);
    return dt;
}

} // namespace kelvalog
