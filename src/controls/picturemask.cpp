#include "controls/picturemask.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace kelvalog {

TPictureMask::TPictureMask(std::string Mask) : mask_(std::move(Mask))
{
    int digits = 0;
    bool point = false;
    int afterPoint = 0;
    for (char c : mask_) {
        if (c == '.') {
            point = true;
        } else {
            ++digits;
            if (point)
                ++afterPoint;
        }
    }
    decimals_ = point ? afterPoint : 0;
    width_ = digits + (point ? 1 : 0);
    integerPositions_ = decimals_ > 0 ? width_ - decimals_ - 1 : width_;
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
    // The exact decimal expansion of the double (glibc prints it exactly),
    // then rounding of the magnitude at the wanted digit: a digit >= 5
    // behind it means at least half a unit, so ties go away from zero.
    const bool negative = std::signbit(Value);
    // 200 places hold every float exactly.
    const int places = Decimals + 1 > 200 ? Decimals + 1 : 200;
    const int length = std::snprintf(nullptr, 0, "%.*f", places, std::fabs(Value));
    std::string s(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(s.data(), s.size(), "%.*f", places, std::fabs(Value));
    s.resize(static_cast<std::size_t>(length));
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
    const int positions = integerPositions_;
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
    const TFixedText fixed = RoundedFixed(static_cast<double>(stored), decimals_);
    std::string text = PlaceInteger(fixed.Integer, fixed.Negative);
    if (decimals_ > 0) {
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
