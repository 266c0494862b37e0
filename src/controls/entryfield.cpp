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
    FLayout.setTextFormat(Qt::PlainText);
    const QPalette pal = palette();
    FColor = pal.color(QPalette::Active, QPalette::Base);
    FColors.Disabled = {pal.color(QPalette::Active, QPalette::Base),
                        pal.color(QPalette::Disabled, QPalette::Text)};
    FColors.Error = {Qt::red, Qt::black};
    FColors.Highlight = {pal.color(QPalette::Active, QPalette::Highlight),
                         pal.color(QPalette::Active, QPalette::HighlightedText)};
    setCursor(Qt::IBeamCursor);
}

void TEntryField::setReadOnly(bool On)
{
    FReadOnly = On;
}

void TEntryField::setColor(const QColor& Color)
{
    if (FColor == Color)
        return;
    FColor = Color;
    update();
}

void TEntryField::setEFColors(const TEFColors& Colors)
{
    FColors = Colors;
    update();
}

TLabelInfo TEntryField::LabelInfo() const
{
    if (const TAttachedLabel* label = TAttachedLabel::LabelOf(this))
        return label->LabelInfo();
    return FPendingLabelInfo;
}

void TEntryField::setLabelInfo(const TLabelInfo& Info)
{
    FPendingLabelInfo = Info;
    if (TAttachedLabel* label = TAttachedLabel::LabelOf(this))
        label->setLabelInfo(Info);
}

QSize TEntryField::sizeHint() const
{
    return {41, 21};
}

void TEntryField::setShownText(const QString& Text)
{
    if (FText == Text)
        return;
    FText = Text;
    FTextWidth = -1;
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
    FGlyphs = QGlyphRun();
    if (IsNumberText(FText) && !FText.isEmpty()) {
        if (!FRawFont.isValid())
            FRawFont = QRawFont::fromFont(font());
        const QList<quint32> indexes = FRawFont.glyphIndexesForString(FText);
        if (FRawFont.isValid() && !indexes.contains(0U)) {
            const QList<QPointF> advances =
                FRawFont.advancesForGlyphIndexes(indexes, QRawFont::KernedAdvances);
            QList<QPointF> positions;
            positions.reserve(advances.size());
            QPointF at;
            for (const QPointF& advance : advances) {
                positions.append(at);
                at += advance;
            }
            FGlyphs.setRawFont(FRawFont);
            FGlyphs.setGlyphIndexes(indexes);
            FGlyphs.setPositions(positions);
            FTextWidth = qRound(at.x());
            return;
        }
    }
    FLayout.setText(FText);
    FLayout.prepare(QTransform(), font());
    FTextWidth = qRound(FLayout.size().width());
}

QRect TEntryField::InnerRect() const
{
    return rect().adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth);
}

void TEntryField::setSelected(bool On)
{
    if (FSelected == On)
        return;
    FSelected = On;
    update();
}

void TEntryField::copySelection() const
{
    if (FSelected && !FText.isEmpty())
        QApplication::clipboard()->setText(FText);
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
            FInsertCaret = !FInsertCaret;
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
        if (FReadOnly)
            Beep();
        else
            cutSelection();
        return;
    case TEditCommand::Paste:
        FReadOnly ? Beep() : pasteClipboard();
        return;
    case TEditCommand::Restore:
        FReadOnly ? Beep() : restoreContent();
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
        FReadOnly ? Beep() : removeCharacter();
        return;
    }
    const QString text = Event->text();
    if (text.size() == 1 && text[0].isPrint() && !ctrlOrAlt) {
        FReadOnly ? Beep() : typeKey(text[0]);
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
    const QColor background = enabled ? FColor : FColors.Disabled.Background;
    const QColor textColor =
        enabled ? palette().color(QPalette::Active, QPalette::Text) : FColors.Disabled.Text;
    p.fillRect(inner, background);
    p.setClipRect(inner);
    p.setFont(font());

    const QFontMetrics fm(font());
    if (FTextWidth < 0)
        PrepareText();
    const int textWidth = FTextWidth;
    const int textHeight = fm.height();
    const int top = inner.top() + (inner.height() - textHeight) / 2;
    const int left =
        FAlign == TAlign::Right ? inner.right() + 1 - TextInset - textWidth : inner.left() + 1;
    const QRect textRect(left, top, textWidth, textHeight);

    const bool showSelection = FSelected && hasFocus() && !FText.isEmpty();
    if (showSelection) {
        p.fillRect(textRect, FColors.Highlight.Background);
        p.setPen(FColors.Highlight.Text);
    } else {
        p.setPen(textColor);
    }
    if (FGlyphs.isEmpty())
        p.drawStaticText(textRect.topLeft(), FLayout);
    else
        p.drawGlyphRun(QPointF(textRect.left(), top + fm.ascent()), FGlyphs);

    if (hasFocus() && enabled) {
        const int x = textRect.right() + 1;
        if (FInsertCaret) {
            p.fillRect(QRect(x, top, 1, textHeight), textColor);
        } else {
            const int w = fm.horizontalAdvance(QLatin1Char('0'));
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(QRect(x - (FText.isEmpty() ? 0 : w), top, w, textHeight), Qt::white);
        }
    }
}

void TEntryField::focusInEvent(QFocusEvent* Event)
{
    QWidget::focusInEvent(Event);
    FSelected = true;
    update();
}

void TEntryField::focusOutEvent(QFocusEvent* Event)
{
    QWidget::focusOutEvent(Event);
    FSelected = false;
    update();
}

void TEntryField::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::FontChange) {
        FRawFont = QRawFont();
        FTextWidth = -1;
    }
    if (Event->type() == QEvent::EnabledChange || Event->type() == QEvent::FontChange ||
        Event->type() == QEvent::PaletteChange)
        update();
}

} // namespace kelvalog
