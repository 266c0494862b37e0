#pragma once

#include "logging/automation/serverwait.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace kelvalog {

class TPanelStatusBar;

// Keeps the window alive while the worksheet's office starts or quits: the
// status bar says what is going on, the cursor shows the wait, the window
// paints and its timers run, while the user's clicks and keys are dropped.
// Board lines handed over meanwhile are decoded afterwards, in their order;
// the window cannot be closed meanwhile.
class TOfficeBusy : public QObject, public IServerWait
{
public:
    TOfficeBusy() = default;
    // The bar whose hint panel shows the activity.
    void SetStatusBar(TPanelStatusBar* Bar);

    void Begin(TServerActivity Activity) override;
    void Pump() override;
    void End() override;

    static QString ActivityText(TServerActivity Activity);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QPointer<TPanelStatusBar> FStatusBar;
    QString FSavedText;
    int FDepth = 0;
    int FDeferredCalls = 0;
};

} // namespace kelvalog
