#include "link/ui/statuslight.h"

#include <QBitmap>
#include <QPainter>

namespace kelvalog {

namespace {
constexpr int DefaultSize = 13;
const QColor Gray(128, 128, 128);
} // namespace

TCustomStatusLight::TCustomStatusLight(QWidget* Parent) : TBaseGraphicControl(Parent)
{
    resize(DefaultSize, DefaultSize);
    // Every paint covers the whole light. Said so, a light that blinks with
    // the data repaints itself alone, not the panel, the window and the
    // neighbouring lights behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TCustomStatusLight::sizeHint() const
{
    if (!FGlyph.isNull())
        return {FGlyph.width() / 2, FGlyph.height()};
    return {DefaultSize, DefaultSize};
}

void TCustomStatusLight::SetLit(bool Value)
{
    if (Value == FLit)
        return;
    FLit = Value;
    update();
}

void TCustomStatusLight::SetLitColor(const QColor& Value)
{
    if (Value == FLitColor)
        return;
    FLitColor = Value;
    if (FGlyph.isNull() && FLit)
        update();
}

void TCustomStatusLight::SetNotLitColor(const QColor& Value)
{
    if (Value == FNotLitColor)
        return;
    FNotLitColor = Value;
    if (FGlyph.isNull() && !FLit)
        update();
}

void TCustomStatusLight::SetGlyph(const QPixmap& Value)
{
    FGlyph = Value;
    if (FGlyph.isNull()) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(DefaultSize, DefaultSize);
    } else {
        // Any later change of bounds keeps this size.
        setFixedSize(FGlyph.width() / 2, FGlyph.height());
    }
    update();
}

void TCustomStatusLight::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    const int W = width();
    const int H = height();
    if (FGlyph.isNull()) {
        P.fillRect(rect(), FLit ? FLitColor : FNotLitColor);
        P.setPen(Qt::white);
        P.drawLine(0, 0, W - 1, 0);
        P.drawLine(0, 0, 0, H - 1);
        P.setPen(Gray);
        P.drawLine(W - 1, 1, W - 1, H - 1);
        P.drawLine(1, H - 1, W - 1, H - 1);
        return;
    }
    const int Half = FGlyph.width() / 2;
    QPixmap Part = FGlyph.copy(FLit ? 0 : Half, 0, Half, FGlyph.height());
    // The colour of the bitmap's top-left pixel shows the parent's background.
    const QColor Key = FGlyph.toImage().pixelColor(0, 0);
    Part.setMask(Part.createMaskFromColor(Key, Qt::MaskInColor));
    const QWidget* Under = parentWidget() ? parentWidget() : this;
    P.fillRect(rect(), Under->palette().color(Under->backgroundRole()));
    P.drawPixmap(0, 0, Part);
}

} // namespace kelvalog
