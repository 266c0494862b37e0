#include "common/numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace kelvalog {

namespace {

// A finite value as decimal digits: value = 0.Digits x 10^Exponent. Digits
// carries no leading zeros and is empty for zero.
struct TDecimal
{
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;
};

// The 18-significant-digit decimal form of a finite value.
TDecimal ToDecimal18(double value)
{
    TDecimal result;
    result.Negative = std::signbit(value);
    if (value == 0.0) {
        return result;
    }
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                         std::chars_format::scientific, 17);
    if (ec != std::errc()) {
        return result; // cannot happen with this buffer size
    }
    // "d.ddddddddddddddddde+XX"
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = text.find('e');
    result.Digits.push_back(text[0]);
    result.Digits.append(text.substr(2, e - 2));
    result.Exponent = std::atoi(std::string(text.substr(e + 1)).c_str()) + 1;
    while (!result.Digits.empty() && result.Digits.back() == '0') {
        result.Digits.pop_back();
    }
    return result;
}

// Adds one unit in the last place of a digit string; returns true when the
// carry ran out of the front ("999" -> "1000").
bool IncrementDigits(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
    return true;
}

// Keeps the first `count` digits, rounding halves away from zero on the
// first dropped digit.
void KeepDigits(TDecimal& d, int count)
{
    if (count < 0 || d.Digits.empty()) {
        d.Digits.clear();
        return;
    }
    const auto keep = static_cast<std::size_t>(count);
    if (d.Digits.size() <= keep) {
        return;
    }
    const bool up = d.Digits[keep] >= '5';
    d.Digits.resize(keep);
    if (up && IncrementDigits(d.Digits)) {
        ++d.Exponent;
    }
    while (!d.Digits.empty() && d.Digits.back() == '0') {
        d.Digits.pop_back();
    }
}

std::string NonFiniteText(double value)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

} // namespace

std::string FormatTwoDecimals(double value, char decimalSeparator)
{
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    TDecimal d = ToDecimal18(value);
    KeepDigits(d, d.Exponent + 2);

    // Digits of value x 100 as a whole number, at least three of them.
    std::string hundredths = d.Digits;
    const int integerDigits = d.Exponent + 2;
    if (!hundredths.empty() && static_cast<int>(hundredths.size()) < integerDigits) {
        hundredths.append(static_cast<std::size_t>(integerDigits) - hundredths.size(), '0');
    }
    const bool zero = hundredths.empty();
    if (hundredths.size() < 3) {
        hundredths.insert(0, 3 - hundredths.size(), '0');
    }
    std::string text;
    if (d.Negative && !zero) {
        text.push_back('-');
    }
    text.append(hundredths, 0, hundredths.size() - 2);
    text.push_back(decimalSeparator);
    text.append(hundredths, hundredths.size() - 2, 2);
    return text;
}

std::string FormatGeneral(double value, char decimalSeparator)
{
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    TDecimal d = ToDecimal18(value);
    KeepDigits(d, 15);
    if (d.Digits.empty()) {
        return "0";
    }
    std::string text;
    if (d.Negative) {
        text.push_back('-');
    }
    const int leading = d.Exponent - 1; // decimal exponent of the first digit
    const auto count = static_cast<int>(d.Digits.size());
    if (leading >= -4 && leading < 15) {
        if (d.Exponent <= 0) {
            text.push_back('0');
            text.push_back(decimalSeparator);
            text.append(static_cast<std::size_t>(-d.Exponent), '0');
            text.append(d.Digits);
        } else if (count <= d.Exponent) {
            text.append(d.Digits);
            text.append(static_cast<std::size_t>(d.Exponent - count), '0');
        } else {
            text.append(d.Digits, 0, static_cast<std::size_t>(d.Exponent));
            text.push_back(decimalSeparator);
            text.append(d.Digits, static_cast<std::size_t>(d.Exponent));
        }
        return text;
    }
    text.push_back(d.Digits[0]);
    if (count > 1) {
        text.push_back(decimalSeparator);
        text.append(d.Digits, 1);
    }
    text.push_back('E');
    text.append(std::to_string(leading));
    return text;
}

std::optional<double> ParseDecimal(std::string_view text, char decimalSeparator)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    std::size_t i = 0;
    const auto isDigit = [&](std::size_t at) {
        return at < text.size() && text[at] >= '0' && text[at] <= '9';
    };

    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Normalised for the C++ reader, which knows only '.' and no '+'.
    std::string plain;
    if (negative) {
        plain.push_back('-');
    }
    std::size_t mantissaDigits = 0;
    // Decimal exponent of the first non-zero digit + 1, to tell an underflow
    // from an overflow.
    long long magnitude = 0;
    bool seenNonZero = false;
    bool seenSeparator = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++mantissaDigits;
            if (c != '0') {
                seenNonZero = true;
            }
            if (!seenSeparator && seenNonZero) {
                ++magnitude;
            } else if (seenSeparator && !seenNonZero) {
                --magnitude;
            }
            plain.push_back(c);
        } else if (c == decimalSeparator && !seenSeparator) {
            seenSeparator = true;
            plain.push_back('.');
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        plain.push_back('e');
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            if (negativeExponent) {
                plain.push_back('-');
            }
            ++i;
        }
        if (!isDigit(i)) {
            return std::nullopt;
        }
        long long exponent = 0;
        for (; isDigit(i); ++i) {
            plain.push_back(text[i]);
            if (exponent < 1'000'000'000) {
                exponent = exponent * 10 + (text[i] - '0');
            }
        }
        magnitude += negativeExponent ? -exponent : exponent;
    }
    if (i != text.size()) {
        return std::nullopt;
    }

    double value = 0.0;
    const char* first = plain.data();
    const char* last = plain.data() + plain.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (end != last) {
        return std::nullopt;
    }
    if (ec == std::errc::result_out_of_range) {
        if (seenNonZero && magnitude > 0) {
            return std::nullopt;
        }
        return negative ? -0.0 : 0.0;
    }
    if (ec != std::errc() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace kelvalog
