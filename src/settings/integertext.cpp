#include "settings/integertext.h"

namespace kelvalog {

namespace {

int DigitValue(char C, int Base)
{
    int V = -1;
    if (C >= '0' && C <= '9')
        V = C - '0';
    else if (C >= 'a' && C <= 'f')
        V = C - 'a' + 10;
    else if (C >= 'A' && C <= 'F')
        V = C - 'A' + 10;
    return V < Base ? V : -1;
}

} // namespace

std::optional<std::int32_t> IntegerFromText(std::string_view Text)
{
    std::size_t I = 0;
    while (I < Text.size() && (Text[I] == ' ' || Text[I] == '\t'))
        ++I;
    bool Negative = false;
    if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
        Negative = Text[I] == '-';
        ++I;
    }
    int Base = 10;
    if (I < Text.size() && Text[I] == '$') {
        Base = 16;
        ++I;
    } else if (I < Text.size() && (Text[I] == 'x' || Text[I] == 'X')) {
        Base = 16;
        ++I;
    } else if (I + 1 < Text.size() && Text[I] == '0' &&
               (Text[I + 1] == 'x' || Text[I + 1] == 'X')) {
        Base = 16;
        I += 2;
    }
    if (I == Text.size())
        return std::nullopt;

    // Decimal may reach 2^31 only as a negative number; hexadecimal spans the
    // whole 32-bit pattern without a sign and 2^31 with one.
    const std::uint64_t Limit = Base == 10 ? (Negative ? 0x80000000ull : 0x7FFFFFFFull)
                                           : (Negative ? 0x80000000ull : 0xFFFFFFFFull);
    std::uint64_t Value = 0;
    for (; I < Text.size(); ++I) {
        const int D = DigitValue(Text[I], Base);
        if (D < 0)
            return std::nullopt;
        Value = Value * static_cast<unsigned>(Base) + static_cast<unsigned>(D);
        if (Value > Limit)
            return std::nullopt;
    }
    const auto Bits = static_cast<std::uint32_t>(Negative ? (0u - Value) : Value);
    return static_cast<std::int32_t>(Bits);
}

std::int32_t IntegerFromTextDef(std::string_view Text, std::int32_t Default)
{
    return IntegerFromText(Text).value_or(Default);
}

} // namespace kelvalog
