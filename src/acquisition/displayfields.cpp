#include "acquisition/displayfields.h"

#include <array>

namespace kelvalog {

std::string FieldName(TFieldId Field)
{
    static constexpr std::array<const char*, FieldRowCount> Rows = {
        "T51", "T52", "T53", "T54", "T55", "T31", "T32", "T33", "T34", "T35", "T36"};
    static constexpr std::array<const char*, 3> Kinds = {"ActualField", "SampledField",
                                                         "FilteredField"};
    return std::string(Rows.at(static_cast<std::size_t>(Field.Row))) +
           Kinds.at(static_cast<std::size_t>(Field.Kind));
}

std::optional<TFieldId> FieldOf(int Board, unsigned Channel, TFieldKind Kind)
{
    if (Board == Board5V && Channel < 5)
        return TFieldId{static_cast<TFieldRow>(static_cast<int>(TFieldRow::T51) + Channel), Kind};
    if (Board == Board3V && Channel < 6)
        return TFieldId{static_cast<TFieldRow>(static_cast<int>(TFieldRow::T31) + Channel), Kind};
    return std::nullopt;
}

} // namespace kelvalog
