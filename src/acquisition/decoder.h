#pragma once

#include "acquisition/boundedlist.h"
#include "acquisition/displayfields.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kelvalog {

// What a board line is decoded with, read from the window at each line.
struct TDecoderInputs
{
    int Board = -1;                 // item index of UsedBoardComboBox
    std::int32_t PressureLower = 0; // PSensorLowerRange
    std::int32_t PressureUpper = 0; // PSensorUpperRange
    double TambRhSpan = 0.0;
    double TambRhOffset = 0.0;
    double RhSpan = 0.0;
    double RhOffset = 0.0;
};

struct TReading
{
    unsigned Channel = 0;
    float Value = 0.0f;
    friend bool operator==(const TReading&, const TReading&) = default;
};

// A line yields at most six readings.
using TReadings = TBoundedList<TReading, 6>;

struct TToken
{
    std::int32_t Raw = 0;
    bool ErrorMark = false; // the token holds "*"
    bool PointMark = false; // the token holds "."
};

// Scans one token leftwards from the 1-based position Cursor and leaves the
// cursor on the separating space (or at 0). Digits form the raw value in
// their order; a "-" as the token's first character makes it negative, so
// temperatures below zero keep their sign. Everything else but "*" and "."
// is skipped, a "-" elsewhere in the token too. Digits beyond the signed
// 32-bit range saturate at 2147483647 or -2147483647 (leading zeros do not
// count). A cursor beyond the line's end raises ERangeError.
TToken NextToken(std::string_view Line, std::ptrdiff_t& Cursor);

// The conversions into engineering units, in double.
double TemperatureOf(std::int32_t Raw);
double PressureOf(std::int32_t Raw, std::int32_t Lower, std::int32_t Upper);
double TambRhOf(std::int32_t Raw, double Span, double Offset);
double RhOf(std::int32_t Raw, double Span, double Offset);

// Decodes one board line (without its framing characters) from its end
// into readings, in the order in which they are found. A board index other
// than 0 and 1 yields none.
TReadings DecodeLine(std::string_view Line, const TDecoderInputs& Inputs);

} // namespace kelvalog
