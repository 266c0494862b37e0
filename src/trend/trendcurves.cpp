#include "trend/trendcurves.h"

#include <QPainter>
#include <QPolygonF>

#include <cmath>

namespace kelvalog {

TTrendCurves::TTrendCurves(QGraphicsItem* Parent) : QGraphicsItem(Parent)
{
    setFlag(ItemClipsToShape, false);
}

void TTrendCurves::SetArea(const QRectF& Area, const TMapping& Mapping)
{
    if (Area != FArea)
        prepareGeometryChange();
    FArea = Area;
    FMapping = Mapping;
    update();
}

void TTrendCurves::paint(QPainter* Painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QPointF DV = FMapping.ValueB - FMapping.ValueA;
    if (DV.x() == 0 || DV.y() == 0)
        return;
    const double Sx = (FMapping.PixelB.x() - FMapping.PixelA.x()) / DV.x();
    const double Sy = (FMapping.PixelB.y() - FMapping.PixelA.y()) / DV.y();
    // Times are far from zero: take differences in integers first.
    const auto T0 = static_cast<std::int64_t>(FMapping.ValueA.x());
    const double X0 = FMapping.PixelA.x() + (FMapping.ValueA.x() - double(T0)) * Sx;

    Painter->save();
    Painter->setClipRect(FArea);
    QPolygonF Run;
    for (const TLine& Line : FLines) {
        // Only one-pixel pens keep to the painter's fast path: a wide line is
        // drawn as passes of a thin one side by side. Smoothing is worth its
        // cost only where points are sparser than pixels; a decimated line
        // fills its columns anyway.
        const bool Smooth = Line.Passes == 1 && double(Line.Points.size()) < FArea.width();
        Painter->setRenderHint(QPainter::Antialiasing, Smooth);
        Painter->setPen(Line.Pen);
        auto Draw = [&] {
            for (int Pass = 0; Pass < Line.Passes; ++Pass) {
                if (Pass > 0)
                    Run.translate(0, 1);
                if (Run.size() == 1)
                    Painter->drawPoint(Run.front());
                else if (Run.size() > 1)
                    Painter->drawPolyline(Run);
            }
            Run.clear();
        };
        for (const TTrendPoint& P : Line.Points) {
            if (std::isnan(P.Value)) {
                Draw();
                continue;
            }
            Run.append(QPointF(X0 + double(P.Time - T0) * Sx,
                               FMapping.PixelA.y() + (double(P.Value) - FMapping.ValueA.y()) * Sy));
        }
        Draw();
    }
    Painter->restore();
}

} // namespace kelvalog
