#include "common/serialdate.h"

#include "common/isotime.h"

#include <ctime>

namespace kelvalog {

namespace {

// Days from 1 January 1970 of a proleptic Gregorian date (month 1-12).
long long DaysFromCivil(long long Y, unsigned M, unsigned D)
{
    Y -= M <= 2 ? 1 : 0;
    const long long Era = (Y >= 0 ? Y : Y - 399) / 400;
    const auto Yoe = static_cast<unsigned>(Y - Era * 400);
    const unsigned Doy = (153 * (M > 2 ? M - 3 : M + 9) + 2) / 5 + D - 1;
    const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + static_cast<long long>(Doe) - 719468;
}

} // namespace

long long DaysSinceSerialEpoch(int Year, int Month, int Day)
{
    return DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) -
           DaysFromCivil(1899, 12, 30);
}

double SerialDate(const TLocalDateTime& Dt)
{
    const long long Days = DaysSinceSerialEpoch(Dt.Year, Dt.Month, Dt.Day);
    const long long Ms =
        ((static_cast<long long>(Dt.Hour) * 60 + Dt.Minute) * 60 + Dt.Second) * 1000 +
        Dt.Millisecond;
    return static_cast<double>(Days) + static_cast<double>(Ms) / 86'400'000.0;
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
    TLocalDateTime Dt;
    Dt.Year = Local.tm_year + 1900;
    Dt.Month = Local.tm_mon + 1;
    Dt.Day = Local.tm_mday;
    Dt.Hour = Local.tm_hour;
    Dt.Minute = Local.tm_min;
    Dt.Second = Local.tm_sec > 59 ? 59 : Local.tm_sec; // a leap second stays in its minute
    Dt.Millisecond = static_cast<int>(At.Micros / 1000);
    return Dt;
}

} // namespace kelvalog
