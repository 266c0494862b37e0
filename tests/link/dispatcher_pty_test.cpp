#include "common/linkerror.h"
#include "link/dispatch/dispatcher.h"

#include "device_pty.h"
#include "iqueueprobe.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <iostream>

using namespace kelvalog;
using namespace std::chrono;
using test::WaitUntil;

namespace {

int OpenPty(TBaseDispatcher& D, const std::string& Path)
{
    return D.OpenDevice(Path, 9600, 0, 8, 1, 4096, 4096, TLineOptions{});
}

double ProcessCpuMs()
{
    rusage Usage{};
    ::getrusage(RUSAGE_SELF, &Usage);
    return (Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) * 1e3 +
           (Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

TEST(PtyDispatcher, OpeningInUseAndMissingPorts)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher First, Second, Third;
    ASSERT_EQ(OpenPty(First, Pty.Path()), 0);
    EXPECT_TRUE(First.IsOpen());
    EXPECT_EQ(First.RunningThreadCount(), 4);
    EXPECT_EQ(OpenPty(Second, Pty.Path()), ecode::AccessDenied);
    EXPECT_FALSE(Second.IsOpen());
    EXPECT_EQ(OpenPty(Third, "/dev/kelvalog-missing"), ecode::FileNotFound);
    EXPECT_EQ(OpenPty(Third, "COM97"), ecode::FileNotFound);
    First.ShutdownDevice();
    EXPECT_EQ(First.RunningThreadCount(), 0);
    EXPECT_EQ(OpenPty(Second, Pty.Path()), 0) << "released by the shutdown";
}

TEST(PtyDispatcher, WaitingBytesAreReadIn256ByteBuffersAndAnnouncedWithUnreadCounts)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    // The bytes wait in the terminal before the port opens.
    const int Slave = ::open(Pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(Slave, 0);
    test::MakeRaw(Slave);
    const std::string Sent(300, 'k');
    Pty.Write(Sent);
    ASSERT_TRUE(WaitUntil(
        [&] {
            int Queued = 0;
            ::ioctl(Slave, FIONREAD, &Queued);
            return Queued == 300;
        },
        2s));

    TSerialDispatcher D;
    std::mutex Lock;
    std::vector<std::size_t> Buffers;
    std::vector<std::uint32_t> Counts;
    TIOQueueProbe::WatchAppends(D.InputQueue(), [&](const TIOBuffer& Item) {
        if (Item.IsData()) {
            std::lock_guard Guard(Lock);
            Buffers.push_back(static_cast<const TDataBuffer&>(Item).Used);
        }
    });
    D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg == msg::TriggerAvail) {
            std::lock_guard Guard(Lock);
            Counts.push_back(Count);
        }
    });
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1);
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard Guard(Lock);
            return !Counts.empty() && Counts.back() == 300;
        },
        3s));
    // The queue's observer runs under the queue's lock: no dispatcher calls
    // while holding Lock.
    EXPECT_EQ(D.InBuffUsed(), 300) << "nobody read: nothing moved the tail";
    std::lock_guard Guard(Lock);
    EXPECT_EQ(Buffers, (std::vector<std::size_t>{256, 44}));
    for (std::size_t I = 0; I < Counts.size(); ++I) {
        EXPECT_TRUE(Counts[I] == 256 || Counts[I] == 300) << Counts[I];
        if (I > 0) {
            EXPECT_GT(Counts[I], Counts[I - 1]) << "announced without new bytes";
        }
    }
    ::close(Slave);
}

TEST(PtyDispatcher, ATerminalAlreadyAtTheLineSettingsStillPassesBytesUnchanged)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    // A terminal as the system leaves it: 9600 8N1 with line editing, CR to
    // LF translation and echo on. Only the line settings match.
    const int Slave = ::open(Pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(Slave, 0);
    termios Tio{};
    ASSERT_EQ(::tcgetattr(Slave, &Tio), 0);
    Tio.c_iflag |= ICRNL;
    Tio.c_lflag |= ICANON | ECHO;
    Tio.c_cflag = (Tio.c_cflag & ~(CSIZE | PARENB | CSTOPB)) | CS8;
    ::cfsetispeed(&Tio, B9600);
    ::cfsetospeed(&Tio, B9600);
    ASSERT_EQ(::tcsetattr(Slave, TCSANOW, &Tio), 0);

    TSerialDispatcher D;
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    Pty.Write("\n12.5;T1\r");
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() >= 9; }, 2s)) << D.InBuffUsed();
    std::string Got(static_cast<std::size_t>(D.InBuffUsed()), '\0');
    ASSERT_EQ(D.GetBlock(Got.data(), Got.size()), static_cast<int>(Got.size()));
    EXPECT_EQ(Got, "\n12.5;T1\r");
    pollfd Echo{Pty.Master(), POLLIN, 0};
    EXPECT_EQ(::poll(&Echo, 1, 100), 0) << "received bytes were echoed to the board";
    ::close(Slave);
}

TEST(PtyDispatcher, FullRingLeavesTheRestInTheQueue)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    std::string Sent(10000, '\0');
    for (std::size_t I = 0; I < Sent.size(); ++I)
        Sent[I] = static_cast<char>('A' + I % 26);
    Pty.Write(Sent);
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 8192 && D.QueuedBytes() == 1808; }, 3s))
        << D.InBuffUsed() << " in the ring, " << D.QueuedBytes() << " queued";
    std::string Got(10000, '\0');
    ASSERT_EQ(D.GetBlock(Got.data(), 8192), 8192);
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 1808; }, 3s));
    ASSERT_EQ(D.GetBlock(Got.data() + 8192, 1808), 1808);
    EXPECT_EQ(Got, Sent);
}

// With a line end set as wake byte, input without one is held back only
// while it keeps coming, and for a bounded time: never lost, never stuck.
TEST(PtyDispatcher, InputWithoutAWakeByteIsStillAnnouncedAfterAPauseOrWhileItKeepsComing)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    std::atomic<std::uint32_t> Announced{0};
    D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg == msg::TriggerAvail)
            Announced = Count;
    });
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    D.SetDataAvailableThreshold(1);
    D.SetWakeBytes("\r");

    Pty.Write("abc"); // then a pause
    ASSERT_TRUE(WaitUntil([&] { return Announced.load() == 3; }, 2s)) << Announced.load();

    // A byte every 2 ms for 400 ms, none of them a wake byte.
    std::uint32_t AnnouncedWhileComing = 0;
    for (int I = 0; I < 200; ++I) {
        Pty.Write("x");
        std::this_thread::sleep_for(2ms);
        if (I == 199)
            AnnouncedWhileComing = Announced.load();
    }
    EXPECT_GT(AnnouncedWhileComing, 3u) << "held back for as long as bytes kept coming";
    Pty.Write("\r");
    EXPECT_TRUE(WaitUntil([&] { return Announced.load() == 204; }, 2s)) << Announced.load();
}

TEST(PtyDispatcher, TimerOfTwoTicksFiresAtTheFirstCheckFromTPlusThree)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TManualTickClock Clock(5000 * TickMilliseconds + 54); // late in tick T
    TSerialDispatcher D(nullptr, &Clock);
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    std::atomic<int> Fired{0};
    std::atomic<std::uint32_t> FiredAt{0};
    D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t, std::uint32_t) {
        if (Msg == msg::TriggerTimer) {
            FiredAt = Clock.Ticks();
            ++Fired;
        }
    });
    const int Handle = D.AddTimerTrigger();
    ASSERT_EQ(D.SetTimerTrigger(Handle, 2, true), 0);
    Clock.SetMilliseconds(5002 * TickMilliseconds + 54);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Fired.load(), 0);
    Clock.SetMilliseconds(5003 * TickMilliseconds);
    ASSERT_TRUE(WaitUntil([&] { return Fired.load() == 1; }, 2s));
    EXPECT_EQ(FiredAt.load(), 5003u);
}

TEST(PtyDispatcher, HangUpEndsTheWorkersQuicklyAndTheyUseNoCpuAfterwards)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    std::atomic<int> Losses{0};
    D.SetOnDeviceLost([&](std::uint16_t, int) { ++Losses; });
    ASSERT_EQ(OpenPty(D, Pty.Path()), 0);
    Pty.Write("before");
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 6; }, 2s));

    const auto Start = steady_clock::now();
    Pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return D.RunningThreadCount() == 0; }, 2s));
    const auto EndMs = duration_cast<microseconds>(steady_clock::now() - Start).count() / 1e3;
    EXPECT_LT(EndMs, 2000);

    const double CpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(500ms);
    const double CpuUsed = ProcessCpuMs() - CpuBefore;
    EXPECT_LT(CpuUsed, 25.0);
    EXPECT_EQ(Losses.load(), 1);
    std::cout << "[ measured ] workers ended " << EndMs << " ms after the hang-up; CPU in the "
              << "next 500 ms: " << CpuUsed << " ms\n";
    RecordProperty("hangup_end_ms", std::to_string(EndMs));
    D.ShutdownDevice();
}
