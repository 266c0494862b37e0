#include "acquisition/decoder.h"

#include "acquisition/displayfields.h"

#include <cstdlib>
#include <limits>

namespace kelvalog {

TToken NextToken(std::string_view Line, std::ptrdiff_t& Cursor)
{
    if (Cursor > static_cast<std::ptrdiff_t>(Line.size()))
        throw ERangeError();
    constexpr std::int64_t Limit = std::numeric_limits<std::int32_t>::max();
    TToken Token;
    std::int64_t Value = 0;
    std::int64_t Place = 1; // weight of the next digit found, capped above limit
    bool Saturated = false;
    bool LeadingMinus = false; // the leftmost character read so far is "-"
    while (Cursor > 0) {
        const unsigned char C = static_cast<unsigned char>(Line[Cursor - 1]);
        if (C == ' ')
            break;
        LeadingMinus = C == '-';
        if (C == '*') {
            Token.ErrorMark = true;
        } else if (C == '.') {
            Token.PointMark = true;
        } else if (C >= '0' && C <= '9') {
            const int Digit = C - '0';
            if (Digit != 0) {
                if (Place > Limit)
                    Saturated = true;
                else
                    Value += Digit * Place;
                if (Value > Limit)
                    Saturated = true;
            }
            if (Place <= Limit)
                Place *= 10;
        }
        --Cursor;
    }
    const auto Magnitude = static_cast<std::int32_t>(Saturated ? Limit : Value);
    Token.Raw = LeadingMinus ? -Magnitude : Magnitude;
    return Token;
}

double TemperatureOf(std::int32_t Raw)
{
    return Raw / 100.0;
}

double PressureOf(std::int32_t Raw, std::int32_t Lower, std::int32_t Upper)
{
    // In 64 bits: the two fields allow ranges beyond the 32-bit span.
    std::int64_t Range = std::llabs(static_cast<std::int64_t>(Upper) - Lower);
    if (Range == 0)
        Range = 1000;
    const double Count = static_cast<double>(static_cast<std::int64_t>(Raw) - 3277);
    return Lower + Count * (static_cast<double>(Range) / 26214.0);
}

double TambRhOf(std::int32_t Raw, double Span, double Offset)
{
    const double Base = (static_cast<double>(Raw) - 39919.0) / 206.31 + 25.0;
    return (Base - Offset) * Span;
}

double RhOf(std::int32_t Raw, double Span, double Offset)
{
    const double Base = (static_cast<double>(Raw) - 24994.0) / 35.3026 + 55.0;
    return (Base - Offset) * Span;
}

namespace {

class TLineReader
{
public:
    explicit TLineReader(std::string_view Line)
        : FLine(Line), FCursor(static_cast<std::ptrdiff_t>(Line.size()) - 1)
    {
    }
    // One token, then one step over its separator.
    TToken Next()
    {
        const TToken Token = NextToken(FLine, FCursor);
        --FCursor;
        return Token;
    }
    bool MoreLeft() const { return FCursor >= 1; }

private:
    std::string_view FLine;
    std::ptrdiff_t FCursor;
};

bool PlainPoint(const TToken& Token)
{
    return Token.PointMark && !Token.ErrorMark;
}

void Add(TReadings& Readings, unsigned Channel, double Value)
{
    Readings.push_back({Channel, static_cast<float>(Value)});
}

// The last two tokens, T2 then T1: each taken only with a point and without
// a failure mark, and read in any case so the positions stay fixed.
void ReadSensorPair(TLineReader& Reader, unsigned T2Channel, unsigned T1Channel, TReadings& Out)
{
    const TToken T2 = Reader.Next();
    if (PlainPoint(T2))
        Add(Out, T2Channel, TemperatureOf(T2.Raw));
    const TToken T1 = Reader.Next();
    if (PlainPoint(T1))
        Add(Out, T1Channel, TemperatureOf(T1.Raw));
}

void Decode5V(TLineReader& Reader, const TDecoderInputs& In, TReadings& Out)
{
    const auto Pressure = [&](std::int32_t Raw) {
        return PressureOf(Raw, In.PressureLower, In.PressureUpper);
    };
    ReadSensorPair(Reader, 4, 3, Out);
    TToken Token = Reader.Next();
    if (Token.ErrorMark)
        return;
    if (!Token.PointMark) {
        Add(Out, 0, Pressure(Token.Raw)); // no IR pair
        return;
    }
    Add(Out, 2, TemperatureOf(Token.Raw)); // IR ambient
    Token = Reader.Next();
    Add(Out, 1, TemperatureOf(Token.Raw)); // IR object
    if (!Reader.MoreLeft())
        return;
    Token = Reader.Next();
    if (!Token.PointMark)
        Add(Out, 0, Pressure(Token.Raw));
}

void Decode3V(TLineReader& Reader, const TDecoderInputs& In, TReadings& Out)
{
    ReadSensorPair(Reader, 5, 4, Out);
    TToken Token = Reader.Next();
    if (Token.ErrorMark)
        return;
    if (Token.PointMark) {
        // No RH pair: IR ambient, then IR object.
        Add(Out, 1, TemperatureOf(Token.Raw));
        Token = Reader.Next();
        Add(Out, 0, TemperatureOf(Token.Raw));
        return;
    }
    Add(Out, 3, TambRhOf(Token.Raw, In.TambRhSpan, In.TambRhOffset));
    Token = Reader.Next();
    Add(Out, 2, RhOf(Token.Raw, In.RhSpan, In.RhOffset));
    if (!Reader.MoreLeft())
        return;
    Token = Reader.Next();
    if (!Token.PointMark)
        return;
    Add(Out, 1, TemperatureOf(Token.Raw)); // IR ambient
    Token = Reader.Next();
    Add(Out, 0, TemperatureOf(Token.Raw)); // IR object
}

} // namespace

TReadings DecodeLine(std::string_view Line, const TDecoderInputs& Inputs)
{
    TReadings Readings;
    if (Inputs.Board != Board5V && Inputs.Board != Board3V)
        return Readings;
    TLineReader Reader(Line);
    if (Inputs.Board == Board5V)
        Decode5V(Reader, Inputs, Readings);
    else
        Decode3V(Reader, Inputs, Readings);
    return Readings;
}

} // namespace kelvalog
