#include "common/isotime.h"

#include <charconv>

namespace kelvalog {

namespace {

void AppendDigits(std::string& To, std::int64_t Value, int Digits)
{
    char Buffer[24];
    const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    (void)Error; // 24 characters hold any 64-bit value
    for (auto N = End - Buffer; N < Digits; ++N)
        To += '0';
    To.append(Buffer, End);
}

} // namespace

TSplitMicros SplitMicros(std::int64_t Microseconds)
{
    std::int64_t Seconds = Microseconds / 1'000'000;
    std::int64_t Rest = Microseconds % 1'000'000;
    if (Rest < 0) {
        Rest += 1'000'000;
        --Seconds;
    }
    return {static_cast<std::time_t>(Seconds), Rest};
}

void AppendIsoDateTime(std::string& To, const std::tm& Time, std::int64_t Micros)
{
    AppendDigits(To, Time.tm_year + 1900LL, 4);
    To += '-';
    AppendDigits(To, Time.tm_mon + 1, 2);
    To += '-';
    AppendDigits(To, Time.tm_mday, 2);
    To += 'T';
    AppendDigits(To, Time.tm_hour, 2);
    To += ':';
    AppendDigits(To, Time.tm_min, 2);
    To += ':';
    AppendDigits(To, Time.tm_sec, 2);
    To += '.';
    AppendDigits(To, Micros, 6);
}

std::string IsoTimeUtc(std::int64_t Microseconds)
{
    const TSplitMicros At = SplitMicros(Microseconds);
    std::tm Utc{};
    gmtime_r(&At.Seconds, &Utc);
    std::string To;
    AppendIsoDateTime(To, Utc, At.Micros);
    To += 'Z';
    return To;
}

} // namespace kelvalog
