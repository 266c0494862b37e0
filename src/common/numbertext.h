#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvalog {

// Number texts shared by the log files, the worksheet and the settings file.
// None of them depends on the C library's locale: the decimal separator is
// always passed in.

// Fixed notation with exactly two decimals: an optional "-", the integer
// digits (at least "0"), the separator, two digits. The value is first taken
// to its 18-significant-digit decimal form, which is then rounded to the
// nearest hundredth, halves away from zero. A result of zero has no sign.
// Not-a-number and infinities give "NAN", "INF" and "-INF".
std::string FormatTwoDecimals(double Value, char DecimalSeparator);

// General format with at most 15 significant digits, halves away from zero,
// trailing zeros and a needless separator dropped. Plain notation for
// magnitudes from 1E-4 up to below 1E15 (after rounding), otherwise one
// digit, the fraction digits if any, "E" and the exponent ("1.5E-5",
// "1E15"). Zero is "0".
std::string FormatGeneral(double Value, char DecimalSeparator);

// Strict reader for decimal texts: blanks around, an optional sign, digits
// with at most one decimal separator, an optional exponent (E or e, optional
// sign, digits). Anything else, an empty text included, and values beyond
// the range of a double give no value. Values too small for a double read
// as zero.
std::optional<double> ParseDecimal(std::string_view Text, char DecimalSeparator);

} // namespace kelvalog
