#pragma once

#include "common/localefacts.h"
#include "common/serialdate.h"

#include <string>

namespace kelvalog {

// The date in the locale's short date picture, e.g. "8-12-2024".
std::string FormatShortDate(const TLocalDateTime& DateTime, const TLocaleFacts& Facts);

// The time of day from the locale's time settings (not a long time picture):
// hour, then minutes and seconds with two digits each, joined by the time
// separator; on a 12-hour clock hours 1-12 and the AM/PM designator, after
// the time or before it, with a blank between.
std::string FormatTimeOfDay(const TLocalDateTime& DateTime, const TLocaleFacts& Facts);

// Date, a blank and the time; just the date when the time is midnight to the
// second.
std::string FormatDateTime(const TLocalDateTime& DateTime, const TLocaleFacts& Facts);

} // namespace kelvalog
