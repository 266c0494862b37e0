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

    bool Active() const { return FActive; }
    void SetActive(bool On);

    int Size() const { return FSize; }
    void SetSize(int Size);
    QColor OnColor() const { return FOnColor; }
    QColor OffColor() const { return FOffColor; }
    QColor BgColor() const { return FBgColor; }
    void SetOnColor(const QColor& C);
    void SetOffColor(const QColor& C);
    void SetBgColor(const QColor& C);

    // Source of the time of day; tests inject their own.
    void SetTimeSource(std::function<QTime()> Source);
    // What the timer does every 500 ms.
    void Tick();
    // Starts the 500 ms period anew from now: a timer of whole seconds
    // started at the same moment then wakes the program together with it.
    void RestartPeriod();

    // The shown text, "hh:mm:ss" (empty before the first tick).
    QString Text() const { return FText; }
    // How many times the display was changed (and a redraw requested).
    int RedrawCount() const { return FRedraws; }

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
    void DrawDigit(class QPainter& P, const QRect& Cell, int Digit) const;
    void DrawColon(class QPainter& P, const QRect& Cell) const;

    bool FActive = false;
    int FSize = 2;
    QColor FOnColor;
    QColor FOffColor;
    QColor FBgColor;
    std::function<QTime()> FSource;
    qint64 FOffsetMinute = -1; // the minute FOffsetMs was taken in
    qint64 FOffsetMs = 0;      // local time minus UTC
    QTimer FTimer;
    QString FText;
    int FShownH = -1, FShownM = -1, FShownS = -1;
    int FRedraws = 0;
    // Drawn once per size and colours, then copied: filling the antialiased
    // segments at every change cost more than all else the idle window does.
    TGlyphKey FGlyphKey;
    std::array<QPixmap, 13> FGlyphs;
};

} // namespace kelvalog
