#pragma once

// The layout a picture mask gives a numeric field, and the texts a field shows
// for a value. Qt-free so that it can be tested and reused on its own.

#include <cstdint>
#include <string>

namespace kelvalog {

class TPictureMask
{
public:
    TPictureMask() = default;
    explicit TPictureMask(std::string Mask);

    const std::string& Text() const { return FMask; }
    // Digit positions, plus decimals and one for the separator when there is a ".".
    int Width() const { return FWidth; }
    int Decimals() const { return FDecimals; }
    int IntegerPositions() const { return FIntegerPositions; }
    // Mask character of the last position; decides which keys a field takes.
    char LastCharacter() const { return FMask.empty() ? '\0' : FMask.back(); }
    // Whether the last position admits Ch ("9": digits; "i": digits and minus;
    // "#": digits, minus and point). A blank is never admitted from the keyboard.
    bool Admits(char Ch) const;

    // The text shown for Value rounded (half away from zero) at the mask's last
    // decimal, with Separator in the separator position, the minus sign only
    // in a free position, integer digits lost from the left when too many.
    // Blanks trimmed. A value that is not finite shows nothing.
    std::string FloatText(double Value, char Separator) const;
    // The same for a whole number: plain digits, minus in the first free position.
    std::string IntegerText(std::int64_t Value) const;
    // Digits (and sign) placed right to left into the integer positions.
    std::string PlaceInteger(const std::string& Digits, bool Negative) const;

private:
    std::string FMask;
    int FWidth = 0;
    int FDecimals = 0;
    int FIntegerPositions = 0;
};

// Rounds the magnitude of Value half away from zero at Decimals and returns
// its decimal digits ("0.13" for 0.125 with 2) and whether it is negative
// (false when the rounded result is zero).
struct TFixedText
{
    std::string Integer;  // at least "0"
    std::string Fraction; // exactly Decimals digits
    bool Negative = false;
};
TFixedText RoundedFixed(double Value, int Decimals);

// Reads an integer field's content: empty reads 0; anything that is not an
// optional minus followed by digits within 32 bits is invalid (false).
bool ReadIntegerContent(const std::string& Text, std::int32_t& Value);

} // namespace kelvalog
