#include "controls/slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace kelvalog {

namespace {
constexpr int Margin = 2; // room for the focus frame
} // namespace

TSlider::TSlider(QWidget* Parent) : QWidget(Parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void TSlider::setMin(double Value)
{
    FMin = Value;
    update();
}

void TSlider::setMax(double Value)
{
    FMax = Value;
    update();
}

void TSlider::setStep(double Value)
{
    FStep = Value;
    update();
}

void TSlider::setPosition(double Value)
{
    double requested = Value;
    if (FStep > 0.0)
        requested = std::nearbyint(Value / FStep) * FStep; // ties to even
    if (!std::isfinite(requested) || requested == FPosition)
        return;
    FPosition = std::clamp(requested, std::min(FMin, FMax), std::max(FMin, FMax));
    update();
    // Also when the limits kept the old position.
    if (OnChange)
        OnChange(this);
}

QRect TSlider::InnerRect() const
{
    return rect().adjusted(Margin, Margin, -Margin, -Margin);
}

int TSlider::ThumbThickness() const
{
    int t = static_cast<int>(std::lround(0.08 * InnerRect().height()));
    if (t % 2 == 0)
        ++t;
    return std::max(t, 7);
}

QRect TSlider::ThumbRect() const
{
    const QRect inner = InnerRect();
    const int t = ThumbThickness();
    const int travel = inner.height() - t - 1;
    int offset = 0;
    if (FMax != FMin && travel > 0)
        offset = static_cast<int>(std::lround((FPosition - FMin) / (FMax - FMin) * travel));
    const int lower = inner.bottom() - offset;
    return QRect(inner.left(), lower - t + 1, inner.width(), t);
}

int TSlider::fromBottom(int Y) const
{
    return InnerRect().bottom() - Y;
}

void TSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect inner = InnerRect();
    const int t = ThumbThickness();
    const int travel = inner.height() - t - 1;

    // Groove down the middle.
    const int grooveX = inner.left() + inner.width() / 2 - 2;
    qDrawShadePanel(&p, QRect(grooveX, inner.top() + t / 2, 4, std::max(0, travel + 1)), palette(),
                    true, 1);

    // Ticks over the left quarter: one per step when far enough apart.
    p.setPen(palette().color(QPalette::WindowText));
    const int tickRight = inner.left() + std::max(1, inner.width() / 4) - 1;
    const double steps = FStep > 0.0 && FMax != FMin ? std::fabs(FMax - FMin) / FStep : 0.0;
    const double perStep = steps > 0.0 ? travel / steps : 0.0;
    const auto tickAt = [&](double offset) {
        const int y = inner.bottom() - static_cast<int>(std::lround(offset)) - t / 2;
        p.drawLine(inner.left(), y, tickRight, y);
    };
    if (travel > 0) {
        if (perStep >= 5.0) {
            for (int i = 0; i <= static_cast<int>(std::floor(steps + 1e-9)); ++i)
                tickAt(i * perStep);
        } else {
            for (int off = 0; off <= travel; off += 5)
                tickAt(off);
        }
    }

    const QRect thumb = ThumbRect();
    qDrawWinButton(&p, thumb, palette(), false, &palette().brush(QPalette::Button));

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(0, 0, -1, -1);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(option.rect);
    }
}

void TSlider::keyPressEvent(QKeyEvent* Event)
{
    const Qt::KeyboardModifiers mods = Event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (Event->key()) {
        case Qt::Key_Up:
            setPosition(FPosition + FStep);
            return;
        case Qt::Key_Down:
            setPosition(FPosition - FStep);
            return;
        case Qt::Key_End:
            setPosition(FMax);
            return;
        case Qt::Key_Home:
            setPosition(FMin);
            return;
        default:
            break;
        }
    }
    if (Event->text() == QLatin1String("+")) {
        setPosition(FPosition + FStep);
        return;
    }
    if (Event->text() == QLatin1String("-")) {
        setPosition(FPosition - FStep);
        return;
    }
    QWidget::keyPressEvent(Event);
}

void TSlider::wheelEvent(QWheelEvent* Event)
{
    FWheelRest += Event->angleDelta().y();
    while (FWheelRest >= 120) {
        FWheelRest -= 120;
        setPosition(FPosition + FStep);
    }
    while (FWheelRest <= -120) {
        FWheelRest += 120;
        setPosition(FPosition - FStep);
    }
    Event->accept();
}

void TSlider::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(Event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QRect thumb = ThumbRect();
    const int y = Event->position().toPoint().y();
    if (y >= thumb.top() && y <= thumb.bottom()) {
        FDragging = true;
        FGrab = fromBottom(y) - fromBottom(thumb.bottom());
    } else if (y < thumb.top()) {
        setPosition(FPosition + FStep);
    } else {
        setPosition(FPosition - FStep);
    }
}

void TSlider::mouseMoveEvent(QMouseEvent* Event)
{
    if (!FDragging)
        return;
    const QRect inner = InnerRect();
    const int t = ThumbThickness();
    const int travel = inner.height() - t - 1;
    if (travel <= 0)
        return;
    const int c =
        std::clamp(fromBottom(Event->position().toPoint().y()) - FGrab, 0, inner.height() - t);
    setPosition(FMin + (FMax - FMin) * c / travel);
}

void TSlider::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton)
        FDragging = false;
}

} // namespace kelvalog
