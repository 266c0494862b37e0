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
    FOnColor = palette().color(QPalette::ButtonText);
    FOffColor = palette().color(QPalette::Button);
    FBgColor = palette().color(QPalette::Button);
    FSource = [this] { return LocalTime(); };
    FTimer.setInterval(500);
    // Exact, so that it keeps in step with a timer started beside it.
    FTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, this, [this] { Tick(); });
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TDigitalClock::SetActive(bool On)
{
    FActive = On;
    if (On) {
        Tick();
        FTimer.start();
    } else {
        FTimer.stop();
    }
}

void TDigitalClock::RestartPeriod()
{
    if (FActive)
        FTimer.start();
}

void TDigitalClock::SetSize(int Size)
{
    FSize = std::max(2, Size);
    updateGeometry();
    update();
}

void TDigitalClock::SetOnColor(const QColor& C)
{
    FOnColor = C;
    update();
}

void TDigitalClock::SetOffColor(const QColor& C)
{
    FOffColor = C;
    update();
}

void TDigitalClock::SetBgColor(const QColor& C)
{
    FBgColor = C;
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
    if (now / MsPerMinute != FOffsetMinute) {
        FOffsetMinute = now / MsPerMinute;
        FOffsetMs = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc() * qint64(1000);
    }
    const qint64 ofDay = ((now + FOffsetMs) % MsPerDay + MsPerDay) % MsPerDay;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ofDay));
}

void TDigitalClock::SetTimeSource(std::function<QTime()> Source)
{
    FSource = std::move(Source);
}

void TDigitalClock::Tick()
{
    const QTime now = FSource();
    if (!now.isValid())
        return;
    if (now.hour() == FShownH && now.minute() == FShownM && now.second() == FShownS)
        return;
    FShownH = now.hour();
    FShownM = now.minute();
    FShownS = now.second();
    const QString was = FText;
    FText = QStringLiteral("%1:%2:%3")
                .arg(FShownH, 2, 10, QLatin1Char('0'))
                .arg(FShownM, 2, 10, QLatin1Char('0'))
                .arg(FShownS, 2, 10, QLatin1Char('0'));
    ++FRedraws;
    // Mostly only the last digit changes: redrawing just the changed cells
    // keeps a clock that runs for days from costing a whole repaint a second.
    if (was.size() != FText.size()) {
        update();
        return;
    }
    for (int i = 0; i < FText.size(); ++i)
        if (was[i] != FText[i])
            update(CellRect(i));
}

QRect TDigitalClock::CellRect(int Index) const
{
    const QSize cell = CellSize();
    return {Index * cell.width(), 0, cell.width(), cell.height()};
}

QSize TDigitalClock::CellSize() const
{
    return {17 * (FSize - 1), 30 * (FSize - 1)};
}

QSize TDigitalClock::sizeHint() const
{
    const QSize cell = CellSize();
    return {cell.width() * 8, cell.height()};
}

void TDigitalClock::DrawDigit(QPainter& P, const QRect& Cell, int Digit) const
{
    const double unit = FSize - 1;
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
        P.setBrush((lit >> i) & 1U ? FOnColor : FOffColor);
        P.drawPolygon(segments[i]);
    }
}

void TDigitalClock::DrawColon(QPainter& P, const QRect& Cell) const
{
    const int unit = FSize - 1;
    const int dot = 3 * unit;
    const int x = Cell.center().x() - dot / 2;
    P.setPen(Qt::NoPen);
    P.setBrush(FOnColor);
    P.drawRect(x, Cell.top() + Cell.height() / 3 - dot / 2, dot, dot);
    P.drawRect(x, Cell.top() + 2 * Cell.height() / 3 - dot / 2, dot, dot);
}

int TDigitalClock::GlyphOf(int Index) const
{
    if (Index == 2 || Index == 5)
        return FText.isEmpty() ? EmptyGlyph : ColonGlyph;
    const int digit = FText.size() == 8 ? FText[Index].digitValue() : -1;
    return digit >= 0 && digit <= 9 ? digit : UnlitGlyph;
}

const QPixmap& TDigitalClock::Glyph(int Glyph)
{
    const TGlyphKey key{FSize, FOnColor.rgba(), FOffColor.rgba(), FBgColor.rgba(),
                        devicePixelRatioF()};
    if (!(key == FGlyphKey)) {
        FGlyphKey = key;
        FGlyphs = {};
    }
    QPixmap& glyph = FGlyphs[static_cast<std::size_t>(Glyph)];
    if (glyph.isNull()) {
        const QRect cell({0, 0}, CellSize());
        glyph = QPixmap(cell.size() * key.Ratio);
        glyph.setDevicePixelRatio(key.Ratio);
        glyph.fill(FBgColor);
        QPainter p(&glyph);
        p.setRenderHint(QPainter::Antialiasing);
        if (Glyph == ColonGlyph)
            DrawColon(p, cell);
        else if (Glyph != EmptyGlyph)
            DrawDigit(p, cell, Glyph == UnlitGlyph ? -1 : Glyph);
    }
    return glyph;
}

void TDigitalClock::paintEvent(QPaintEvent* Event)
{
    QPainter p(this);
    const QRect cells(0, 0, CellSize().width() * 8, CellSize().height());
    // A widget laid out larger than its cells shows the background beyond.
    for (const QRect& r : QRegion(Event->rect()).subtracted(cells))
        p.fillRect(r, FBgColor);
    for (int i = 0; i < 8; ++i) {
        const QRect r = CellRect(i);
        if (Event->rect().intersects(r))
            p.drawPixmap(r.topLeft(), Glyph(GlyphOf(i)));
    }
}

} // namespace kelvalog
