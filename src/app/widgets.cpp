#include "app/widgets.h"

#include <QPainter>

namespace kelvalog {

void TBevelLine::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    P.setPen(palette().color(QPalette::Dark));
    P.drawLine(0, 0, 0, height() - 1);
    P.setPen(palette().color(QPalette::Light));
    P.drawLine(1, 0, 1, height() - 1);
}

} // namespace kelvalog
