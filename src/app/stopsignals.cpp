#include "app/stopsignals.h"

#include "app/messages.h"
#include "controls/controlenv.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kelvalog {

namespace {

constexpr int StopSignalList[] = {SIGTERM, SIGINT, SIGHUP};

// A signal handler can reach nothing but static storage: the pipe's two ends.
int PipeEnds[2] = {-1, -1};

void OnStopSignal(int Signal)
{
    const int SavedErrno = errno;
    // From now on a stop signal ends the program at once.
    struct sigaction Default = {};
    Default.sa_handler = SIG_DFL;
    for (const int S : StopSignalList)
        ::sigaction(S, &Default, nullptr);
    const auto Byte = static_cast<unsigned char>(Signal);
    [[maybe_unused]] const ssize_t Ignored = ::write(PipeEnds[1], &Byte, 1);
    errno = SavedErrno;
}

void WriteToStandardError(TMessageKind, const QString& Text)
{
    std::fprintf(stderr, "kelvalog: %s\n", Text.toLocal8Bit().constData());
}

} // namespace

TStopSignals::TStopSignals(std::function<void(int)> OnStop, QObject* Parent)
    : QObject(Parent), FOnStop(std::move(OnStop))
{
    if (PipeEnds[0] >= 0 || ::pipe2(PipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    FNotifier = new QSocketNotifier(PipeEnds[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { Received(); });
    struct sigaction Action = {};
    Action.sa_handler = OnStopSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    // Under a file size limit a log write must fail and be counted, not end
    // the program with its log unclosed.
    ::signal(SIGXFSZ, SIG_IGN);
    FInstalled = true;
    for (const int S : StopSignalList)
        FInstalled = ::sigaction(S, &Action, nullptr) == 0 && FInstalled;
}

TStopSignals::~TStopSignals()
{
    if (PipeEnds[0] < 0)
        return;
    struct sigaction Default = {};
    Default.sa_handler = SIG_DFL;
    for (const int S : StopSignalList)
        ::sigaction(S, &Default, nullptr);
    delete FNotifier;
    ::close(PipeEnds[0]);
    ::close(PipeEnds[1]);
    PipeEnds[0] = PipeEnds[1] = -1;
}

void TStopSignals::Received()
{
    unsigned char Byte = 0;
    if (::read(PipeEnds[0], &Byte, 1) != 1)
        return;
    FNotifier->setEnabled(false);
    if (FOnStop)
        FOnStop(Byte);
}

void CloseWithoutUser(QWidget& Window)
{
    SetMessageHook(WriteToStandardError);
    SetErrorBoxHook(
        [](QWidget*, const QString& Text) { WriteToStandardError(TMessageKind::Error, Text); });
    // A dialog waiting for the user would hold the close up indefinitely.
    for (int Guard = 0; Guard < 16; ++Guard) {
        QWidget* Modal = QApplication::activeModalWidget();
        if (!Modal || Modal == &Window)
            break;
        Modal->close();
    }
    if (Window.close() || Window.close())
        return;
    QCoreApplication::exit(1);
}

} // namespace kelvalog
