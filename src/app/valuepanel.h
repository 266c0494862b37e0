#pragma once

#include "acquisition/displayfields.h"

#include <array>

class QFrame;
class QGroupBox;
class QWidget;

namespace kelvalog {

class TNumericField;

// The channel values of both boards: actual and sampled values in a group
// of their own, filtered values in a panel inside the Filtering group. Only
// the chosen board's are shown.
class TValuePanel
{
public:
    explicit TValuePanel(QWidget& Form);
    // The filtered values' panels; made once the Filtering group is.
    void AddFilteredPanels(QWidget& FilterBox);

    QGroupBox* SampleGroupBox5V() const { return FSampleGroupBox5V; }
    QGroupBox* SampleGroupBox3V() const { return FSampleGroupBox3V; }
    QFrame* FilteredPanel5V() const { return FFilteredPanel5V; }
    QFrame* FilteredPanel3V() const { return FFilteredPanel3V; }
    // The 33 display fields in FieldIndex order.
    const std::array<TNumericField*, DisplayFieldCount>& DisplayFields() const
    {
        return FDisplayFields;
    }
    TNumericField* Field(TFieldRow Row, TFieldKind Kind) const
    {
        return FDisplayFields[FieldIndex({Row, Kind})];
    }
    void ShowBoard(int Board);

private:
    QGroupBox* FSampleGroupBox5V = nullptr;
    QGroupBox* FSampleGroupBox3V = nullptr;
    QFrame* FFilteredPanel5V = nullptr;
    QFrame* FFilteredPanel3V = nullptr;
    std::array<TNumericField*, DisplayFieldCount> FDisplayFields{};
};

} // namespace kelvalog
