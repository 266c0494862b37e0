#pragma once

// Common ground of the single-line fields that paint themselves: frame,
// colours, whole-content selection, caret, copy and the read-only refusals.
// Events: see controlenv.h (std::function members, sender first).

#include "controls/controlenv.h"

#include <QColor>
#include <QGlyphRun>
#include <QRawFont>
#include <QStaticText>
#include <QString>
#include <QWidget>

namespace kelvalog {

struct TColorPair
{
    QColor Background;
    QColor Text;
};

// The colour pairs of a field. Error is kept for completeness: no field of
// the window validates softly, so it is never drawn.
struct TEFColors
{
    TColorPair Disabled;
    TColorPair Error;
    TColorPair Highlight;
};

// Where a field's attached label sits: its left edge at the control's left +
// OffsetX, its bottom edge at the control's top + OffsetY; Visible says
// whether it is attached at all.
struct TLabelInfo
{
    int OffsetX = 0;
    int OffsetY = 0;
    bool Visible = true;
};

class TEntryField : public QWidget
{
public:
    explicit TEntryField(QWidget* Parent = nullptr);

    // Content as shown (blanks trimmed).
    QString Text() const { return text_; }

    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool On);

    // Background of the field in its normal state (clWindow by default).
    QColor Color() const { return color_; }
    void setColor(const QColor& Color);

    const TEFColors& EFColors() const { return colors_; }
    void setEFColors(const TEFColors& Colors);

    // The attached label, when a TAttachedLabel is bound to this field.
    TLabelInfo LabelInfo() const;
    void setLabelInfo(const TLabelInfo& Info);

    bool Selected() const { return selected_; }
    bool InsertCaret() const { return insertCaret_; }

    QSize sizeHint() const override;

protected:
    enum class TAlign { Left, Right };
    void setAlignment(TAlign Align) { align_ = Align; }

    // Shows Text (no event); subclasses keep their own meaning of it.
    void setShownText(const QString& Text);
    void setSelected(bool On);

    // Handles the keys every field treats alike (navigation, selection,
    // copy, Insert, Enter/Esc). Returns true when the key was consumed.
    bool handleCommonKey(QKeyEvent* Event);
    void copySelection() const;

    // The edits a key asks for. A read-only field refuses each with the beep
    // (a cut still copies) and never calls these; a field that takes edits
    // overrides them. Without an override they are refused too.
    virtual void cutSelection();
    virtual void pasteClipboard();
    virtual void restoreContent();
    virtual void removeCharacter(); // Backspace, Delete
    virtual void typeKey(QChar Ch); // a printable character

    void keyPressEvent(QKeyEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    QRect InnerRect() const;
    void PrepareText();

    QString text_;
    QRawFont rawFont_;   // of font(), once needed
    QGlyphRun glyphs_;   // text_ laid out when it is a number
    QStaticText layout_; // text_ laid out otherwise
    int textWidth_ = -1; // of text_; -1 until measured
    bool readOnly_ = false;
    QColor color_;
    TEFColors colors_;
    TLabelInfo pendingLabelInfo_;
    bool selected_ = false;
    bool insertCaret_ = true;
    TAlign align_ = TAlign::Right;
};

} // namespace kelvalog
