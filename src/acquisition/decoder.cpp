#include "acquisition/decoder.h"

#include "acquisition/displayfields.h"

#include <cstdlib>
#include <limits>

namespace kelvalog {

TToken NextToken(std::string_view line, std::ptrdiff_t& cursor)
{
    if (cursor > static_cast<std::ptrdiff_t>(line.size()))
        throw ERangeError();
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    TToken token;
    std::int64_t value = 0;
    std::int64_t place = 1; // weight of the next digit found, capped above limit
    bool saturated = false;
    bool leadingMinus = false; // the leftmost character read so far is "-"
    while (cursor > 0) {
        const unsigned char c = static_cast<unsigned char>(line[cursor - 1]);
        if (c == ' ')
            break;
        leadingMinus = c == '-';
        if (c == '*') {
            token.ErrorMark = true;
        } else if (c == '.') {
            token.PointMark = true;
        } else if (c >= '0' && c <= '9') {
            const int digit = c - '0';
            if (digit != 0) {
                if (place > limit)
                    saturated = true;
                else
                    value += digit * place;
                if (value > limit)
                    saturated = true;
            }
            if (place <= limit)
                place *= 10;
        }
        --cursor;
    }
    const auto magnitude = static_cast<std::int32_t>(saturated ? limit : value);
    token.Raw = leadingMinus ? -magnitude : magnitude;
    return token;
}

double TemperatureOf(std::int32_t raw)
{
    return raw / 100.0;
}

double PressureOf(std::int32_t raw, std::int32_t lower, std::int32_t upper)
{
    // In 64 bits: the two fields allow ranges beyond the 32-bit span.
    std::int64_t range = std::llabs(static_cast<std::int64_t>(upper) - lower);
    if (range == 0)
        range = 1000;
    const double count = static_cast<double>(static_cast<std::int64_t>(raw) - 3277);
    return lower + count * (static_cast<double>(range) / 26214.0);
}

double TambRhOf(std::int32_t raw, double span, double offset)
{
    const double base = (static_cast<double>(raw) - 39919.0) / 206.31 + 25.0;
    return (base - offset) * span;
}

double RhOf(std::int32_t raw, double span, double offset)
{
    const double base = (static_cast<double>(raw) - 24994.0) / 35.3026 + 55.0;
    return (base - offset) * span;
}

namespace {

class TLineReader
{
public:
    explicit TLineReader(std::string_view line)
        : Line(line), Cursor(static_cast<std::ptrdiff_t>(line.size()) - 1)
    {
    }
    // One token, then one step over its separator.
    TToken Next()
    {
        const TToken token = NextToken(Line, Cursor);
        --Cursor;
        return token;
    }
    bool MoreLeft() const { return Cursor >= 1; }

private:
    std::string_view Line;
    std::ptrdiff_t Cursor;
};

bool PlainPoint(const TToken& token)
{
    return token.PointMark && !token.ErrorMark;
}

void Add(TReadings& readings, unsigned channel, double value)
{
    readings.push_back({channel, static_cast<float>(value)});
}

// The last two tokens, T2 then T1: each taken only with a point and without
// a failure mark, and read in any case so the positions stay fixed.
void ReadSensorPair(TLineReader& reader, unsigned t2Channel, unsigned t1Channel, TReadings& out)
{
    const TToken t2 = reader.Next();
    if (PlainPoint(t2))
        Add(out, t2Channel, TemperatureOf(t2.Raw));
    const TToken t1 = reader.Next();
    if (PlainPoint(t1))
        Add(out, t1Channel, TemperatureOf(t1.Raw));
}

void Decode5V(TLineReader& reader, const TDecoderInputs& in, TReadings& out)
{
    const auto pressure = [&](std::int32_t raw) {
        return PressureOf(raw, in.PressureLower, in.PressureUpper);
    };
    ReadSensorPair(reader, 4, 3, out);
    TToken token = reader.Next();
    if (token.ErrorMark)
        return;
    if (!token.PointMark) {
        Add(out, 0, pressure(token.Raw)); // no IR pair
        return;
    }
    Add(out, 2, TemperatureOf(token.Raw)); // IR ambient
    token = reader.Next();
    Add(out, 1, TemperatureOf(token.Raw)); // IR object
    if (!reader.MoreLeft())
        return;
    token = reader.Next();
    if (!token.PointMark)
        Add(out, 0, pressure(token.Raw));
}

void Decode3V(TLineReader& reader, const TDecoderInputs& in, TReadings& out)
{
    ReadSensorPair(reader, 5, 4, out);
    TToken token = reader.Next();
    if (token.ErrorMark)
        return;
    if (token.PointMark) {
        // No RH pair: IR ambient, then IR object.
        Add(out, 1, TemperatureOf(token.Raw));
        token = reader.Next();
        Add(out, 0, TemperatureOf(token.Raw));
        return;
    }
    Add(out, 3, TambRhOf(token.Raw, in.TambRhSpan, in.TambRhOffset));
    token = reader.Next();
    Add(out, 2, RhOf(token.Raw, in.RhSpan, in.RhOffset));
    if (!reader.MoreLeft())
        return;
    token = reader.Next();
    if (!token.PointMark)
        return;
    Add(out, 1, TemperatureOf(token.Raw)); // IR ambient
    token = reader.Next();
    Add(out, 0, TemperatureOf(token.Raw)); // IR object
}

} // namespace

TReadings DecodeLine(std::string_view line, const TDecoderInputs& inputs)
{
    TReadings readings;
    if (inputs.Board != Board5V && inputs.Board != Board3V)
        return readings;
    TLineReader reader(line);
    if (inputs.Board == Board5V)
        Decode5V(reader, inputs, readings);
    else
        Decode3V(reader, inputs, readings);
    return readings;
}

} // namespace kelvalog
