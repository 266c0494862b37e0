#pragma once

#include <cstdint>
#include <functional>

namespace kelvalog {

// A local calendar date and time of day, as the clock of the log writers
// gives it. Tests build one directly.
struct TLocalDateTime
{
    int Year = 1899;
    int Month = 12; // 1-12
    int Day = 30;   // 1-31
    int Hour = 0;   // 0-23
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// The source of "now" for the log writers; tests inject a fixed one.
using TLocalClock = std::function<TLocalDateTime()>;

// The current local date and time, to the millisecond.
TLocalDateTime LocalNow();

// The local date and time of an instant (microseconds since the epoch), to
// the millisecond, as LocalNow gives it.
TLocalDateTime LocalDateTimeAt(std::int64_t Microseconds);

// Days since 30 December 1899 (proleptic Gregorian), negative before it.
long long DaysSinceSerialEpoch(int Year, int Month, int Day);

// Spreadsheet serial date: days since 30 December 1899 as the whole part,
// the time of day (to the millisecond) as the fraction of a day.
double SerialDate(const TLocalDateTime& DateTime);

} // namespace kelvalog
