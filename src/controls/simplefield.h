#pragma once

// Read-only single-line text field (at most 15 characters, left-aligned,
// blanks trimmed, caret at the end). Focusing, selecting and copying work;
// typing, paste, cut and restore are refused with the beep. No events.

#include "controls/entryfield.h"

namespace kelvalog {

class TSimpleField : public TEntryField
{
public:
    static constexpr int MaxLength = 15;

    explicit TSimpleField(QWidget* Parent = nullptr);

    // Shows Text trimmed of blanks and cut to MaxLength characters.
    void SetTextValue(const QString& Text);
};

} // namespace kelvalog
