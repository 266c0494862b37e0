#include "link/dispatch/dispatcher.h"
#include "link/ui/guibridge.h"

#include "device_pty.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <iostream>

using namespace kelvalog;
using namespace std::chrono;

namespace {

// Runs the GUI thread's events until Condition holds or Limit passes.
template <class F> bool PumpUntil(F&& Condition, milliseconds Limit = 5s)
{
    const auto End = steady_clock::now() + Limit;
    while (!Condition()) {
        if (steady_clock::now() > End)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

int OpenPty(TBaseDispatcher& D, const std::string& Path)
{
    return D.OpenDevice(Path, 9600, 0, 8, 1, 4096, 4096, TLineOptions{});
}

// Ends the process if a test deadlocks, instead of waiting for the ctest limit.
class TWatchdog
{
public:
    explicit TWatchdog(seconds Limit)
        : FThread([this, Limit] {
              std::unique_lock Guard(FLock);
              if (!FDone.wait_for(Guard, Limit, [this] { return FStop; })) {
                  std::cerr << "deadlock: test did not finish\n";
                  std::_Exit(3);
              }
          })
    {
    }
    ~TWatchdog()
    {
        {
            std::lock_guard Guard(FLock);
            FStop = true;
        }
        FDone.notify_all();
        FThread.join();
    }

private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FStop = false;
    std::thread FThread;
};

} // namespace

TEST(GuiBridge, NotificationsReachTheGuiThreadInOrderWithTheirBytes)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    const auto Gui = std::this_thread::get_id();
    std::string Received;
    int OffThread = 0, HandOffs = 0;
    D.SetPortHandlerInstalled(true);
    D.RegisterWindowHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t LParam) {
        if (std::this_thread::get_id() != Gui)
            ++OffThread;
        if (Msg != msg::TriggerAvail || (LParam >> 16) != D.DispatcherNumber())
            return;
        std::string Bytes(Count, '\0');
        if (D.GetBlock(Bytes.data(), Count) == static_cast<int>(Count))
            Received += Bytes;
    });
    D.RegisterEventHandler(
        [&](std::uint32_t, std::uint32_t, std::uint32_t) {
            if (std::this_thread::get_id() != Gui)
                ++OffThread;
            ++HandOffs;
        },
        true);
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1); // the opening cleared it
    std::string Sent;
    for (int Line = 0; Line < 200; ++Line) {
        const std::string Text = "\n" + std::to_string(Line * 7) + ".25;T1\r";
        Sent += Text;
        Pty.Write(Text);
        if (Line % 20 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_TRUE(PumpUntil([&] { return Received.size() >= Sent.size(); }));
    EXPECT_EQ(Received, Sent);
    EXPECT_EQ(OffThread, 0);
    EXPECT_GT(HandOffs, 0);
    EXPECT_EQ(D.InBuffUsed(), 0);
}

TEST(GuiBridge, CallsKeepRunningInsideAModalMessageBox)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    D.SetPortHandlerInstalled(true);
    bool BoxOpen = false;
    int SeenInBox = 0;
    D.RegisterWindowHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg != msg::TriggerAvail)
            return;
        std::string Bytes(Count, '\0');
        D.GetBlock(Bytes.data(), Count);
        if (BoxOpen)
            ++SeenInBox;
    });
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1); // the opening cleared it
    QTimer Feeder;
    int Fed = 0;
    QObject::connect(&Feeder, &QTimer::timeout, [&] {
        Pty.Write("x");
        if (++Fed > 200 || SeenInBox >= 5)
            if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                Box->accept();
    });
    Feeder.start(10);
    QMessageBox Box(QMessageBox::Warning, "Kelvalog", "modal", QMessageBox::Ok);
    BoxOpen = true;
    Box.exec();
    BoxOpen = false;
    Feeder.stop();
    EXPECT_GE(SeenInBox, 5);
}

TEST(GuiBridge, ShutdownFromInsideAHandOffDefersWithoutDeadlock)
{
    TWatchdog Watchdog(30s);
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    auto D = std::make_unique<TSerialDispatcher>();
    int Calls = 0;
    bool SawWaiting = false;
    D->RegisterEventHandler(
        [&](std::uint32_t Msg, std::uint32_t, std::uint32_t) {
            if (Msg != msg::TriggerAvail)
                return;
            ++Calls;
            SawWaiting = D->WaitingForWindow() && D->InWindowCall();
            // What the port does when the window closes the link from inside
            // a framer event.
            D->ShutdownDevice();
        },
        true);
    int After = 0;
    D->RegisterProcHandler([&](std::uint32_t, std::uint32_t, std::uint32_t) { ++After; });
    ASSERT_EQ(OpenPty(*D, Pty.Path()), 0);
    D->SetDataAvailableThreshold(1);
    Pty.Write("abc");
    ASSERT_TRUE(PumpUntil([&] { return Calls == 1; }));
    EXPECT_TRUE(SawWaiting);
    EXPECT_TRUE(D->ClosePending());
    EXPECT_FALSE(D->IsOpen());
    Pty.Write("more");
    std::this_thread::sleep_for(100ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(After, 0) << "handlers after the event that closed the port were called";
    const auto Start = steady_clock::now();
    D.reset();
    EXPECT_LT(steady_clock::now() - Start, 2s);
}

TEST(GuiBridge, ShutdownWhileTheDispatchThreadWaitsForTheGuiRunsTheWaitingCall)
{
    TWatchdog Watchdog(30s);
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    std::atomic<int> Calls{0};
    D.RegisterEventHandler([&](std::uint32_t, std::uint32_t, std::uint32_t) { ++Calls; }, true);
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1); // the opening cleared it
    Pty.Write("abc");
    // No events processed: the dispatch thread stays blocked in its hand-off.
    ASSERT_TRUE(test::WaitUntil([&] { return D.WaitingForWindow(); }, 3s));
    D.ShutdownDevice();
    EXPECT_EQ(D.RunningThreadCount(), 0);
    EXPECT_EQ(Calls.load(), 1);
}

TEST(GuiBridge, SendPassesOverACallNotStartedInTime)
{
    TGuiBridge* Bridge = TGuiBridge::Instance();
    ASSERT_NE(Bridge, nullptr);
    std::atomic<bool> Ran{false};
    std::atomic<int> Result{-1};
    std::thread Worker([&] { Result = Bridge->Send([&] { Ran = true; }, 100) ? 1 : 0; });
    std::this_thread::sleep_for(300ms); // the GUI thread is busy
    Worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(Result.load(), 0);
    EXPECT_FALSE(Ran.load()) << "a passed-over call ran late";

    std::thread Second([&] { Result = Bridge->Send([&] { Ran = true; }, 3000) ? 1 : 0; });
    EXPECT_TRUE(PumpUntil([&] { return Result.load() == 1; }));
    Second.join();
    EXPECT_TRUE(Ran.load());
}

TEST(GuiBridge, DispatchThreadFailureIsShownOnTheGuiThread)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    D.RegisterProcHandler([](std::uint32_t Msg, std::uint32_t, std::uint32_t) {
        if (Msg == msg::TriggerAvail)
            throw std::runtime_error("decoder broke");
    });
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1); // the opening cleared it
    QString Shown;
    QTimer Closer;
    QObject::connect(&Closer, &QTimer::timeout, [&] {
        if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Shown = Box->text();
            Box->accept();
        }
    });
    Closer.start(10);
    Pty.Write("z");
    EXPECT_TRUE(PumpUntil([&] { return !Shown.isEmpty(); }));
    EXPECT_EQ(Shown, "decoder broke");
    EXPECT_TRUE(PumpUntil([&] { return D.RunningThreadCount() == 0; }));
}

TEST(GuiBridge, ExceptionOfAHandedOffCallGoesToTheSinkAndTheDispatcherGoesOn)
{
    TWatchdog Watchdog(30s);
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TGuiBridge* Bridge = TGuiBridge::Instance();
    std::vector<std::string> Sunk;
    Bridge->SetExceptionSink([&](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& E) {
            Sunk.push_back(E.what());
        }
    });
    TSerialDispatcher D;
    int Calls = 0;
    D.RegisterEventHandler(
        [&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
            if (Msg != msg::TriggerAvail)
                return;
            std::string Bytes(Count, '\0');
            D.GetBlock(Bytes.data(), Count);
            if (++Calls == 1)
                throw std::runtime_error("line rejected");
        },
        true);
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1);
    Pty.Write("a");
    ASSERT_TRUE(PumpUntil([&] { return Calls == 1; }));
    Pty.Write("b");
    EXPECT_TRUE(PumpUntil([&] { return Calls == 2; }));
    EXPECT_EQ(Sunk, std::vector<std::string>{"line rejected"});
    EXPECT_EQ(D.RunningThreadCount(), 4);
    Bridge->SetExceptionSink(nullptr);
}

int main(int argc, char** argv)
{
    QApplication App(argc, argv);
    TGuiBridge Bridge;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
