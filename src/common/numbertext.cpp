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
TDecimal ToDecimal18(double Value)
{
    TDecimal Result;
    Result.Negative = std::signbit(Value);
    if (Value == 0.0) {
        return Result;
    }
    char Buffer[64];
    const auto [end, ec] = std::to_chars(Buffer, Buffer + sizeof Buffer, std::fabs(Value),
                                         std::chars_format::scientific, 17);
    if (ec != std::errc()) {
        return Result; // cannot happen with this buffer size
    }
    // "d.ddddddddddddddddde+XX"
    const std::string_view Text(Buffer, static_cast<std::size_t>(end - Buffer));
    const std::size_t E = Text.find('e');
    Result.Digits.push_back(Text[0]);
    Result.Digits.append(Text.substr(2, E - 2));
    Result.Exponent = std::atoi(std::string(Text.substr(E + 1)).c_str()) + 1;
    while (!Result.Digits.empty() && Result.Digits.back() == '0') {
        Result.Digits.pop_back();
    }
    return Result;
}

// Adds one unit in the last place of a digit string; returns true when the
// carry ran out of the front ("999" -> "1000").
bool IncrementDigits(std::string& Digits)
{
    for (auto It = Digits.rbegin(); It != Digits.rend(); ++It) {
        if (*It != '9') {
            ++*It;
            return false;
        }
        *It = '0';
    }
    Digits.insert(Digits.begin(), '1');
    return true;
}

// Keeps the first `Count` digits, rounding halves away from zero on the
// first dropped digit.
void KeepDigits(TDecimal& D, int Count)
{
    if (Count < 0 || D.Digits.empty()) {
        D.Digits.clear();
        return;
    }
    const auto Keep = static_cast<std::size_t>(Count);
    if (D.Digits.size() <= Keep) {
        return;
    }
    const bool Up = D.Digits[Keep] >= '5';
    D.Digits.resize(Keep);
    if (Up && IncrementDigits(D.Digits)) {
        ++D.Exponent;
    }
    while (!D.Digits.empty() && D.Digits.back() == '0') {
        D.Digits.pop_back();
    }
}

std::string NonFiniteText(double Value)
{
    if (std::isnan(Value)) {
        return "NAN";
    }
    return Value < 0 ? "-INF" : "INF";
}

} // namespace

std::string FormatTwoDecimals(double Value, char DecimalSeparator)
{
    if (!std::isfinite(Value)) {
        return NonFiniteText(Value);
    }
    TDecimal D = ToDecimal18(Value);
    KeepDigits(D, D.Exponent + 2);

    // Digits of value x 100 as a whole number, at least three of them.
    std::string Hundredths = D.Digits;
    const int IntegerDigits = D.Exponent + 2;
    if (!Hundredths.empty() && static_cast<int>(Hundredths.size()) < IntegerDigits) {
        Hundredths.append(static_cast<std::size_t>(IntegerDigits) - Hundredths.size(), '0');
    }
    const bool Zero = Hundredths.empty();
    if (Hundredths.size() < 3) {
        Hundredths.insert(0, 3 - Hundredths.size(), '0');
    }
    std::string Text;
    if (D.Negative && !Zero) {
        Text.push_back('-');
    }
    Text.append(Hundredths, 0, Hundredths.size() - 2);
    Text.push_back(DecimalSeparator);
    Text.append(Hundredths, Hundredths.size() - 2, 2);
    return Text;
}

std::string FormatGeneral(double Value, char DecimalSeparator)
{
    if (!std::isfinite(Value)) {
        return NonFiniteText(Value);
    }
    TDecimal D = ToDecimal18(Value);
    KeepDigits(D, 15);
    if (D.Digits.empty()) {
        return "0";
    }
    std::string Text;
    if (D.Negative) {
        Text.push_back('-');
    }
    const int Leading = D.Exponent - 1; // decimal exponent of the first digit
    const auto Count = static_cast<int>(D.Digits.size());
    if (Leading >= -4 && Leading < 15) {
        if (D.Exponent <= 0) {
            Text.push_back('0');
            Text.push_back(DecimalSeparator);
            Text.append(static_cast<std::size_t>(-D.Exponent), '0');
            Text.append(D.Digits);
        } else if (Count <= D.Exponent) {
            Text.append(D.Digits);
            Text.append(static_cast<std::size_t>(D.Exponent - Count), '0');
        } else {
            Text.append(D.Digits, 0, static_cast<std::size_t>(D.Exponent));
            Text.push_back(DecimalSeparator);
            Text.append(D.Digits, static_cast<std::size_t>(D.Exponent));
        }
        return Text;
    }
    Text.push_back(D.Digits[0]);
    if (Count > 1) {
        Text.push_back(DecimalSeparator);
        Text.append(D.Digits, 1);
    }
    Text.push_back('E');
    Text.append(std::to_string(Leading));
    return Text;
}

std::optional<double> ParseDecimal(std::string_view Text, char DecimalSeparator)
{
    while (!Text.empty() && Text.front() == ' ') {
        Text.remove_prefix(1);
    }
    while (!Text.empty() && Text.back() == ' ') {
        Text.remove_suffix(1);
    }
    std::size_t I = 0;
    const auto IsDigit = [&](std::size_t At) {
        return At < Text.size() && Text[At] >= '0' && Text[At] <= '9';
    };

    bool Negative = false;
    if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
        Negative = Text[I] == '-';
        ++I;
    }
    // Normalised for the C++ reader, which knows only '.' and no '+'.
    std::string Plain;
    if (Negative) {
        Plain.push_back('-');
    }
    std::size_t MantissaDigits = 0;
    // Decimal exponent of the first non-zero digit + 1, to tell an underflow
    // from an overflow.
    long long Magnitude = 0;
    bool SeenNonZero = false;
    bool SeenSeparator = false;
    for (; I < Text.size(); ++I) {
        const char C = Text[I];
        if (C >= '0' && C <= '9') {
            ++MantissaDigits;
            if (C != '0') {
                SeenNonZero = true;
            }
            if (!SeenSeparator && SeenNonZero) {
                ++Magnitude;
            } else if (SeenSeparator && !SeenNonZero) {
                --Magnitude;
            }
            Plain.push_back(C);
        } else if (C == DecimalSeparator && !SeenSeparator) {
            SeenSeparator = true;
            Plain.push_back('.');
        } else {
            break;
        }
    }
    if (MantissaDigits == 0) {
        return std::nullopt;
    }
    if (I < Text.size() && (Text[I] == 'e' || Text[I] == 'E')) {
        ++I;
        Plain.push_back('e');
        bool NegativeExponent = false;
        if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
            NegativeExponent = Text[I] == '-';
            if (NegativeExponent) {
                Plain.push_back('-');
            }
            ++I;
        }
        if (!IsDigit(I)) {
            return std::nullopt;
        }
        long long Exponent = 0;
        for (; IsDigit(I); ++I) {
            Plain.push_back(Text[I]);
            if (Exponent < 1'000'000'000) {
                Exponent = Exponent * 10 + (Text[I] - '0');
            }
        }
        Magnitude += NegativeExponent ? -Exponent : Exponent;
    }
    if (I != Text.size()) {
        return std::nullopt;
    }

    double Value = 0.0;
    const char* First = Plain.data();
    const char* Last = Plain.data() + Plain.size();
    const auto [end, ec] = std::from_chars(First, Last, Value, std::chars_format::general);
    if (end != Last) {
        return std::nullopt;
    }
    if (ec == std::errc::result_out_of_range) {
        if (SeenNonZero && Magnitude > 0) {
            return std::nullopt;
        }
        return Negative ? -0.0 : 0.0;
    }
    if (ec != std::errc() || !std::isfinite(Value)) {
        return std::nullopt;
    }
    return Value;
}

} // namespace kelvalog
