#include "common/datetimetext.h"

#include <cstddef>

namespace kelvalog {

namespace {

std::string TwoDigits(int Value)
{
    std::string Text = std::to_string(Value);
    if (Text.size() < 2) {
        Text.insert(Text.begin(), '0');
    }
    return Text;
}

template <std::size_t N>
const std::string& Name(const std::array<std::string, N>& Names, long long Index)
{
    static const std::string None;
    return Index >= 0 && static_cast<std::size_t>(Index) < N
               ? Names[static_cast<std::size_t>(Index)]
               : None;
}

// A day or month picture of `Run` letters: the number, the number with two
// digits, the short name or the long name.
template <std::size_t N>
std::string NumberOrName(std::size_t Run, int Number, const std::array<std::string, N>& ShortNames,
                         const std::array<std::string, N>& LongNames, long long NameIndex)
{
    if (Run == 1) {
        return std::to_string(Number);
    }
    if (Run == 2) {
        return TwoDigits(Number);
    }
    return Name(Run == 3 ? ShortNames : LongNames, NameIndex);
}

int DayOfWeek(const TLocalDateTime& Dt) // 0 = Sunday
{
    // 30 December 1899 was a Saturday.
    const long long Days = DaysSinceSerialEpoch(Dt.Year, Dt.Month, Dt.Day);
    return static_cast<int>(((Days + 6) % 7 + 7) % 7);
}

} // namespace

std::string FormatShortDate(const TLocalDateTime& Dt, const TLocaleFacts& Facts)
{
    const std::string& Pattern = Facts.ShortDatePattern;
    std::string Text;
    std::size_t I = 0;
    while (I < Pattern.size()) {
        const char C = Pattern[I];
        std::size_t Run = 1;
        while (I + Run < Pattern.size() && Pattern[I + Run] == C) {
            ++Run;
        }
        if (C == '\'' || C == '"') {
            // Quoted literal; a doubled single quote stands for one quote,
            // inside quotes as well as outside.
            if (C == '\'' && Run >= 2) {
                Text.append(Run / 2, '\'');
                I += Run / 2 * 2;
                continue;
            }
            ++I;
            while (I < Pattern.size()) {
                if (Pattern[I] != C) {
                    Text.push_back(Pattern[I++]);
                } else if (C == '\'' && I + 1 < Pattern.size() && Pattern[I + 1] == '\'') {
                    Text.push_back('\'');
                    I += 2;
                } else {
                    ++I;
                    break;
                }
            }
            continue;
        }
        switch (C) {
        case 'd':
            Text +=
                NumberOrName(Run, Dt.Day, Facts.ShortDayNames, Facts.LongDayNames, DayOfWeek(Dt));
            break;
        case 'M':
            Text += NumberOrName(Run, Dt.Month, Facts.ShortMonthNames, Facts.LongMonthNames,
                                 Dt.Month - 1);
            break;
        case 'y':
            if (Run <= 2) {
                Text += TwoDigits(((Dt.Year % 100) + 100) % 100);
            } else {
                Text += std::to_string(Dt.Year);
            }
            break;
        default:
            Text.append(Run, C);
            break;
        }
        I += Run;
    }
    return Text;
}

std::string FormatTimeOfDay(const TLocalDateTime& Dt, const TLocaleFacts& Facts)
{
    int Hour = Dt.Hour;
    if (!Facts.TwentyFourHourClock) {
        Hour %= 12;
        if (Hour == 0) {
            Hour = 12;
        }
    }
    std::string Time = Facts.LeadingZeroInHour ? TwoDigits(Hour) : std::to_string(Hour);
    Time += Facts.TimeSeparator;
    Time += TwoDigits(Dt.Minute);
    Time += Facts.TimeSeparator;
    Time += TwoDigits(Dt.Second);
    if (Facts.TwentyFourHourClock) {
        return Time;
    }
    const std::string& Designator = Dt.Hour < 12 ? Facts.AmDesignator : Facts.PmDesignator;
    if (Designator.empty()) {
        return Time;
    }
    return Facts.DesignatorBeforeTime ? Designator + ' ' + Time : Time + ' ' + Designator;
}

std::string FormatDateTime(const TLocalDateTime& Dt, const TLocaleFacts& Facts)
{
    std::string Text = FormatShortDate(Dt, Facts);
    if (Dt.Hour != 0 || Dt.Minute != 0 || Dt.Second != 0) {
        Text += ' ';
        Text += FormatTimeOfDay(Dt, Facts);
    }
    return Text;
}

} // namespace kelvalog
