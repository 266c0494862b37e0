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
    QString Text() const { return FText; }

    bool ReadOnly() const { return FReadOnly; }
    void setReadOnly(bool On);

    // Background of the field in its normal state (clWindow by default).
    QColor Color() const { return FColor; }
    void setColor(const QColor& Color);

    const TEFColors& EFColors() const { return FColors; }
    void setEFColors(const TEFColors& Colors);

    // The attached label, when a TAttachedLabel is bound to this field.
    TLabelInfo LabelInfo() const;
    void setLabelInfo(const TLabelInfo& Info);

    bool Selected() const { return FSelected; }
    bool InsertCaret() const { return FInsertCaret; }

    QSize sizeHint() const override;

protected:
    enum class TAlign { Left, Right };
    void setAlignment(TAlign Align) { FAlign = Align; }

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

    QString FText;
    QRawFont FRawFont;   // of font(), once needed
    QGlyphRun FGlyphs;   // FText laid out when it is a number
    QStaticText FLayout; // FText laid out otherwise
    int FTextWidth = -1; // of FText; -1 until measured
    bool FReadOnly = false;
    QColor FColor;
    TEFColors FColors;
    TLabelInfo FPendingLabelInfo;
    bool FSelected = false;
    bool FInsertCaret = true;
    TAlign FAlign = TAlign::Right;
};

} // namespace kelvalog
