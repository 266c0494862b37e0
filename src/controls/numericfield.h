#pragma once

// Numeric value field with a picture mask: shows a 32-bit float or a 32-bit
// integer right-aligned, edits like a calculator display and refuses, with an
// error box, to let the focus go while its content is not a valid number
// within RangeLow..RangeHigh.
//
// Events (see controlenv.h): OnChange(Sender) for the user's edits only
// (accepted keystrokes, cut, paste, restore, spinner steps); never for
// SetIntegerValue / SetFloatValue.

#include "controls/entryfield.h"
#include "controls/picturemask.h"

#include <cstdint>
#include <optional>

namespace kelvalog {

enum class TNumericDataType { nftSingle, nftLongInt };

class TNumericField : public TEntryField
{
public:
    explicit TNumericField(QWidget* Parent = nullptr);

    TNumericDataType DataType() const { return FDataType; }
    void setDataType(TNumericDataType Type);

    QString PictureMask() const;
    void setPictureMask(const QString& Mask);
    const TPictureMask& Mask() const { return FMask; }

    // Inclusive limits, in the field's value type (doubles hold every
    // 32-bit integer exactly).
    double RangeLow() const { return FRangeLow; }
    double RangeHigh() const { return FRangeHigh; }
    void setRangeLow(double Value) { FRangeLow = Value; }
    void setRangeHigh(double Value) { FRangeHigh = Value; }
    void setRange(double Low, double High);

    // The separator of this field; unset means DefaultDecimalSeparator().
    void setDecimalSeparator(QChar Separator);
    QChar DecimalSeparator() const;

    // Store and show a value; no range test, no OnChange.
    void SetFloatValue(double Value);
    void SetIntegerValue(std::int32_t Value);
    // The content read as a number; 0 when invalid or out of range.
    std::int32_t GetIntegerValue() const;
    // The content read as an integer without range test (empty reads 0);
    // nothing when it is not a 32-bit integer.
    std::optional<std::int32_t> ContentAsInteger() const;
    // The stored float value of a float field.
    float FloatValue() const { return FFloatValue; }

    // A step from an attached spinner: shows Value without a selection and
    // raises OnChange.
    void StepTo(std::int32_t Value);

    // Editing state while focused.
    QString TypingBuffer() const { return FTypingBuffer; }
    bool NegativeFlag() const { return FNegativeFlag; }
    QString RestoreValue() const { return FRestoreValue; }

    TNotifyEvent OnChange;

protected:
    void cutSelection() override;
    void pasteClipboard() override;
    void restoreContent() override;
    void removeCharacter() override;
    void typeKey(QChar Ch) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;

private:
    enum class TTypeResult { Accepted, Refused };
    TTypeResult typeCharacter(QChar Ch);
    bool removeLast();
    void loadEditState();
    void rebuildFromBuffer(bool EmptyWhenBlank);
    void showValueText();
    void raiseChange();
    bool validateOnLeave();

    TNumericDataType FDataType = TNumericDataType::nftLongInt;
    TPictureMask FMask;
    double FRangeLow = -2147483648.0;
    double FRangeHigh = 2147483647.0;
    std::optional<QChar> FSeparator;

    bool FHasValue = false;      // never set: shows nothing, reads 0
    bool FContentIsValue = true; // content still the program's value
    std::int32_t FIntValue = 0;
    float FFloatValue = 0.0f;

    bool FEditing = false; // focus-in seen, focus-out not yet
    QString FTypingBuffer;
    bool FNegativeFlag = false;
    QString FRestoreValue;
};

} // namespace kelvalog
