#pragma once

// Vertical slider (Min at the bottom, Max at the top) with a raised thumb and
// tick marks. Position requests are quantised to Step and limited to
// Min..Max; OnChange fires for every request that differs from the current
// position after quantising - also when the limits keep the old position, and
// also for the program's own setPosition.
//
// Events (see controlenv.h): OnChange(Sender).

#include "controls/controlenv.h"

#include <QWidget>

namespace kelvalog {

class TSlider : public QWidget
{
public:
    explicit TSlider(QWidget* Parent = nullptr);

    double Min() const { return FMin; }
    double Max() const { return FMax; }
    double Step() const { return FStep; }
    double Position() const { return FPosition; }
    void setMin(double Value);
    void setMax(double Value);
    void setStep(double Value);
    // A request for a new position (see above).
    void setPosition(double Value);

    // Geometry of the drawing, in widget coordinates.
    QRect InnerRect() const;
    int ThumbThickness() const;
    QRect ThumbRect() const;

    QSize sizeHint() const override { return {20, 177}; }

    TNotifyEvent OnChange;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    int fromBottom(int Y) const;

    double FMin = 1.0;
    double FMax = 99.0;
    double FStep = 1.0;
    double FPosition = 1.0;
    bool FDragging = false;
    int FGrab = 0;
    int FWheelRest = 0;
};

} // namespace kelvalog
