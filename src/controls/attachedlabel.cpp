#include "controls/attachedlabel.h"

#include <QEvent>
#include <QVariant>

namespace kelvalog {

namespace {
const char* const LabelProperty = "kelvalogAttachedLabel";
} // namespace

TAttachedLabel::TAttachedLabel(const QString& Caption, QWidget* Parent) : QLabel(Caption, Parent)
{
    adjustSize();
}

TAttachedLabel::~TAttachedLabel()
{
    if (control_) {
        control_->removeEventFilter(this);
        control_->setProperty(LabelProperty, QVariant());
    }
}

void TAttachedLabel::setControl(QWidget* Control, const TLabelInfo& Info)
{
    if (control_) {
        control_->removeEventFilter(this);
        control_->setProperty(LabelProperty, QVariant());
    }
    control_ = Control;
    info_ = Info;
    if (control_) {
        control_->setProperty(LabelProperty, QVariant::fromValue(static_cast<QObject*>(this)));
        control_->installEventFilter(this);
    }
    Follow();
}

void TAttachedLabel::setLabelInfo(const TLabelInfo& Info)
{
    info_ = Info;
    Follow();
}

TAttachedLabel* TAttachedLabel::LabelOf(const QWidget* Control)
{
    if (!Control)
        return nullptr;
    const QVariant v = Control->property(LabelProperty);
    return v.isValid() ? dynamic_cast<TAttachedLabel*>(v.value<QObject*>()) : nullptr;
}

void TAttachedLabel::Follow()
{
    if (!control_)
        return;
    QPoint topLeft = control_->pos();
    if (control_->parentWidget() != parentWidget() && parentWidget() && control_->parentWidget())
        topLeft = parentWidget()->mapFromGlobal(control_->parentWidget()->mapToGlobal(topLeft));
    move(topLeft.x() + info_.OffsetX, topLeft.y() + info_.OffsetY - height());
    setVisible(info_.Visible && !control_->isHidden());
}

bool TAttachedLabel::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == control_) {
        switch (Event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
        case QEvent::ParentChange:
            Follow();
            break;
        default:
            break;
        }
    }
    return QLabel::eventFilter(Watched, Event);
}

} // namespace kelvalog
