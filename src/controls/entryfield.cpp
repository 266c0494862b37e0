#include "controls/entryfield.h"

#include "controls/attachedlabel.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace kelvalog {

namespace {
// Frame drawn around the inner area (a sunken 3-D edge).
constexpr int FrameWidth = 2;
// Right-aligned text ends this far inside the inner area.
constexpr int TextInset = 3;
} // namespace

TEntryField::TEntryField(QWidget* Parent) : QWidget(Parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // The frame and the filled inside cover every pixel: a new value repaints
    // the field alone, not the group frame behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    layout_.setTextFormat(Qt::PlainText);
    const QPalette pal = palette();
    color_ = pal.color(QPalette::Active, QPalette::Base);
    colors_.Disabled = {pal.color(QPalette::Active, QPalette::Base),
                        pal.color(QPalette::Disabled, QPalette::Text)};
    colors_.Error = {Qt::red, Qt::black};
    colors_.Highlight = {pal.color(QPalette::Active, QPalette::Highlight),
                         pal.color(QPalette::Active, QPalette::HighlightedText)};
    setCursor(Qt::IBeamCursor);
}

void TEntryField::setReadOnly(bool On)
{
    readOnly_ = On;
}

void TEntryField::setColor(const QColor& Color)
{
    if (color_ == Color)
        return;
    color_ = Color;
    update();
}

void TEntryField::setEFColors(const TEFColors& Colors)
{
    colors_ = Colors;
    update();
}

TLabelInfo TEntryField::LabelInfo() const
{
    if (const TAttachedLabel* label = TAttachedLabel::LabelOf(this))
        return label->LabelInfo();
    return pendingLabelInfo_;
}

void TEntryField::setLabelInfo(const TLabelInfo& Info)
{
    pendingLabelInfo_ = Info;
    if (TAttachedLabel* label = TAttachedLabel::LabelOf(this))
        label->setLabelInfo(Info);
}

QSize TEntryField::sizeHint() const
{
    return {41, 21};
}

void TEntryField::setShownText(const QString& Text)
{
    if (text_ == Text)
        return;
    text_ = Text;
    textWidth_ = -1;
    // A new value repaints the inside alone; the frame around it stays.
    update(InnerRect());
}

namespace {
bool IsNumberText(const QString& Text)
{
    return std::all_of(Text.begin(), Text.end(),
                       [](QChar C) { return C.isDigit() || QStringView(u".,-+ Ee").contains(C); });
}
} // namespace

// Laid out once per text, not at every paint: values change many times a
// second for days. A number takes the font's glyphs and kerning directly,
// which places them as full text shaping does at a fraction of its cost.
void TEntryField::PrepareText()
{
    glyphs_ = QGlyphRun();
    if (IsNumberText(text_) && !text_.isEmpty()) {
        if (!rawFont_.isValid())
            rawFont_ = QRawFont::fromFont(font());
        const QList<quint32> indexes = rawFont_.glyphIndexesForString(text_);
        if (rawFont_.isValid() && !indexes.contains(0U)) {
            const QList<QPointF> advances =
                rawFont_.advancesForGlyphIndexes(indexes, QRawFont::KernedAdvances);
            QList<QPointF> positions;
            positions.reserve(advances.size());
            QPointF at;
            for (const QPointF& advance : advances) {
                positions.append(at);
                at += advance;
            }
            glyphs_.setRawFont(rawFont_);
            glyphs_.setGlyphIndexes(indexes);
            glyphs_.setPositions(positions);
            textWidth_ = qRound(at.x());
            return;
        }
    }
    layout_.setText(text_);
    layout_.prepare(QTransform(), font());
    textWidth_ = qRound(layout_.size().width());
}

QRect TEntryField::InnerRect() const
{
    return rect().adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth);
}

void TEntryField::setSelected(bool On)
{
    if (selected_ == On)
        return;
    selected_ = On;
    update();
}

void TEntryField::copySelection() const
{
    if (selected_ && !text_.isEmpty())
        QApplication::clipboard()->setText(text_);
}

bool TEntryField::handleCommonKey(QKeyEvent* Event)
{
    const Qt::KeyboardModifiers mods = Event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods.testFlag(Qt::ShiftModifier);
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    const bool alt = mods.testFlag(Qt::AltModifier);
    switch (Event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (alt)
            return false;
        // The caret never leaves the right end; a shifted move can only
        // take in the whole content.
        setSelected(shift);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (alt)
            return false;
        setSelected(false);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        Beep();
        return true;
    case Qt::Key_C:
        if (ctrl && !shift && !alt) {
            copySelection();
            return true;
        }
        return false;
    case Qt::Key_Insert:
        if (ctrl && !shift && !alt) {
            copySelection();
            return true;
        }
        if (mods == Qt::NoModifier) {
            insertCaret_ = !insertCaret_;
            update();
            return true;
        }
        return false;
    default:
        return false;
    }
}

namespace {
enum class TEditCommand { None, Cut, Paste, Restore };

TEditCommand EditCommandOf(const QKeyEvent& Event)
{
    const Qt::KeyboardModifiers mods = Event.modifiers() & ~Qt::KeypadModifier;
    const int key = Event.key();
    const bool ctrl = mods == Qt::ControlModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool alt = mods == Qt::AltModifier;
    if ((ctrl && key == Qt::Key_X) || (shift && key == Qt::Key_Delete))
        return TEditCommand::Cut;
    if ((ctrl && key == Qt::Key_V) || (shift && key == Qt::Key_Insert))
        return TEditCommand::Paste;
    if ((ctrl && key == Qt::Key_Z) || (alt && key == Qt::Key_Backspace))
        return TEditCommand::Restore;
    return TEditCommand::None;
}
} // namespace

void TEntryField::cutSelection()
{
    Beep();
}

void TEntryField::pasteClipboard()
{
    Beep();
}

void TEntryField::restoreContent()
{
    Beep();
}

void TEntryField::removeCharacter()
{
    Beep();
}

void TEntryField::typeKey(QChar)
{
    Beep();
}

void TEntryField::keyPressEvent(QKeyEvent* Event)
{
    switch (EditCommandOf(*Event)) {
    case TEditCommand::Cut:
        // A read-only field copies but keeps its text.
        copySelection();
        if (readOnly_)
            Beep();
        else
            cutSelection();
        return;
    case TEditCommand::Paste:
        readOnly_ ? Beep() : pasteClipboard();
        return;
    case TEditCommand::Restore:
        readOnly_ ? Beep() : restoreContent();
        return;
    case TEditCommand::None:
        break;
    }
    if (handleCommonKey(Event))
        return;
    const Qt::KeyboardModifiers mods = Event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlOrAlt = mods.testFlag(Qt::ControlModifier) || mods.testFlag(Qt::AltModifier);
    const int key = Event->key();
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && !ctrlOrAlt) {
        readOnly_ ? Beep() : removeCharacter();
        return;
    }
    const QString text = Event->text();
    if (text.size() == 1 && text[0].isPrint() && !ctrlOrAlt) {
        readOnly_ ? Beep() : typeKey(text[0]);
        return;
    }
    Event->ignore();
}

void TEntryField::paintEvent(QPaintEvent* Event)
{
    QPainter p(this);
    const QRect inner = InnerRect();
    if (!inner.contains(Event->rect()))
        qDrawWinPanel(&p, rect(), palette(), true);

    const bool enabled = isEnabled();
    const QColor background = enabled ? color_ : colors_.Disabled.Background;
    const QColor textColor =
        enabled ? palette().color(QPalette::Active, QPalette::Text) : colors_.Disabled.Text;
    p.fillRect(inner, background);
    p.setClipRect(inner);
    p.setFont(font());

    const QFontMetrics fm(font());
    if (textWidth_ < 0)
        PrepareText();
    const int textWidth = textWidth_;
    const int textHeight = fm.height();
    const int top = inner.top() + (inner.height() - textHeight) / 2;
    const int left =
        align_ == TAlign::Right ? inner.right() + 1 - TextInset - textWidth : inner.left() + 1;
    const QRect textRect(left, top, textWidth, textHeight);

    const bool showSelection = selected_ && hasFocus() && !text_.isEmpty();
    if (showSelection) {
        p.fillRect(textRect, colors_.Highlight.Background);
        p.setPen(colors_.Highlight.Text);
    } else {
        p.setPen(textColor);
    }
    if (glyphs_.isEmpty())
        p.drawStaticText(textRect.topLeft(), layout_);
    else
        p.drawGlyphRun(QPointF(textRect.left(), top + fm.ascent()), glyphs_);

    if (hasFocus() && enabled) {
        const int x = textRect.right() + 1;
        if (insertCaret_) {
            p.fillRect(QRect(x, top, 1, textHeight), textColor);
        } else {
            const int w = fm.horizontalAdvance(QLatin1Char('0'));
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(QRect(x - (text_.isEmpty() ? 0 : w), top, w, textHeight), Qt::white);
        }
    }
}

void TEntryField::focusInEvent(QFocusEvent* Event)
{
    QWidget::focusInEvent(Event);
    selected_ = true;
    update();
}

void TEntryField::focusOutEvent(QFocusEvent* Event)
{
    QWidget::focusOutEvent(Event);
    selected_ = false;
    update();
}

void TEntryField::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::FontChange) {
        rawFont_ = QRawFont();
        textWidth_ = -1;
    }
    if (Event->type() == QEvent::EnabledChange || Event->type() == QEvent::FontChange ||
        Event->type() == QEvent::PaletteChange)
        update();
}

} // namespace kelvalog
