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
    dataType_ = Type;
    showValueText();
}

QString TNumericField::PictureMask() const
{
    return toQ(mask_.Text());
}

void TNumericField::setPictureMask(const QString& Mask)
{
    mask_ = TPictureMask(Mask.toStdString());
    showValueText();
}

void TNumericField::setRange(double Low, double High)
{
    rangeLow_ = Low;
    rangeHigh_ = High;
}

void TNumericField::setDecimalSeparator(QChar Separator)
{
    separator_ = Separator;
    showValueText();
}

QChar TNumericField::DecimalSeparator() const
{
    return separator_ ? *separator_ : DefaultDecimalSeparator();
}

void TNumericField::showValueText()
{
    QString text;
    if (hasValue_) {
        if (dataType_ == TNumericDataType::nftSingle) {
            const QChar sep = DecimalSeparator();
            text = toQ(mask_.FloatText(floatValue_, sep.toLatin1() ? sep.toLatin1() : '.'));
            if (sep.toLatin1() == 0) // a separator outside Latin-1
                text.replace(QLatin1Char('.'), sep);
        } else {
            text = toQ(mask_.IntegerText(intValue_));
        }
    }
    contentIsValue_ = true;
    setShownText(text);
}

void TNumericField::SetFloatValue(double Value)
{
    floatValue_ = static_cast<float>(Value);
    const double rounded = std::round(static_cast<double>(floatValue_));
    if (std::isfinite(rounded))
        intValue_ = static_cast<std::int32_t>(std::clamp(rounded, -2147483648.0, 2147483647.0));
    hasValue_ = true;
    showValueText();
    if (editing_)
        loadEditState();
}

void TNumericField::SetIntegerValue(std::int32_t Value)
{
    intValue_ = Value;
    floatValue_ = static_cast<float>(Value);
    hasValue_ = true;
    showValueText();
    if (editing_)
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
    if (contentIsValue_ && hasValue_ && dataType_ == TNumericDataType::nftLongInt)
        return intValue_;
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
    if (v < rangeLow_ || v > rangeHigh_)
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
    negativeFlag_ = text.startsWith(QLatin1Char('-'));
    QString digits;
    for (QChar c : text)
        if (c.isDigit())
            digits += c;
    if (digits == QLatin1String("0"))
        digits.clear();
    typingBuffer_ = digits;
}

void TNumericField::rebuildFromBuffer(bool EmptyWhenBlank)
{
    QString text;
    if (!(EmptyWhenBlank && typingBuffer_.isEmpty() && !negativeFlag_)) {
        const std::string digits =
            typingBuffer_.isEmpty() ? std::string("0") : typingBuffer_.toStdString();
        text = toQ(mask_.PlaceInteger(digits, negativeFlag_));
    }
    contentIsValue_ = false;
    setShownText(text);
}

TNumericField::TTypeResult TNumericField::typeCharacter(QChar Ch)
{
    const char c = Ch.toLatin1();
    // Only whole numbers are typed; float fields are display fields.
    if (dataType_ != TNumericDataType::nftLongInt || c == 0 || c == '.' || !mask_.Admits(c))
        return TTypeResult::Refused;

    bool cleared = false;
    if (Selected()) {
        cleared = !typingBuffer_.isEmpty() || negativeFlag_ || !Text().isEmpty();
        typingBuffer_.clear();
        negativeFlag_ = false;
        setSelected(false);
    }
    const int used = static_cast<int>(typingBuffer_.size());
    if (c == '-') {
        if (!negativeFlag_ && used >= mask_.IntegerPositions()) {
            if (cleared)
                rebuildFromBuffer(true);
            return TTypeResult::Refused;
        }
        negativeFlag_ = !negativeFlag_;
    } else {
        if (used + (negativeFlag_ ? 1 : 0) >= mask_.Width()) {
            if (cleared)
                rebuildFromBuffer(true);
            return TTypeResult::Refused;
        }
        // No leading zeros.
        if (!(c == '0' && typingBuffer_.isEmpty()))
            typingBuffer_ += Ch;
    }
    rebuildFromBuffer(false);
    return TTypeResult::Accepted;
}

bool TNumericField::removeLast()
{
    if (Selected()) {
        const bool had = !Text().isEmpty();
        typingBuffer_.clear();
        negativeFlag_ = false;
        setSelected(false);
        rebuildFromBuffer(true);
        return had;
    }
    if (!typingBuffer_.isEmpty())
        typingBuffer_.chop(1);
    else if (negativeFlag_)
        negativeFlag_ = false;
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
        typingBuffer_.clear();
        negativeFlag_ = false;
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
    setShownText(restoreValue_);
    contentIsValue_ = false;
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
    editing_ = true;
    restoreValue_ = Text();
    loadEditState();
}

void TNumericField::focusOutEvent(QFocusEvent* Event)
{
    TEntryField::focusOutEvent(Event);
    if (!editing_)
        return;
    editing_ = false;
    if (ReadOnly() || dataType_ != TNumericDataType::nftLongInt || reportingLeave)
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
    if (contentIsValue_ && hasValue_) {
        value = intValue_;
    } else if (!ReadIntegerContent(Text().toStdString(), value)) {
        message = InvalidMessage;
    }
    if (!message && (value < rangeLow_ || value > rangeHigh_))
        message = RangeMessage;
    if (!message) {
        intValue_ = value;
        floatValue_ = static_cast<float>(value);
        hasValue_ = true;
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
