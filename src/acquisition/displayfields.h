#pragma once

#include <optional>
#include <string>

namespace kelvalog {

// Item indices of UsedBoardComboBox; any other index means no board.
constexpr int Board5V = 0; // "I2C (5V)"
constexpr int Board3V = 1; // "I2C (3,3V)"

// Rows of the value display: T51..T55 for the 5 V board, T31..T36 for the
// 3.3 V board.
enum class TFieldRow { T51, T52, T53, T54, T55, T31, T32, T33, T34, T35, T36 };
constexpr int FieldRowCount = 11;

enum class TFieldKind { Actual, Sampled, Filtered };

// One display field, e.g. {T53, Sampled} is T53SampledField.
struct TFieldId
{
    TFieldRow Row = TFieldRow::T51;
    TFieldKind Kind = TFieldKind::Actual;
    friend bool operator==(const TFieldId&, const TFieldId&) = default;
};

constexpr int DisplayFieldCount = 33;

// 0..32: actual T51..T55, T31..T36, then the sampled ones, then the
// filtered ones (the order in which StartSampling clears them).
constexpr int FieldIndex(TFieldId Field)
{
    return static_cast<int>(Field.Kind) * FieldRowCount + static_cast<int>(Field.Row);
}
constexpr TFieldId FieldAt(int Index)
{
    return {static_cast<TFieldRow>(Index % FieldRowCount),
            static_cast<TFieldKind>(Index / FieldRowCount)};
}

// The control name, e.g. "T53SampledField".
std::string FieldName(TFieldId Field);

// The field of a channel on a board, or none when the board does not show
// that channel (unused channels, a board index other than 0 and 1, a
// channel number outside 0..7).
std::optional<TFieldId> FieldOf(int Board, unsigned Channel, TFieldKind Kind);

// What one display field must show. Live: the system window colour
// (clWindow); not live: the button-face colour (clBtnFace).
struct TFieldUpdate
{
    TFieldId Field;
    float Value = 0.0f;
    bool Live = false;
    friend bool operator==(const TFieldUpdate&, const TFieldUpdate&) = default;
};

} // namespace kelvalog
