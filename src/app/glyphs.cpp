#include "app/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kelvalog {

namespace {

// A thermometer bulb on a dark disc: the program measures temperatures.
QPixmap Thermometer(int Size)
{
    QPixmap Picture(Size, Size);
    Picture.fill(Qt::transparent);
    QPainter P(&Picture);
    P.setRenderHint(QPainter::Antialiasing);
    const double U = Size / 32.0;
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(0, 64, 128));
    P.drawEllipse(QRectF(1 * U, 1 * U, 30 * U, 30 * U));
    P.setBrush(Qt::white);
    P.drawRoundedRect(QRectF(13 * U, 5 * U, 6 * U, 17 * U), 3 * U, 3 * U);
    P.drawEllipse(QRectF(10 * U, 18 * U, 12 * U, 12 * U));
    P.setBrush(QColor(220, 0, 0));
    P.drawRect(QRectF(15 * U, 10 * U, 2 * U, 12 * U));
    P.drawEllipse(QRectF(12 * U, 20 * U, 8 * U, 8 * U));
    return Picture;
}

} // namespace

QIcon ApplicationIcon()
{
    QIcon Icon;
    Icon.addPixmap(Thermometer(32));
    Icon.addPixmap(Thermometer(16));
    return Icon;
}

QIcon OnLineGlyph()
{
    // A plug: body, two pins and the cable.
    QPixmap Picture(16, 16);
    Picture.fill(Qt::transparent);
    QPainter P(&Picture);
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(64, 64, 64));
    P.drawRect(4, 5, 8, 6);
    P.drawRect(5, 1, 2, 4);
    P.drawRect(9, 1, 2, 4);
    P.drawRect(7, 11, 2, 4);
    return QIcon(Picture);
}

QIcon WriteLogGlyph()
{
    // A sheet with lines and a pen.
    QPixmap Picture(16, 16);
    Picture.fill(Qt::transparent);
    QPainter P(&Picture);
    P.setPen(QColor(64, 64, 64));
    P.setBrush(Qt::white);
    P.drawRect(2, 1, 10, 13);
    P.drawLine(4, 4, 10, 4);
    P.drawLine(4, 7, 10, 7);
    P.drawLine(4, 10, 8, 10);
    P.setPen(QPen(QColor(0, 0, 160), 2));
    P.drawLine(9, 13, 14, 8);
    return QIcon(Picture);
}

QIcon TrendGlyph()
{
    // A zigzag line over an axis corner.
    QPixmap Picture(16, 16);
    Picture.fill(Qt::transparent);
    QPainter P(&Picture);
    P.setPen(QColor(64, 64, 64));
    P.drawLine(1, 1, 1, 14);
    P.drawLine(1, 14, 14, 14);
    P.setRenderHint(QPainter::Antialiasing);
    P.setPen(QPen(QColor(0, 0, 160), 1.5));
    const QPointF Line[] = {{3, 11}, {6, 6}, {9, 9}, {14, 3}};
    P.drawPolyline(Line, 4);
    return QIcon(Picture);
}

} // namespace kelvalog
