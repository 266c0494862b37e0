#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kelvalog {

// An instant in microseconds since the epoch, as whole seconds and the
// microseconds into that second (0-999999, also before the epoch).
struct TSplitMicros
{
    std::time_t Seconds = 0;
    std::int64_t Micros = 0;
};
TSplitMicros SplitMicros(std::int64_t Microseconds);

// "2024-12-08T14:03:07.123456": a broken-down time and its microseconds, with
// no zone; the digits never follow the process locale.
void AppendIsoDateTime(std::string& To, const std::tm& Time, std::int64_t Micros);

// "2024-12-08T14:03:07.123456Z" of an instant.
std::string IsoTimeUtc(std::int64_t Microseconds);

} // namespace kelvalog
