#include "controls/dropdownlist.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QWheelEvent>

namespace kelvalog {

TDropDownList::TDropDownList(QWidget* Parent) : QComboBox(Parent)
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    // "activated" comes only from the user; the program's writes give
    // currentIndexChanged alone and stay quiet.
    QObject::connect(this, &QComboBox::activated, this, [this](int i) { activatedByUser(i); });
}

void TDropDownList::activatedByUser(int Index)
{
    const int before = indexBeforeUser_;
    indexBeforeUser_ = Index;
    if (Index != before && OnClick)
        OnClick(this);
}

void TDropDownList::showPopup()
{
    indexBeforeUser_ = currentIndex();
    popupOpen_ = true;
    QComboBox::showPopup();
}

void TDropDownList::hidePopup()
{
    QComboBox::hidePopup();
    if (!popupOpen_)
        return;
    popupOpen_ = false;
    // The list closed: one more click, after the change that a pick makes.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (currentIndex() >= 0 && OnClick)
                OnClick(this);
        },
        Qt::QueuedConnection);
}

void TDropDownList::keyPressEvent(QKeyEvent* Event)
{
    indexBeforeUser_ = currentIndex();
    QComboBox::keyPressEvent(Event);
}

void TDropDownList::wheelEvent(QWheelEvent* Event)
{
    indexBeforeUser_ = currentIndex();
    QComboBox::wheelEvent(Event);
}

} // namespace kelvalog
