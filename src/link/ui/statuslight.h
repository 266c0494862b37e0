#pragma once

// A small raised light showing its lit or its unlit colour (or one half of a
// glyph bitmap: lit picture left, unlit picture right).

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace kelvalog {

// A windowless graphic control with a read-only version text.
class TBaseGraphicControl : public QWidget
{
    Q_OBJECT
public:
    explicit TBaseGraphicControl(QWidget* Parent = nullptr) : QWidget(Parent) {}
    static QString Version() { return QStringLiteral("1.0"); }
};

class TCustomStatusLight : public TBaseGraphicControl
{
    Q_OBJECT
public:
    explicit TCustomStatusLight(QWidget* Parent = nullptr);

    bool Lit() const { return FLit; }
    void SetLit(bool Value);
    QColor LitColor() const { return FLitColor; }
    void SetLitColor(const QColor& Value);
    QColor NotLitColor() const { return FNotLitColor; }
    void SetNotLitColor(const QColor& Value);
    const QPixmap& Glyph() const { return FGlyph; }
    // Sizes the light to half the bitmap's width and its height; an empty
    // bitmap clears the glyph and sets 13 x 13.
    void SetGlyph(const QPixmap& Value);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    bool FLit = false;
    QColor FLitColor{255, 0, 0};
    QColor FNotLitColor{0, 128, 0};
    QPixmap FGlyph;
};

class TStatusLight : public TCustomStatusLight
{
    Q_OBJECT
public:
    explicit TStatusLight(QWidget* Parent = nullptr) : TCustomStatusLight(Parent) {}
};

} // namespace kelvalog
