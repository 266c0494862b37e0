#include "controls/digitalclock.h"

#include <QDateTime>
#include <QPaintEvent>
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
    source_ = [this] { return LocalTime(); };
    timer_.setInterval(500);
    // Exact, so that it keeps in step with a timer started beside it.
    timer_.setTimerType(Qt::PreciseTimer);
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

void TDigitalClock::RestartPeriod()
{
    if (active_)
        timer_.start();
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

QTime TDigitalClock::LocalTime()
{
    // Asking for the local time re-reads the time zone file each time; the
    // offset from UTC is taken once a minute instead, and a change of
    // daylight saving time always falls on a whole minute.
    constexpr qint64 MsPerMinute = 60'000;
    constexpr qint64 MsPerDay = 86'400'000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / MsPerMinute != offsetMinute_) {
        offsetMinute_ = now / MsPerMinute;
        offsetMs_ = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc() * qint64(1000);
    }
    const qint64 ofDay = ((now + offsetMs_) % MsPerDay + MsPerDay) % MsPerDay;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ofDay));
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
    const QString was = text_;
    text_ = QStringLiteral("%1:%2:%3")
                .arg(shownH_, 2, 10, QLatin1Char('0'))
                .arg(shownM_, 2, 10, QLatin1Char('0'))
                .arg(shownS_, 2, 10, QLatin1Char('0'));
    ++redraws_;
    // Mostly only the last digit changes: redrawing just the changed cells
    // keeps a clock that runs for days from costing a whole repaint a second.
    if (was.size() != text_.size()) {
        update();
        return;
    }
    for (int i = 0; i < text_.size(); ++i)
        if (was[i] != text_[i])
            update(CellRect(i));
}

QRect TDigitalClock::CellRect(int Index) const
{
    const QSize cell = CellSize();
    return {Index * cell.width(), 0, cell.width(), cell.height()};
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
    const double unit = size_ - 1;
    const double h = 1.5 * unit; // half the segment thickness
    const double gap = 0.75 * unit;
    const double left = Cell.x() + 3 * unit;
    const double right = Cell.x() + Cell.width() - 3 * unit;
    const double top = Cell.y() + 2 * unit;
    const double bottom = Cell.y() + Cell.height() - 2 * unit;
    const double mid = (top + bottom) / 2;
    const double xl = left + h; // centre lines of the vertical segments
    const double xr = right - h;
    const double yt = top + h; // centre lines of the horizontal segments
    const double yb = bottom - h;

    const auto horizontal = [&](double y) {
        const double a = xl + gap;
        const double b = xr - gap;
        return QPolygonF{{a, y}, {a + h, y - h}, {b - h, y - h},
                         {b, y}, {b - h, y + h}, {a + h, y + h}};
    };
    const auto vertical = [&](double x, double ya, double yb2) {
        const double a = ya + gap;
        const double b = yb2 - gap;
        return QPolygonF{{x, a}, {x + h, a + h}, {x + h, b - h},
                         {x, b}, {x - h, b - h}, {x - h, a + h}};
    };
    const std::array<QPolygonF, 7> segments = {
        horizontal(yt),        // a
        vertical(xr, yt, mid), // b
        vertical(xr, mid, yb), // c
        horizontal(yb),        // d
        vertical(xl, mid, yb), // e
        vertical(xl, yt, mid), // f
        horizontal(mid),       // g
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

int TDigitalClock::GlyphOf(int Index) const
{
    if (Index == 2 || Index == 5)
        return text_.isEmpty() ? EmptyGlyph : ColonGlyph;
    const int digit = text_.size() == 8 ? text_[Index].digitValue() : -1;
    return digit >= 0 && digit <= 9 ? digit : UnlitGlyph;
}

const QPixmap& TDigitalClock::Glyph(int Glyph)
{
    const TGlyphKey key{size_, onColor_.rgba(), offColor_.rgba(), bgColor_.rgba(),
                        devicePixelRatioF()};
    if (!(key == glyphKey_)) {
        glyphKey_ = key;
        glyphs_ = {};
    }
    QPixmap& glyph = glyphs_[static_cast<std::size_t>(Glyph)];
    if (glyph.isNull()) {
        const QRect cell({0, 0}, CellSize());
        glyph = QPixmap(cell.size() * key.Ratio);
        glyph.setDevicePixelRatio(key.Ratio);
        glyph.fill(bgColor_);
        QPainter p(&glyph);
        p.setRenderHint(QPainter::Antialiasing);
        if (Glyph == ColonGlyph)
            drawColon(p, cell);
        else if (Glyph != EmptyGlyph)
            drawDigit(p, cell, Glyph == UnlitGlyph ? -1 : Glyph);
    }
    return glyph;
}

void TDigitalClock::paintEvent(QPaintEvent* Event)
{
    QPainter p(this);
    const QRect cells(0, 0, CellSize().width() * 8, CellSize().height());
    // A widget laid out larger than its cells shows the background beyond.
    for (const QRect& r : QRegion(Event->rect()).subtracted(cells))
        p.fillRect(r, bgColor_);
    for (int i = 0; i < 8; ++i) {
        const QRect r = CellRect(i);
        if (Event->rect().intersects(r))
            p.drawPixmap(r.topLeft(), Glyph(GlyphOf(i)));
    }
}

} // namespace kelvalog
