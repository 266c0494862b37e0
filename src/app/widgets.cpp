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

void TGroupFrame::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    const QFontMetrics Metrics(font());
    const int Top = Metrics.height() / 2;
    const QRect Frame = rect().adjusted(0, Top, -1, -1);
    // Etched: a dark line with a light one just inside and below it.
    P.setPen(palette().color(QPalette::Light));
    P.drawRect(Frame.adjusted(1, 1, 0, 0));
    P.setPen(palette().color(QPalette::Mid));
    P.drawRect(Frame.adjusted(0, 0, -1, -1));
    const QString Caption = title();
    if (Caption.isEmpty())
        return;
    const QRect Text(8, 0, Metrics.horizontalAdvance(Caption) + 2, Metrics.height());
    P.fillRect(Text, palette().color(QPalette::Window));
    P.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    P.drawText(Text, Qt::AlignCenter, Caption);
}

} // namespace kelvalog
