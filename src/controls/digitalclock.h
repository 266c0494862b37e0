#pragma once

// Seven-segment clock of the time of day, "hh:mm:ss" in 24 hours. While
// Active a 500 ms timer reads the time; the clock is redrawn only when hour,
// minute or second differ from the shown ones. Eight cells of
// 17 x (Size - 1) by 30 x (Size - 1) pixels.

#include <QColor>
#include <QPixmap>
#include <QTime>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

namespace kelvalog {

class TDigitalClock : public QWidget
{
public:
    explicit TDigitalClock(QWidget* Parent = nullptr);

    bool Active() const { return active_; }
    void setActive(bool On);

    int Size() const { return size_; }
    void setSize(int Size);
    QColor OnColor() const { return onColor_; }
    QColor OffColor() const { return offColor_; }
    QColor BgColor() const { return bgColor_; }
    void setOnColor(const QColor& C);
    void setOffColor(const QColor& C);
    void setBgColor(const QColor& C);

    // Source of the time of day; tests inject their own.
    void setTimeSource(std::function<QTime()> Source);
    // What the timer does every 500 ms.
    void Tick();
    // Starts the 500 ms period anew from now: a timer of whole seconds
    // started at the same moment then wakes the program together with it.
    void RestartPeriod();

    // The shown text, "hh:mm:ss" (empty before the first tick).
    QString Text() const { return text_; }
    // How many times the display was changed (and a redraw requested).
    int RedrawCount() const { return redraws_; }

    QSize CellSize() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    // The pictures a cell can show: digits 0 to 9, a digit with no segment
    // lit, the colon, an empty cell.
    static constexpr int UnlitGlyph = 10;
    static constexpr int ColonGlyph = 11;
    static constexpr int EmptyGlyph = 12;
    struct TGlyphKey
    {
        int Size = 0;
        QRgb On = 0, Off = 0, Bg = 0;
        qreal Ratio = 0;
        bool operator==(const TGlyphKey&) const = default;
    };

    QTime LocalTime();
    QRect CellRect(int Index) const;
    int GlyphOf(int Index) const;
    const QPixmap& Glyph(int Glyph);
    void drawDigit(class QPainter& P, const QRect& Cell, int Digit) const;
    void drawColon(class QPainter& P, const QRect& Cell) const;

    bool active_ = false;
    int size_ = 2;
    QColor onColor_;
    QColor offColor_;
    QColor bgColor_;
    std::function<QTime()> source_;
    qint64 offsetMinute_ = -1; // the minute offsetMs_ was taken in
    qint64 offsetMs_ = 0;      // local time minus UTC
    QTimer timer_;
    QString text_;
    int shownH_ = -1, shownM_ = -1, shownS_ = -1;
    int redraws_ = 0;
    // Drawn once per size and colours, then copied: filling the antialiased
    // segments at every change cost more than all else the idle window does.
    TGlyphKey glyphKey_;
    std::array<QPixmap, 13> glyphs_;
};

} // namespace kelvalog
