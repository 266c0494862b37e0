#pragma once

// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, a closed terminal) close the
// window through its normal close path: the log is closed, the link goes off
// line and the settings are written. A second stop signal ends the program at
// once. The signal handler only writes a byte to a pipe; the window thread
// reads it through a socket notifier and does the rest. SIGXFSZ is ignored,
// so that a write beyond a file size limit fails instead of ending the
// program.

#include <QObject>

#include <functional>

class QSocketNotifier;
class QWidget;

namespace kelvalog {

class TStopSignals : public QObject
{
public:
    // OnStop runs on the thread that created the object, once, after the
    // first stop signal. Only one instance may exist at a time.
    explicit TStopSignals(std::function<void(int Signal)> OnStop, QObject* Parent = nullptr);
    ~TStopSignals() override;
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    bool Installed() const { return FInstalled; }

private:
    std::function<void(int)> FOnStop;
    QSocketNotifier* FNotifier = nullptr;
    bool FInstalled = false;

    void Received();
};

// Closes Window as its close box would, without any box waiting for a user:
// open modal dialogs are dismissed first and messages go to standard error.
// A close refused once (a log that failed to close) is asked again; a window
// that still refuses ends the event loop.
void CloseWithoutUser(QWidget& Window);

} // namespace kelvalog
