#pragma once

#include "link/dispatch/windowbridge.h"

#include <QObject>

namespace kelvalog {

// The bridge to the Qt GUI thread. Create it on the GUI thread (once, after the
// application object); it makes itself the default bridge of new dispatchers.
// Each call queued by a worker posts one queued invocation, so calls run in
// order, also inside a nested event loop (a modal message box), and a waiting
// worker is released only after the call, and the exception sink for what it
// threw, have returned. Worker-thread failures are shown in a critical
// message box on the GUI thread.
class TGuiBridge : public QObject, public TCallBridge
{
    Q_OBJECT
public:
    explicit TGuiBridge(QObject* Parent = nullptr);
    ~TGuiBridge() override;

    void ReportThreadFailure(const std::string& Message) override;

    // The bridge of the running application (null before one exists).
    static TGuiBridge* Instance();

protected:
    void JobQueued(const TJobPtr& Job) override;

private:
    // Invoked by name, so that the posted event stays inside Qt: an event
    // made here on a worker thread and read on the window thread is
    // synchronised only by Qt's own locks, which the thread sanitizer cannot
    // see.
    Q_INVOKABLE void RunNextCall();
};

} // namespace kelvalog
