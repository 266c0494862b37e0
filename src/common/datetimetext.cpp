#include "common/datetimetext.h"

#include <cstddef>

namespace kelvalog {

namespace {

std::string TwoDigits(int value)
{
    std::string text = std::to_string(value);
    if (text.size() < 2) {
        text.insert(text.begin(), '0');
    }
    return text;
}

template <std::size_t N>
const std::string& Name(const std::array<std::string, N>& names, long long index)
{
    static const std::string none;
    return index >= 0 && static_cast<std::size_t>(index) < N
               ? names[static_cast<std::size_t>(index)]
               : none;
}

// A day or month picture of `run` letters: the number, the number with two
// digits, the short name or the long name.
template <std::size_t N>
std::string NumberOrName(std::size_t run, int number, const std::array<std::string, N>& shortNames,
                         const std::array<std::string, N>& longNames, long long nameIndex)
{
    if (run == 1) {
        return std::to_string(number);
    }
    if (run == 2) {
        return TwoDigits(number);
    }
    return Name(run == 3 ? shortNames : longNames, nameIndex);
}

int DayOfWeek(const TLocalDateTime& dt) // 0 = Sunday
{
    // 30 December 1899 was a Saturday.
    const long long days = DaysSinceSerialEpoch(dt.Year, dt.Month, dt.Day);
    return static_cast<int>(((days + 6) % 7 + 7) % 7);
}

} // namespace

std::string FormatShortDate(const TLocalDateTime& dt, const TLocaleFacts& facts)
{
    const std::string& pattern = facts.ShortDatePattern;
    std::string text;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) {
            ++run;
        }
        if (c == '\'' || c == '"') {
            // Quoted literal; a doubled single quote stands for one quote,
            // inside quotes as well as outside.
            if (c == '\'' && run >= 2) {
                text.append(run / 2, '\'');
                i += run / 2 * 2;
                continue;
            }
            ++i;
            while (i < pattern.size()) {
                if (pattern[i] != c) {
                    text.push_back(pattern[i++]);
                } else if (c == '\'' && i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                    text.push_back('\'');
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
            continue;
        }
        switch (c) {
        case 'd':
            text +=
                NumberOrName(run, dt.Day, facts.ShortDayNames, facts.LongDayNames, DayOfWeek(dt));
            break;
        case 'M':
            text += NumberOrName(run, dt.Month, facts.ShortMonthNames, facts.LongMonthNames,
                                 dt.Month - 1);
            break;
        case 'y':
            if (run <= 2) {
                text += TwoDigits(((dt.Year % 100) + 100) % 100);
            } else {
                text += std::to_string(dt.Year);
            }
            break;
        default:
            text.append(run, c);
            break;
        }
        i += run;
    }
    return text;
}

std::string FormatTimeOfDay(const TLocalDateTime& dt, const TLocaleFacts& facts)
{
    int hour = dt.Hour;
    if (!facts.TwentyFourHourClock) {
        hour %= 12;
        if (hour == 0) {
            hour = 12;
        }
    }
    std::string time = facts.LeadingZeroInHour ? TwoDigits(hour) : std::to_string(hour);
    time += facts.TimeSeparator;
    time += TwoDigits(dt.Minute);
    time += facts.TimeSeparator;
    time += TwoDigits(dt.Second);
    if (facts.TwentyFourHourClock) {
        return time;
    }
    const std::string& designator = dt.Hour < 12 ? facts.AmDesignator : facts.PmDesignator;
    if (designator.empty()) {
        return time;
    }
    return facts.DesignatorBeforeTime ? designator + ' ' + time : time + ' ' + designator;
}

std::string FormatDateTime(const TLocalDateTime& dt, const TLocaleFacts& facts)
{
    std::string text = FormatShortDate(dt, facts);
    if (dt.Hour != 0 || dt.Minute != 0 || dt.Second != 0) {
        text += ' ';
        text += FormatTimeOfDay(dt, facts);
    }
    return text;
}

} // namespace kelvalog
