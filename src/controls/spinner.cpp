#include "controls/spinner.h"

#include "controls/numericfield.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace kelvalog {

TSpinner::TSpinner(QWidget* Parent) : QWidget(Parent)
{
    setFocusPolicy(Qt::NoFocus);
    FElapsed.start();
    FClock = [this] { return static_cast<std::int64_t>(FElapsed.elapsed()); };
    FRepeatTimer.setSingleShot(true);
    QObject::connect(&FRepeatTimer, &QTimer::timeout, this, [this] { ProcessRepeat(); });
}

void TSpinner::setLimits(std::int32_t Min, std::int32_t Max)
{
    FMinValue = Min;
    FMaxValue = Max;
}

void TSpinner::setClock(std::function<std::int64_t()> Clock)
{
    FClock = std::move(Clock);
}

int TSpinner::GapAfterStep(int K) const
{
    return std::max(0, FDelayTime - 10 * FAcceleration * (K - 1));
}

TSpinner::THalf TSpinner::halfAt(const QPoint& Pos) const
{
    if (!rect().contains(Pos))
        return THalf::None;
    return Pos.y() < height() / 2 ? THalf::Up : THalf::Down;
}

void TSpinner::Step(THalf Direction)
{
    if (!FField || Direction == THalf::None)
        return;
    const std::optional<std::int32_t> content = FField->ContentAsInteger();
    if (!content)
        return;
    const std::int64_t current = *content;
    const std::int64_t delta = std::llround(FDelta);
    std::int64_t next = current;
    if (Direction == THalf::Up) {
        if (current >= FMaxValue)
            return;
        next = current + delta;
    } else {
        if (current <= FMinValue)
            return;
        next = current - delta;
    }
    next = std::clamp<std::int64_t>(next, FMinValue, FMaxValue);
    FField->StepTo(static_cast<std::int32_t>(next));
}

void TSpinner::ProcessRepeat()
{
    if (!FHeld || !FAutoRepeat || FUnder == THalf::None)
        return;
    const std::int64_t now = FClock();
    const int gap = GapAfterStep(FStepsMade);
    if (gap == 0 || now - FLastStepAt > gap) {
        ++FStepsMade;
        FLastStepAt = now;
        Step(FUnder);
    }
    scheduleRepeat();
}

void TSpinner::scheduleRepeat()
{
    if (!FHeld || !FAutoRepeat || FUnder == THalf::None) {
        FRepeatTimer.stop();
        return;
    }
    const int gap = GapAfterStep(FStepsMade);
    const std::int64_t wait = gap == 0 ? 0 : gap - (FClock() - FLastStepAt) + 1;
    FRepeatTimer.start(static_cast<int>(std::clamp<std::int64_t>(wait, 0, gap + 1)));
}

void TSpinner::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(Event);
        return;
    }
    const THalf half = halfAt(Event->position().toPoint());
    if (half == THalf::None)
        return;
    if (FField && !FField->hasFocus()) {
        FField->setFocus(Qt::MouseFocusReason);
        // The field that had the focus may have refused to let it go.
        if (!FField->hasFocus())
            return;
    }
    FHeld = true;
    FUnder = half;
    FStepsMade = 1;
    FLastStepAt = FClock();
    update();
    Step(half);
    scheduleRepeat();
}

void TSpinner::mouseMoveEvent(QMouseEvent* Event)
{
    if (!FHeld)
        return;
    const THalf half = halfAt(Event->position().toPoint());
    if (half == FUnder)
        return;
    FUnder = half;
    update();
    if (FUnder == THalf::None)
        FRepeatTimer.stop();
    else
        ProcessRepeat();
}

void TSpinner::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton || !FHeld)
        return;
    FHeld = false;
    FUnder = THalf::None;
    FRepeatTimer.stop();
    update();
}

void TSpinner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int h = height();
    const QRect up(0, 0, width(), h / 2);
    const QRect down(0, h / 2, width(), h - h / 2);
    const THalf pressed = PressedHalf();
    const QBrush face = palette().brush(QPalette::Button);
    qDrawWinButton(&p, up, palette(), pressed == THalf::Up, &face);
    qDrawWinButton(&p, down, palette(), pressed == THalf::Down, &face);

    const QColor arrow = isEnabled() ? palette().color(QPalette::ButtonText)
                                     : palette().color(QPalette::Disabled, QPalette::ButtonText);
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    const auto triangle = [&](const QRect& r, bool pointsUp, bool sunk) {
        const int cx = r.center().x() + (sunk ? 1 : 0);
        const int cy = r.center().y() + (sunk ? 1 : 0);
        const int half = std::max(2, std::min(r.width() / 4, r.height() / 3));
        QPolygon poly;
        if (pointsUp)
            poly << QPoint(cx - half, cy + half / 2) << QPoint(cx + half + 1, cy + half / 2)
                 << QPoint(cx, cy - half / 2 - 1);
        else
            poly << QPoint(cx - half, cy - half / 2) << QPoint(cx + half + 1, cy - half / 2)
                 << QPoint(cx, cy + half / 2 + 1);
        p.drawPolygon(poly);
    };
    triangle(up, true, pressed == THalf::Up);
    triangle(down, false, pressed == THalf::Down);
}

} // namespace kelvalog
