#include "controls/picturemask.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace kelvalog {

TPictureMask::TPictureMask(std::string Mask) : FMask(std::move(Mask))
{
    int digits = 0;
    bool point = false;
    int afterPoint = 0;
    for (char c : FMask) {
        if (c == '.') {
            point = true;
        } else {
            ++digits;
            if (point)
                ++afterPoint;
        }
    }
    FDecimals = point ? afterPoint : 0;
    FWidth = digits + (point ? 1 : 0);
    FIntegerPositions = FDecimals > 0 ? FWidth - FDecimals - 1 : FWidth;
}

bool TPictureMask::Admits(char Ch) const
{
    const bool digit = Ch >= '0' && Ch <= '9';
    switch (LastCharacter()) {
    case '9':
        return digit;
    case 'i':
        return digit || Ch == '-';
    case '#':
        return digit || Ch == '-' || Ch == '.';
    default:
        return false;
    }
}

TFixedText RoundedFixed(double Value, int Decimals)
{
    TFixedText out;
    // The exact decimal expansion of the magnitude, then rounding at the
    // wanted digit: a digit >= 5 behind it means at least half a unit, so
    // ties go away from zero. std::to_chars never follows the process locale,
    // which is what the separator search below relies on.
    const bool negative = std::signbit(Value);
    const double magnitude = std::fabs(Value);
    int exponent = 0;
    std::frexp(magnitude, &exponent);
    // The lowest bit of the mantissa weighs 2^(exponent - 53): that many places
    // (at least one past the wanted digit) hold the value exactly.
    const int places = std::max(Decimals + 1, std::min(53 - exponent, 1100));
    // Up to 309 integer digits, the point and the places.
    std::string s(static_cast<std::size_t>(places) + 320, '\0');
    const auto [end, ec] =
        std::to_chars(s.data(), s.data() + s.size(), magnitude, std::chars_format::fixed, places);
    s.resize(ec == std::errc() ? static_cast<std::size_t>(end - s.data()) : 0);
    const auto dot = s.find('.');
    std::string integer = s.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    const bool roundUp = fraction.size() > static_cast<std::size_t>(Decimals) &&
                         fraction[static_cast<std::size_t>(Decimals)] >= '5';
    fraction.resize(static_cast<std::size_t>(Decimals), '0');
    std::string digits = integer + fraction;
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        for (; i >= 0; --i) {
            if (digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
            } else {
                ++digits[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0)
            digits.insert(digits.begin(), '1');
    }
    const std::size_t intLen = digits.size() - static_cast<std::size_t>(Decimals);
    out.Integer = digits.substr(0, intLen);
    out.Fraction = digits.substr(intLen);
    const auto firstNonZero = out.Integer.find_first_not_of('0');
    out.Integer = firstNonZero == std::string::npos ? "0" : out.Integer.substr(firstNonZero);
    const bool zero =
        out.Integer == "0" && out.Fraction.find_first_not_of('0') == std::string::npos;
    out.Negative = negative && !zero;
    return out;
}

std::string TPictureMask::PlaceInteger(const std::string& Digits, bool Negative) const
{
    const int positions = FIntegerPositions;
    std::string shown = Digits;
    if (static_cast<int>(shown.size()) > positions)
        shown = shown.substr(shown.size() - static_cast<std::size_t>(positions));
    if (Negative && static_cast<int>(shown.size()) < positions)
        shown.insert(shown.begin(), '-');
    return shown;
}

std::string TPictureMask::FloatText(double Value, char Separator) const
{
    const float stored = static_cast<float>(Value);
    if (!std::isfinite(stored))
        return {};
    const TFixedText fixed = RoundedFixed(static_cast<double>(stored), FDecimals);
    std::string text = PlaceInteger(fixed.Integer, fixed.Negative);
    if (FDecimals > 0) {
        text += Separator;
        text += fixed.Fraction;
    }
    return text;
}

std::string TPictureMask::IntegerText(std::int64_t Value) const
{
    const bool negative = Value < 0;
    const std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-(Value + 1)) + 1 : static_cast<std::uint64_t>(Value);
    return PlaceInteger(std::to_string(magnitude), negative);
}

bool ReadIntegerContent(const std::string& Text, std::int32_t& Value)
{
    if (Text.empty()) {
        Value = 0;
        return true;
    }
    std::size_t i = 0;
    bool negative = false;
    if (Text[0] == '-') {
        negative = true;
        i = 1;
    }
    if (i == Text.size())
        return false;
    std::int64_t magnitude = 0;
    for (; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL)
            return false;
    }
    const std::int64_t v = negative ? -magnitude : magnitude;
    if (v > std::numeric_limits<std::int32_t>::max() ||
        v < std::numeric_limits<std::int32_t>::min())
        return false;
    Value = static_cast<std::int32_t>(v);
    return true;
}

} // namespace kelvalog
