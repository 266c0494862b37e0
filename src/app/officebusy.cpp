#include "app/officebusy.h"

#include "controls/panelstatusbar.h"
#include "link/dispatch/guibridge.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QInputEvent>

namespace kelvalog {

namespace {
constexpr int HintPanel = 1;
}

void TOfficeBusy::SetStatusBar(TPanelStatusBar* Bar)
{
    FStatusBar = Bar;
}

QString TOfficeBusy::ActivityText(TServerActivity Activity)
{
    return Activity == TServerActivity::Starting ? QStringLiteral("Starting LibreOffice Calc\u2026")
                                                 : QStringLiteral("Closing\u2026");
}

void TOfficeBusy::Begin(TServerActivity Activity)
{
    if (FDepth++ == 0) {
        if (FStatusBar && FStatusBar->PanelCount() > HintPanel)
            FSavedText = FStatusBar->Panel(HintPanel).Text;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(this);
    }
    if (FStatusBar && FStatusBar->PanelCount() > HintPanel)
        FStatusBar->setPanelText(HintPanel, ActivityText(Activity));
    Pump();
}

void TOfficeBusy::Pump()
{
    QCoreApplication::processEvents();
}

void TOfficeBusy::End()
{
    if (FDepth == 0 || --FDepth > 0)
        return;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    if (FStatusBar && FStatusBar->PanelCount() > HintPanel)
        FStatusBar->setPanelText(HintPanel, FSavedText);
    // The calls held back run once the handler that waited has returned.
    if (auto* Bridge = TGuiBridge::Instance()) {
        for (; FDeferredCalls > 0; --FDeferredCalls)
            QMetaObject::invokeMethod(Bridge, "RunNextCall", Qt::QueuedConnection);
    }
    FDeferredCalls = 0;
}

bool TOfficeBusy::eventFilter(QObject* Watched, QEvent* Event)
{
    // A board line would be decoded in the middle of the log's opening.
    if (Event->type() == QEvent::MetaCall && Watched == TGuiBridge::Instance()) {
        ++FDeferredCalls;
        return true;
    }
    // Clicks and keys while the cursor says "wait" are dropped, not saved up
    // for later: a second click on the log button would end the new log.
    if (dynamic_cast<QInputEvent*>(Event) != nullptr)
        return true;
    // The window cannot go while the office it waits for is half started.
    if (Event->type() == QEvent::Close && Watched->isWidgetType()) {
        Event->ignore();
        return true;
    }
    return QObject::eventFilter(Watched, Event);
}

} // namespace kelvalog
