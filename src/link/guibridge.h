#pragma once

#include "link/windowbridge.h"

#include <QObject>

namespace kelvalog {

// The bridge to the Qt GUI thread. Create it on the GUI thread (once, after the
// application object); it makes itself the default bridge of new dispatchers.
// Every call is posted as an event of its own, so calls run in order, also
// inside a nested event loop (a modal message box); a hand-off counts as done
// once the event has been delivered and destroyed, i.e. after the
// application's notify() returned. Worker exceptions are shown in a critical
// message box on the GUI thread.
class TGuiBridge : public QObject, public TCallBridge
{
    Q_OBJECT
public:
    explicit TGuiBridge(QObject* Parent = nullptr);
    ~TGuiBridge() override;

    void ReportException(std::exception_ptr Error) override;

    // The bridge of the running application (null before one exists).
    static TGuiBridge* Instance();

protected:
    void JobQueued(const TJobPtr& Job) override;
    bool event(QEvent* Event) override;
};

} // namespace kelvalog
