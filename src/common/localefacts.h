#pragma once

#include <array>
#include <string>

namespace kelvalog {

// The user's regional settings that the program's texts depend on. The
// application fills it from the system locale; tests pass fixed values.
struct TLocaleFacts
{
    char DecimalSeparator = '.';
    // Short date picture: d, dd, M, MM, yy, yyyy and literal text, e.g. "M/d/yyyy".
    // Also understood: ddd/dddd (day names), MMM/MMMM (month names) and text
    // in single or double quotes, taken literally.
    std::string ShortDatePattern = "M/d/yyyy";
    std::string TimeSeparator = ":";
    bool TwentyFourHourClock = false;
    bool LeadingZeroInHour = false;
    std::string AmDesignator = "AM";
    std::string PmDesignator = "PM";
    bool DesignatorBeforeTime = false;
    // Names for the ddd/dddd and MMM/MMMM pictures; days from Sunday.
    std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
    std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
};

} // namespace kelvalog
