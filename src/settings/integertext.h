#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvalog {

// An integer as the settings file holds it: leading blanks, an optional sign,
// then decimal digits or hexadecimal digits after "$", "x" or "0x" (either
// case). Anything else, trailing characters and values beyond 32 bits
// included, gives nothing. Hexadecimal takes the full unsigned 32-bit range as
// a bit pattern ("$FFFFFFFF" is -1), as hand-edited colour codes are written.
std::optional<std::int32_t> IntegerFromText(std::string_view Text);

std::int32_t IntegerFromTextDef(std::string_view Text, std::int32_t Default);

} // namespace kelvalog
