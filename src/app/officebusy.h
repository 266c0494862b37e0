#pragma once

#include "logging/automation/serverwait.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

namespace kelvalog {

class TPanelStatusBar;

// Keeps the window alive while the worksheet's office starts or quits: the
// status bar says what is going on, the cursor shows the wait, the window
// paints, its timers run and board lines are taken, decoded and shown as
// usual, while the user's clicks and keys are dropped. The window cannot be
// closed meanwhile; a close asked for by a stop signal waits for the end of
// the office's step (WhenIdle).
class TOfficeBusy : public QObject, public IServerWait
{
public:
    TOfficeBusy() = default;
    // The bar whose hint panel shows the activity.
    void SetStatusBar(TPanelStatusBar* Bar);

    void Begin(TServerActivity Activity) override;
    void Pump() override;
    void End() override;

    bool Busy() const { return FDepth > 0; }
    // Runs Call now when the office is not busy; otherwise from the event
    // loop once its step has ended (or timed out) and no other has begun.
    void WhenIdle(std::function<void()> Call);

    static QString ActivityText(TServerActivity Activity);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QPointer<TPanelStatusBar> FStatusBar;
    QString FSavedText;
    int FDepth = 0;
    std::vector<std::function<void()>> FWhenIdle;

    void RunWhenIdle();
};

} // namespace kelvalog
