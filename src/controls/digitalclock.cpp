#include "controls/digitalclock.h"

#include <QPainter>

#include <algorithm>
#include <array>

namespace kelvalog {

namespace {
// Segments a..g (top, upper right, lower right, bottom, lower left, upper
// left, middle) lit for each digit.
constexpr std::array<unsigned char, 10> SegmentsOf = {
    0b0111111, 0b0000110, 0b1011011, 0b1001111, 0b1100110,
    0b1101101, 0b1111101, 0b0000111, 0b1111111, 0b1101111,
};
} // namespace

TDigitalClock::TDigitalClock(QWidget* Parent) : QWidget(Parent)
{
    onColor_ = palette().color(QPalette::ButtonText);
    offColor_ = palette().color(QPalette::Button);
    bgColor_ = palette().color(QPalette::Button);
    source_ = [] { return QTime::currentTime(); };
    timer_.setInterval(500);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TDigitalClock::setActive(bool On)
{
    active_ = On;
    if (On) {
        Tick();
        timer_.start();
    } else {
        timer_.stop();
    }
}

void TDigitalClock::setSize(int Size)
{
    size_ = std::max(2, Size);
    updateGeometry();
    update();
}

void TDigitalClock::setOnColor(const QColor& C)
{
    onColor_ = C;
    update();
}

void TDigitalClock::setOffColor(const QColor& C)
{
    offColor_ = C;
    update();
}

void TDigitalClock::setBgColor(const QColor& C)
{
    bgColor_ = C;
    update();
}

void TDigitalClock::setTimeSource(std::function<QTime()> Source)
{
    source_ = std::move(Source);
}

void TDigitalClock::Tick()
{
    const QTime now = source_();
    if (!now.isValid())
        return;
    if (now.hour() == shownH_ && now.minute() == shownM_ && now.second() == shownS_)
        return;
    shownH_ = now.hour();
    shownM_ = now.minute();
    shownS_ = now.second();
    text_ = QStringLiteral("%1:%2:%3")
                .arg(shownH_, 2, 10, QLatin1Char('0'))
                .arg(shownM_, 2, 10, QLatin1Char('0'))
                .arg(shownS_, 2, 10, QLatin1Char('0'));
    ++redraws_;
    update();
}

QSize TDigitalClock::CellSize() const
{
    return {17 * (size_ - 1), 30 * (size_ - 1)};
}

QSize TDigitalClock::sizeHint() const
{
    const QSize cell = CellSize();
    return {cell.width() * 8, cell.height()};
}

void TDigitalClock::drawDigit(QPainter& P, const QRect& Cell, int Digit) const
{
    const int unit = size_ - 1;
    const int th = 3 * unit;               // segment thickness
    const int x0 = Cell.left() + 2 * unit; // outer edges of the digit
    const int x1 = Cell.right() - 2 * unit;
    const int y0 = Cell.top() + 2 * unit;
    const int y1 = Cell.bottom() - 2 * unit;
    const int ym = (y0 + y1) / 2;
    const int h = th / 2;

    const auto horizontal = [&](int y) {
        QPolygon poly;
        poly << QPoint(x0 + 1, y) << QPoint(x0 + 1 + h, y - h) << QPoint(x1 - 1 - h, y - h)
             << QPoint(x1 - 1, y) << QPoint(x1 - 1 - h, y + h) << QPoint(x0 + 1 + h, y + h);
        return poly;
    };
    const auto vertical = [&](int x, int ya, int yb) {
        QPolygon poly;
        poly << QPoint(x, ya + 1) << QPoint(x + h, ya + 1 + h) << QPoint(x + h, yb - 1 - h)
             << QPoint(x, yb - 1) << QPoint(x - h, yb - 1 - h) << QPoint(x - h, ya + 1 + h);
        return poly;
    };
    const std::array<QPolygon, 7> segments = {
        horizontal(y0 + h),           // a
        vertical(x1 - h, y0 + h, ym), // b
        vertical(x1 - h, ym, y1 - h), // c
        horizontal(y1 - h),           // d
        vertical(x0 + h, ym, y1 - h), // e
        vertical(x0 + h, y0 + h, ym), // f
        horizontal(ym),               // g
    };
    const unsigned lit = Digit >= 0 && Digit <= 9 ? SegmentsOf[static_cast<std::size_t>(Digit)] : 0;
    P.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        P.setBrush((lit >> i) & 1U ? onColor_ : offColor_);
        P.drawPolygon(segments[i]);
    }
}

void TDigitalClock::drawColon(QPainter& P, const QRect& Cell) const
{
    const int unit = size_ - 1;
    const int dot = 3 * unit;
    const int x = Cell.center().x() - dot / 2;
    P.setPen(Qt::NoPen);
    P.setBrush(onColor_);
    P.drawRect(x, Cell.top() + Cell.height() / 3 - dot / 2, dot, dot);
    P.drawRect(x, Cell.top() + 2 * Cell.height() / 3 - dot / 2, dot, dot);
}

void TDigitalClock::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), bgColor_);
    const QSize cell = CellSize();
    for (int i = 0; i < 8; ++i) {
        const QRect r(i * cell.width(), 0, cell.width(), cell.height());
        if (i == 2 || i == 5) {
            if (!text_.isEmpty())
                drawColon(p, r);
        } else {
            const int digit = text_.size() == 8 ? text_[i].digitValue() : -1;
            drawDigit(p, r, digit);
        }
    }
}

} // namespace kelvalog
