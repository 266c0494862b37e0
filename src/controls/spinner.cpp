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
    elapsed_.start();
    clock_ = [this] { return static_cast<std::int64_t>(elapsed_.elapsed()); };
    repeatTimer_.setSingleShot(true);
    QObject::connect(&repeatTimer_, &QTimer::timeout, this, [this] { ProcessRepeat(); });
}

void TSpinner::setLimits(std::int32_t Min, std::int32_t Max)
{
    minValue_ = Min;
    maxValue_ = Max;
}

void TSpinner::setClock(std::function<std::int64_t()> Clock)
{
    clock_ = std::move(Clock);
}

int TSpinner::GapAfterStep(int K) const
{
    return std::max(0, delayTime_ - 10 * acceleration_ * (K - 1));
}

TSpinner::THalf TSpinner::halfAt(const QPoint& Pos) const
{
    if (!rect().contains(Pos))
        return THalf::None;
    return Pos.y() < height() / 2 ? THalf::Up : THalf::Down;
}

void TSpinner::Step(THalf Direction)
{
    if (!field_ || Direction == THalf::None)
        return;
    const std::optional<std::int32_t> content = field_->ContentAsInteger();
    if (!content)
        return;
    const std::int64_t current = *content;
    const std::int64_t delta = std::llround(delta_);
    std::int64_t next = current;
    if (Direction == THalf::Up) {
        if (current >= maxValue_)
            return;
        next = current + delta;
    } else {
        if (current <= minValue_)
            return;
        next = current - delta;
    }
    next = std::clamp<std::int64_t>(next, minValue_, maxValue_);
    field_->StepTo(static_cast<std::int32_t>(next));
}

void TSpinner::ProcessRepeat()
{
    if (!held_ || !autoRepeat_ || under_ == THalf::None)
        return;
    const std::int64_t now = clock_();
    const int gap = GapAfterStep(stepsMade_);
    if (gap == 0 || now - lastStepAt_ > gap) {
        ++stepsMade_;
        lastStepAt_ = now;
        Step(under_);
    }
    scheduleRepeat();
}

void TSpinner::scheduleRepeat()
{
    if (!held_ || !autoRepeat_ || under_ == THalf::None) {
        repeatTimer_.stop();
        return;
    }
    const int gap = GapAfterStep(stepsMade_);
    const std::int64_t wait = gap == 0 ? 0 : gap - (clock_() - lastStepAt_) + 1;
    repeatTimer_.start(static_cast<int>(std::clamp<std::int64_t>(wait, 0, gap + 1)));
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
    if (field_ && !field_->hasFocus()) {
        field_->setFocus(Qt::MouseFocusReason);
        // The field that had the focus may have refused to let it go.
        if (!field_->hasFocus())
            return;
    }
    held_ = true;
    under_ = half;
    stepsMade_ = 1;
    lastStepAt_ = clock_();
    update();
    Step(half);
    scheduleRepeat();
}

void TSpinner::mouseMoveEvent(QMouseEvent* Event)
{
    if (!held_)
        return;
    const THalf half = halfAt(Event->position().toPoint());
    if (half == under_)
        return;
    under_ = half;
    update();
    if (under_ == THalf::None)
        repeatTimer_.stop();
    else
        ProcessRepeat();
}

void TSpinner::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton || !held_)
        return;
    held_ = false;
    under_ = THalf::None;
    repeatTimer_.stop();
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
