#include "acquisition/displayfields.h"

#include <array>

namespace kelvalog {

std::string FieldName(TFieldId field)
{
    static constexpr std::array<const char*, FieldRowCount> rows = {
        "T51", "T52", "T53", "T54", "T55", "T31", "T32", "T33", "T34", "T35", "T36"};
    static constexpr std::array<const char*, 3> kinds = {"ActualField", "SampledField",
                                                         "FilteredField"};
    return std::string(rows.at(static_cast<std::size_t>(field.Row))) +
           kinds.at(static_cast<std::size_t>(field.Kind));
}

std::optional<TFieldId> FieldOf(int board, unsigned channel, TFieldKind kind)
{
    if (board == Board5V && channel < 5)
        return TFieldId{static_cast<TFieldRow>(static_cast<int>(TFieldRow::T51) + channel), kind};
    if (board == Board3V && channel < 6)
        return TFieldId{static_cast<TFieldRow>(static_cast<int>(TFieldRow::T31) + channel), kind};
    return std::nullopt;
}

} // namespace kelvalog
