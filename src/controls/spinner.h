#pragma once

// Up/down arrows stepping an attached integer field by Delta within
// MinValue..MaxValue (1..32767), without wrapping. A press first moves the
// focus into the field (and does nothing more when it cannot get it), steps
// once, and while the button is held repeats with gaps of DelayTime,
// DelayTime - 10 x Acceleration, ... down to 10 ms, then on every pass of the
// event loop; off the spinner the steps pause, over the other half they go
// the other way. Not a tab stop. The field raises its own OnChange per step.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace kelvalog {

class TNumericField;

class TSpinner : public QWidget
{
public:
    enum class THalf { None, Up, Down };

    explicit TSpinner(QWidget* Parent = nullptr);

    TNumericField* FocusedControl() const { return FField; }
    void setFocusedControl(TNumericField* Field) { FField = Field; }

    double Delta() const { return FDelta; }
    void setDelta(double Value) { FDelta = Value; }
    bool AutoRepeat() const { return FAutoRepeat; }
    void setAutoRepeat(bool On) { FAutoRepeat = On; }
    int DelayTime() const { return FDelayTime; }
    void setDelayTime(int Ms) { FDelayTime = Ms; }
    int Acceleration() const { return FAcceleration; }
    void setAcceleration(int Value) { FAcceleration = Value; }
    std::int32_t MinValue() const { return FMinValue; }
    std::int32_t MaxValue() const { return FMaxValue; }
    void setLimits(std::int32_t Min, std::int32_t Max);

    // Millisecond clock of the repeat; tests inject their own.
    void setClock(std::function<std::int64_t()> Clock);

    // The half under the held button (None when idle or paused).
    THalf PressedHalf() const { return FHeld ? FUnder : THalf::None; }
    // One step in a direction, as a press makes it.
    void Step(THalf Direction);
    // Makes the next repeat step when it is due (the repeat timer calls it).
    void ProcessRepeat();
    // Gap in ms that must be exceeded before step K + 1 (K from 1).
    int GapAfterStep(int K) const;

    QSize sizeHint() const override { return {16, 21}; }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    THalf halfAt(const QPoint& Pos) const;
    void scheduleRepeat();

    TNumericField* FField = nullptr;
    double FDelta = 1.0;
    bool FAutoRepeat = true;
    int FDelayTime = 200;
    int FAcceleration = 1;
    std::int32_t FMinValue = 1;
    std::int32_t FMaxValue = 32767;

    std::function<std::int64_t()> FClock;
    QElapsedTimer FElapsed;
    QTimer FRepeatTimer;
    bool FHeld = false;
    THalf FUnder = THalf::None;
    int FStepsMade = 0;
    std::int64_t FLastStepAt = 0;
};

} // namespace kelvalog
