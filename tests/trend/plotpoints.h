#pragma once

#include "trend/trendcurves.h"
#include "trend/trendplot.h"

#include <QChart>

#include <cstddef>

namespace kelvalog {

// Points drawn per line of a plot, read from the lines the plot put in its
// chart.
inline std::size_t PointCount(const TTrendPlot& Plot)
{
    std::size_t Count = 0;
    for (const QGraphicsItem* Item : Plot.chart()->childItems())
        if (const auto* Curves = dynamic_cast<const TTrendCurves*>(Item))
            for (const auto& Line : Curves->Lines())
                Count += Line.Points.size();
    return Count;
}

} // namespace kelvalog
