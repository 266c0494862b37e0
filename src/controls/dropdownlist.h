#pragma once

// Pick-only drop-down list (fixed items, no typing, no recent-items list).
//
// Events (see controlenv.h): OnClick(Sender) when the user changes the
// selection (list, keys or wheel), and once more when the opened list closes
// with an item selected (queued, so it follows the change). Writing the item
// index from the program (setItemIndex, or QComboBox::setCurrentIndex)
// raises nothing.

#include "controls/controlenv.h"

#include <QComboBox>

namespace kelvalog {

class TDropDownList : public QComboBox
{
public:
    explicit TDropDownList(QWidget* Parent = nullptr);

    int ItemIndex() const { return currentIndex(); }
    void setItemIndex(int Index) { setCurrentIndex(Index); }

    void showPopup() override;
    void hidePopup() override;

    TNotifyEvent OnClick;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;

private:
    void activatedByUser(int Index);

    void listClosed();

    int FIndexBeforeUser = -1;
    bool FPopupOpen = false;
    QWidget* FWatchedPopup = nullptr;
};

} // namespace kelvalog
