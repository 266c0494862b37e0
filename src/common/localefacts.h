#pragma once

#include <string>

namespace kelvalog {

// The user's regional settings that the program's texts depend on. The
// application fills it from the system locale; tests pass fixed values.
struct TLocaleFacts {
    char DecimalSeparator = '.';
    // Short date picture: d, dd, M, MM, yy, yyyy and literal text, e.g. "M/d/yyyy".
    std::string ShortDatePattern = "M/d/yyyy";
    std::string TimeSeparator = ":";
    bool TwentyFourHourClock = false;
    bool LeadingZeroInHour = false;
    std::string AmDesignator = "AM";
    std::string PmDesignator = "PM";
    bool DesignatorBeforeTime = false;
};

} // namespace kelvalog
