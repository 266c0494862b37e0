#include "controls/dropdownlist.h"

#include <QAbstractItemView>
#include <QEvent>
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
    const int before = FIndexBeforeUser;
    FIndexBeforeUser = Index;
    if (Index != before && OnClick)
        OnClick(this);
}

void TDropDownList::showPopup()
{
    FIndexBeforeUser = currentIndex();
    FPopupOpen = true;
    QComboBox::showPopup();
    // The list can also close without hidePopup (a click outside it), so
    // watch the popup itself.
    QWidget* popup = view() ? view()->window() : nullptr;
    if (popup && popup != FWatchedPopup && popup != window()) {
        popup->installEventFilter(this);
        FWatchedPopup = popup;
    }
}

void TDropDownList::hidePopup()
{
    QComboBox::hidePopup();
    listClosed();
}

bool TDropDownList::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == FWatchedPopup && Event->type() == QEvent::Hide)
        listClosed();
    return QComboBox::eventFilter(Watched, Event);
}

void TDropDownList::listClosed()
{
    if (!FPopupOpen)
        return;
    FPopupOpen = false;
    // One more click, after the change that a pick makes.
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
    FIndexBeforeUser = currentIndex();
    QComboBox::keyPressEvent(Event);
}

void TDropDownList::wheelEvent(QWheelEvent* Event)
{
    FIndexBeforeUser = currentIndex();
    QComboBox::wheelEvent(Event);
}

} // namespace kelvalog
