#pragma once

#include "acquisition/trendstore.h"

#include <QGraphicsItem>
#include <QPen>

#include <vector>

namespace kelvalog {

// The lines of one plot, drawn straight into the chart's plot area. The
// chart's own line series cannot leave gaps and stroke a hit-test outline of
// every line on each change, which a week of data cannot afford; the chart
// keeps the axes, the grid, the legend and the value-to-pixel mapping.
class TTrendCurves : public QGraphicsItem
{
public:
    struct TLine
    {
        QPen Pen;                        // one pixel wide
        int Passes = 1;                  // drawn this many pixels wide
        std::vector<TTrendPoint> Points; // NaN values break the line
    };

    // Time and value of two corners of the plot area, and where the chart
    // puts them; the mapping in between is linear.
    struct TMapping
    {
        QPointF ValueA, ValueB;
        QPointF PixelA, PixelB;
    };

    explicit TTrendCurves(QGraphicsItem* Parent = nullptr);

    std::vector<TLine>& Lines() { return FLines; }
    const std::vector<TLine>& Lines() const { return FLines; }
    void SetArea(const QRectF& Area, const TMapping& Mapping);

    QRectF boundingRect() const override { return FArea; }
    void paint(QPainter* Painter, const QStyleOptionGraphicsItem*, QWidget*) override;

private:
    std::vector<TLine> FLines;
    QRectF FArea;
    TMapping FMapping;
};

} // namespace kelvalog
