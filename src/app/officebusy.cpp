#include "app/officebusy.h"

#include "controls/panelstatusbar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QInputEvent>
#include <QTimer>

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
    // From the event loop: the handler that waited returns first.
    if (!FWhenIdle.empty())
        QTimer::singleShot(0, this, [this] { RunWhenIdle(); });
}

void TOfficeBusy::WhenIdle(std::function<void()> Call)
{
    if (FDepth == 0) {
        Call();
        return;
    }
    FWhenIdle.push_back(std::move(Call));
}

void TOfficeBusy::RunWhenIdle()
{
    // A call may find the office busy again (the next step of its start).
    auto Calls = std::move(FWhenIdle);
    FWhenIdle.clear();
    for (auto& Call : Calls)
        WhenIdle(std::move(Call));
}

bool TOfficeBusy::eventFilter(QObject* Watched, QEvent* Event)
{
    // Board lines are not held back: bytes waiting in the input queue for a
    // window that waits for the office would age there and be dropped.
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
