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
    Painter->setRenderHint(QPainter::Antialiasing, true);
    QPolygonF Run;
    for (const TLine& Line : FLines) {
        Painter->setPen(Line.Pen);
        Run.clear();
        auto Draw = [&] {
            if (Run.size() == 1)
                Painter->drawPoint(Run.front());
            else if (Run.size() > 1)
                Painter->drawPolyline(Run);
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
