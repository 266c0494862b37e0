#include "controls/numericfield.h"

#include <QApplication>
#include <QClipboard>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvalog {

namespace {
const char* const InvalidMessage = "Value is not valid for this field type";
const char* const RangeMessage = "Value is not within required range";

// Set while one field reports a refused leave and takes the focus back, so
// that the field the focus passed through stays quiet.
bool reportingLeave = false;

QString toQ(const std::string& s)
{
    return QString::fromStdString(s);
}
} // namespace

TNumericField::TNumericField(QWidget* Parent) : TEntryField(Parent)
{
    setPictureMask(QStringLiteral("iiiiiiiiiii"));
}

void TNumericField::setDataType(TNumericDataType Type)
{
    FDataType = Type;
    showValueText();
}

QString TNumericField::PictureMask() const
{
    return toQ(FMask.Text());
}

void TNumericField::setPictureMask(const QString& Mask)
{
    FMask = TPictureMask(Mask.toStdString());
    showValueText();
}

void TNumericField::setRange(double Low, double High)
{
    FRangeLow = Low;
    FRangeHigh = High;
}

void TNumericField::setDecimalSeparator(QChar Separator)
{
    FSeparator = Separator;
    showValueText();
}

QChar TNumericField::DecimalSeparator() const
{
    return FSeparator ? *FSeparator : DefaultDecimalSeparator();
}

void TNumericField::showValueText()
{
    QString text;
    if (FHasValue) {
        if (FDataType == TNumericDataType::nftSingle) {
            const QChar sep = DecimalSeparator();
            text = toQ(FMask.FloatText(FFloatValue, sep.toLatin1() ? sep.toLatin1() : '.'));
            if (sep.toLatin1() == 0) // a separator outside Latin-1
                text.replace(QLatin1Char('.'), sep);
        } else {
            text = toQ(FMask.IntegerText(FIntValue));
        }
    }
    FContentIsValue = true;
    setShownText(text);
}

void TNumericField::SetFloatValue(double Value)
{
    FFloatValue = static_cast<float>(Value);
    const double rounded = std::round(static_cast<double>(FFloatValue));
    if (std::isfinite(rounded))
        FIntValue = static_cast<std::int32_t>(std::clamp(rounded, -2147483648.0, 2147483647.0));
    FHasValue = true;
    showValueText();
    if (FEditing)
        loadEditState();
}

void TNumericField::SetIntegerValue(std::int32_t Value)
{
    FIntValue = Value;
    FFloatValue = static_cast<float>(Value);
    FHasValue = true;
    showValueText();
    if (FEditing)
        loadEditState();
}

void TNumericField::StepTo(std::int32_t Value)
{
    SetIntegerValue(Value);
    // Digits typed next go behind the new value.
    setSelected(false);
    raiseChange();
}

std::optional<std::int32_t> TNumericField::ContentAsInteger() const
{
    if (FContentIsValue && FHasValue && FDataType == TNumericDataType::nftLongInt)
        return FIntValue;
    std::int32_t value = 0;
    if (!ReadIntegerContent(Text().toStdString(), value))
        return std::nullopt;
    return value;
}

std::int32_t TNumericField::GetIntegerValue() const
{
    const std::optional<std::int32_t> value = ContentAsInteger();
    if (!value)
        return 0;
    const double v = *value;
    if (v < FRangeLow || v > FRangeHigh)
        return 0;
    return *value;
}

void TNumericField::raiseChange()
{
    if (OnChange)
        OnChange(this);
}

void TNumericField::loadEditState()
{
    const QString text = Text();
    FNegativeFlag = text.startsWith(QLatin1Char('-'));
    QString digits;
    for (QChar c : text)
        if (c.isDigit())
            digits += c;
    if (digits == QLatin1String("0"))
        digits.clear();
    FTypingBuffer = digits;
}

void TNumericField::rebuildFromBuffer(bool EmptyWhenBlank)
{
    QString text;
    if (!(EmptyWhenBlank && FTypingBuffer.isEmpty() && !FNegativeFlag)) {
        const std::string digits =
            FTypingBuffer.isEmpty() ? std::string("0") : FTypingBuffer.toStdString();
        text = toQ(FMask.PlaceInteger(digits, FNegativeFlag));
    }
    FContentIsValue = false;
    setShownText(text);
}

TNumericField::TTypeResult TNumericField::typeCharacter(QChar Ch)
{
    const char c = Ch.toLatin1();
    // Only whole numbers are typed; float fields are display fields.
    if (FDataType != TNumericDataType::nftLongInt || c == 0 || c == '.' || !FMask.Admits(c))
        return TTypeResult::Refused;

    bool cleared = false;
    if (Selected()) {
        cleared = !FTypingBuffer.isEmpty() || FNegativeFlag || !Text().isEmpty();
        FTypingBuffer.clear();
        FNegativeFlag = false;
        setSelected(false);
    }
    const int used = static_cast<int>(FTypingBuffer.size());
    if (c == '-') {
        if (!FNegativeFlag && used >= FMask.IntegerPositions()) {
            if (cleared)
                rebuildFromBuffer(true);
            return TTypeResult::Refused;
        }
        FNegativeFlag = !FNegativeFlag;
    } else {
        if (used + (FNegativeFlag ? 1 : 0) >= FMask.Width()) {
            if (cleared)
                rebuildFromBuffer(true);
            return TTypeResult::Refused;
        }
        // No leading zeros.
        if (!(c == '0' && FTypingBuffer.isEmpty()))
            FTypingBuffer += Ch;
    }
    rebuildFromBuffer(false);
    return TTypeResult::Accepted;
}

bool TNumericField::removeLast()
{
    if (Selected()) {
        const bool had = !Text().isEmpty();
        FTypingBuffer.clear();
        FNegativeFlag = false;
        setSelected(false);
        rebuildFromBuffer(true);
        return had;
    }
    if (!FTypingBuffer.isEmpty())
        FTypingBuffer.chop(1);
    else if (FNegativeFlag)
        FNegativeFlag = false;
    else
        return false;
    rebuildFromBuffer(true);
    return true;
}

void TNumericField::pasteClipboard()
{
    const QString before = Text();
    const QString clip = QApplication::clipboard()->text();
    if (Selected()) {
        FTypingBuffer.clear();
        FNegativeFlag = false;
        setSelected(false);
        rebuildFromBuffer(true);
    }
    for (QChar ch : clip)
        typeCharacter(ch); // refused characters are skipped quietly
    if (Text() != before)
        raiseChange();
}

void TNumericField::cutSelection()
{
    if (Selected() && removeLast())
        raiseChange();
}

void TNumericField::restoreContent()
{
    setShownText(FRestoreValue);
    FContentIsValue = false;
    loadEditState();
    setSelected(true);
    raiseChange();
}

void TNumericField::removeCharacter()
{
    if (removeLast())
        raiseChange();
}

void TNumericField::typeKey(QChar Ch)
{
    if (typeCharacter(Ch) == TTypeResult::Refused)
        Beep();
    else
        raiseChange();
}

void TNumericField::focusInEvent(QFocusEvent* Event)
{
    TEntryField::focusInEvent(Event);
    FEditing = true;
    FRestoreValue = Text();
    loadEditState();
}

void TNumericField::focusOutEvent(QFocusEvent* Event)
{
    TEntryField::focusOutEvent(Event);
    if (!FEditing)
        return;
    FEditing = false;
    if (ReadOnly() || FDataType != TNumericDataType::nftLongInt || reportingLeave)
        return;
    // Only a move to another control of this window tests the content;
    // switching to another window keeps it as it is.
    const QWidget* next = QApplication::focusWidget();
    if (!next || next->window() != window())
        return;
    validateOnLeave();
}

bool TNumericField::validateOnLeave()
{
    std::int32_t value = 0;
    const char* message = nullptr;
    if (FContentIsValue && FHasValue) {
        value = FIntValue;
    } else if (!ReadIntegerContent(Text().toStdString(), value)) {
        message = InvalidMessage;
    }
    if (!message && (value < FRangeLow || value > FRangeHigh))
        message = RangeMessage;
    if (!message) {
        FIntValue = value;
        FFloatValue = static_cast<float>(value);
        FHasValue = true;
        showValueText();
        return true;
    }
    struct TReporting
    {
        TReporting() { reportingLeave = true; }
        ~TReporting() { reportingLeave = false; }
    } reporting;
    ShowErrorBox(this, QString::fromLatin1(message));
    // A field that was hidden or disabled meanwhile cannot take it back.
    if (isVisible() && isEnabled())
        setFocus(Qt::OtherFocusReason);
    return false;
}

} // namespace kelvalog
