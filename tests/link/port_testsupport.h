#pragma once

// Shared pieces of the port, framer, light and dialog tests: an application
// object that records the exceptions reaching it, and a ports folder of
// pseudo-terminals linked as COMn.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <exception>
#include <fcntl.h>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace porttest {

// The application's exception handler: every exception that escapes an event
// ends up here, as in the program.
class TTestApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* Receiver, QEvent* Event) override
    {
        try {
            return QApplication::notify(Receiver, Event);
        } catch (...) {
            Caught.push_back(std::current_exception());
            if (OnException)
                OnException(std::current_exception());
            return false;
        }
    }

    static TTestApplication* Instance() { return static_cast<TTestApplication*>(qApp); }

    std::vector<std::exception_ptr> Caught;
    std::function<void(std::exception_ptr)> OnException;
};

// Pseudo-terminals linked as COMn into a folder that KELVALOG_PORTS names.
class TPtyPorts
{
public:
    TPtyPorts()
    {
        if (!FDir.isValid())
            throw std::runtime_error("no temporary folder");
        ::setenv("KELVALOG_PORTS", FDir.path().toLocal8Bit().constData(), 1);
    }
    ~TPtyPorts()
    {
        for (auto& [N, Fd] : FMasters)
            if (Fd >= 0)
                ::close(Fd);
        ::unsetenv("KELVALOG_PORTS");
    }
    TPtyPorts(const TPtyPorts&) = delete;
    TPtyPorts& operator=(const TPtyPorts&) = delete;

    // Creates a pseudo-terminal and links it as COMn (replacing an old link).
    // Returns the far end.
    int Add(int N)
    {
        const int Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        const std::string Slave = ::ptsname(Master);
        const std::string Link = Path(N);
        ::unlink(Link.c_str());
        if (::symlink(Slave.c_str(), Link.c_str()) != 0)
            throw std::runtime_error("cannot link " + Link);
        if (FMasters.count(N) && FMasters[N] >= 0)
            ::close(FMasters[N]);
        FMasters[N] = Master;
        return Master;
    }

    // Closes the far end: the device hangs up.
    void Hangup(int N)
    {
        if (FMasters.count(N) && FMasters[N] >= 0) {
            ::close(FMasters[N]);
            FMasters[N] = -1;
        }
    }

    void Write(int N, const std::string& Bytes)
    {
        const char* P = Bytes.data();
        std::size_t Left = Bytes.size();
        while (Left > 0) {
            const auto W = ::write(FMasters.at(N), P, Left);
            if (W <= 0)
                throw std::runtime_error("pty write failed");
            P += W;
            Left -= static_cast<std::size_t>(W);
        }
    }

    std::string Path(int N) const
    {
        return QDir(FDir.path()).filePath(QStringLiteral("COM%1").arg(N)).toStdString();
    }

private:
    QTemporaryDir FDir;
    std::map<int, int> FMasters;
};

} // namespace porttest

// main() of a test program: the application object and the window bridge
// exist for every test.
#define PORTTEST_MAIN()                                                                            \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        porttest::TTestApplication App(argc, argv);                                                \
        kelvalog::TGuiBridge Bridge;                                                               \
        kelvalog::UsePortDialogAsPrompt();                                                         \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }

#include "common/tickclock.h"
#include "link/ui/comselectform.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace porttest {

// Runs the event loop until Done() holds or TimeoutMs have passed; true when
// it held.
inline bool WaitFor(const std::function<bool()>& Done, int TimeoutMs = 5000)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done()) {
        if (Clock.elapsed() > TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

// Runs the event loop for Ms milliseconds; true when Holds() held throughout.
// For checks that something does NOT happen yet.
inline bool HoldsFor(const std::function<bool()>& Holds, int Ms)
{
    QElapsedTimer Clock;
    Clock.start();
    while (Clock.elapsed() < Ms) {
        if (!Holds())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return Holds();
}

// The serial layer's tick clock, moved by hand while it lives. Set it before
// the port opens: a dispatcher takes the clock of its creation.
class THandTicks
{
public:
    THandTicks() : FClock(100000 * kelvalog::TickMilliseconds + 20)
    {
        kelvalog::SetTickClock(&FClock);
    }
    ~THandTicks() { kelvalog::SetTickClock(nullptr); }
    THandTicks(const THandTicks&) = delete;
    THandTicks& operator=(const THandTicks&) = delete;
    void Advance(std::uint32_t Ticks) { FClock.AdvanceTicks(Ticks); }

private:
    kelvalog::TManualTickClock FClock;
};

// Answers every port dialog that comes up while it lives, with Answer.
class TDialogAnswerer
{
public:
    explicit TDialogAnswerer(std::function<void(kelvalog::TComSelectForm*)> Answer)
        : FAnswer(std::move(Answer))
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto* Form = qobject_cast<kelvalog::TComSelectForm*>(QApplication::activeModalWidget());
            if (!Form || Form == FLast)
                return;
            FLast = Form;
            ++Shown;
            Lists.push_back({});
            // The numbers listed; the entries also show their devices.
            for (int I = 0; I < Form->PortsComboBox->count(); ++I)
                Lists.back().push_back("COM" +
                                       std::to_string(Form->PortsComboBox->itemData(I).toInt()));
            FAnswer(Form);
        });
        FTimer.start();
    }

    int Shown = 0;
    std::vector<std::vector<std::string>> Lists;

    static void Choose(kelvalog::TComSelectForm* Form, const QString& Port)
    {
        Form->PortsComboBox->setCurrentIndex(Form->IndexOfNumber(Port.mid(3).toInt()));
        Form->OkBtn->click();
    }

private:
    std::function<void(kelvalog::TComSelectForm*)> FAnswer;
    QTimer FTimer;
    QPointer<kelvalog::TComSelectForm> FLast;
};

} // namespace porttest
