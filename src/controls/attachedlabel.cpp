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
    if (FControl) {
        FControl->removeEventFilter(this);
        FControl->setProperty(LabelProperty, QVariant());
    }
}

void TAttachedLabel::setControl(QWidget* Control, const TLabelInfo& Info)
{
    if (FControl) {
        FControl->removeEventFilter(this);
        FControl->setProperty(LabelProperty, QVariant());
    }
    FControl = Control;
    FInfo = Info;
    if (FControl) {
        FControl->setProperty(LabelProperty, QVariant::fromValue(static_cast<QObject*>(this)));
        FControl->installEventFilter(this);
    }
    Follow();
}

void TAttachedLabel::setLabelInfo(const TLabelInfo& Info)
{
    FInfo = Info;
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
    if (!FControl)
        return;
    QPoint topLeft = FControl->pos();
    if (FControl->parentWidget() != parentWidget() && parentWidget() && FControl->parentWidget())
        topLeft = parentWidget()->mapFromGlobal(FControl->parentWidget()->mapToGlobal(topLeft));
    move(topLeft.x() + FInfo.OffsetX, topLeft.y() + FInfo.OffsetY - height());
    setVisible(FInfo.Visible && !FControl->isHidden());
}

bool TAttachedLabel::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == FControl) {
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
