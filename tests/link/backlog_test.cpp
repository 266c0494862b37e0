// The received bytes a subscriber has not taken yet: bounded, drained at the
// subscriber's pace, and dropped oldest first when it cannot keep up.

#include "link/device/serialdevice.h"
#include "link/dispatch/dispatcher.h"
#include "link/dispatch/iqueue.h"

#include "device_pty.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace kelvalog;
using namespace std::chrono;
using test::WaitUntil;

namespace {

std::unique_ptr<TDataBuffer> Data(std::uint8_t Mark, std::size_t Size, std::int64_t ArrivalMs)
{
    auto Buffer = std::make_unique<TDataBuffer>();
    Buffer->Data.fill(Mark);
    Buffer->Used = Size;
    Buffer->ArrivalMs = ArrivalMs;
    return Buffer;
}

std::string Drain(TIOQueue& Queue)
{
    std::string Out(1 << 16, '\0');
    const auto N = Queue.MoveData(reinterpret_cast<std::uint8_t*>(Out.data()), Out.size());
    Out.resize(N);
    return Out;
}

// A data subscriber that takes every byte, and can be held inside its
// notification so that the bytes pile up behind it.
class THeldReader
{
public:
    explicit THeldReader(TBaseDispatcher& D) : FD(D)
    {
        D.RegisterProcHandler([this](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
            if (Msg != msg::TriggerAvail)
                return;
            {
                std::unique_lock Guard(FLock);
                FHeld = FHolding;
                FChanged.notify_all();
                FChanged.wait(Guard, [this] { return !FHolding; });
                FHeld = false;
            }
            std::string Bytes(Count, '\0');
            if (FD.GetBlock(Bytes.data(), Count) == static_cast<int>(Count)) {
                std::lock_guard Guard(FLock);
                FReceived += Bytes;
            }
        });
    }
    void Hold()
    {
        std::lock_guard Guard(FLock);
        FHolding = true;
    }
    bool WaitHeld()
    {
        std::unique_lock Guard(FLock);
        return FChanged.wait_for(Guard, 5s, [this] { return FHeld; });
    }
    void Release()
    {
        std::lock_guard Guard(FLock);
        FHolding = false;
        FChanged.notify_all();
    }
    std::size_t Size()
    {
        std::lock_guard Guard(FLock);
        return FReceived.size();
    }
    std::string Received()
    {
        std::lock_guard Guard(FLock);
        return FReceived;
    }

private:
    TBaseDispatcher& FD;
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FHolding = false;
    bool FHeld = false;
    std::string FReceived;
};

std::string Pattern(std::size_t Size)
{
    std::string Bytes(Size, '\0');
    for (std::size_t I = 0; I < Size; ++I)
        Bytes[I] = static_cast<char>('a' + (I / 256) % 26);
    return Bytes;
}

} // namespace

TEST(InputQueue, DropsTheOldestBuffersPastItsLimitsAndKeepsStatusItems)
{
    TIOQueue Queue;
    Queue.SetLimits(4 * TDataBuffer::Capacity, 0);
    std::size_t Dropped = 0;
    Dropped += Queue.Append(Data('a', 256, 0));
    Queue.Append(std::make_unique<TStatusBuffer>(evt::ErrorEvents));
    for (char Mark = 'b'; Mark <= 'f'; ++Mark)
        Dropped += Queue.Append(Data(static_cast<std::uint8_t>(Mark), 100, 0));
    // A small read costs a whole buffer: six buffers, room for four.
    EXPECT_EQ(Dropped, 256u + 100u);
    EXPECT_EQ(Queue.PendingBytes(), 400u);
    EXPECT_EQ(Queue.TakeFrontStatus(), evt::ErrorEvents) << "a line event is never dropped";
    EXPECT_EQ(Drain(Queue), std::string(100, 'c') + std::string(100, 'd') + std::string(100, 'e') +
                                std::string(100, 'f'));

    // Older than the age limit, measured from the newest arrival.
    Queue.SetLimits(0, 1000);
    EXPECT_EQ(Queue.Append(Data('x', 10, 0)), 0u);
    EXPECT_EQ(Queue.Append(Data('y', 10, 500)), 0u);
    EXPECT_EQ(Queue.Append(Data('z', 10, 1200)), 10u);
    EXPECT_EQ(Drain(Queue), std::string(10, 'y') + std::string(10, 'z'));

    // The newest buffer always stays, even over a limit below one buffer.
    Queue.SetLimits(16, 0);
    EXPECT_EQ(Queue.Append(Data('p', 200, 0)), 0u);
    EXPECT_EQ(Queue.Append(Data('q', 200, 0)), 200u);
    EXPECT_EQ(Queue.PendingBytes(), 200u);

    // A minute in which the consumer waits for the window ages nothing; the
    // time after it, in which the consumer works, does.
    TIOQueue Held;
    Held.SetLimits(0, 1000);
    Held.BeginHold(2000);
    EXPECT_EQ(Held.Append(Data('h', 10, 2000)), 0u);
    EXPECT_EQ(Held.Append(Data('i', 10, 62000)), 0u);
    Held.EndHold(62000);
    EXPECT_EQ(Held.DropStale(62900), 0u);
    EXPECT_EQ(Held.DropStale(63100), 10u);
    EXPECT_EQ(Drain(Held), std::string(10, 'i'));
}

TEST(PtyBacklog, ABacklogDrainsAtTheSubscribersPaceWithoutWaitingForNewInput)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    D.InputQueue().SetLimits(4 * 1024 * 1024, 0);
    THeldReader Reader(D);
    ASSERT_EQ(D.OpenDevice(Pty.Path(), 9600, 0, 8, 1, 4096, 4096, TLineOptions{}), 0);
    D.SetDataAvailableThreshold(1);

    Reader.Hold();
    Pty.Write("x");
    ASSERT_TRUE(Reader.WaitHeld());
    const std::string Sent = Pattern(1024 * 1024);
    Pty.Write(Sent);
    ASSERT_TRUE(WaitUntil([&] { return D.QueuedBytes() + 8192 >= Sent.size(); }, 10s))
        << D.QueuedBytes();
    // Nothing more arrives: each dispatch cycle moves at most one ring of
    // 8 KB, and the 128 cycles must follow each other at once (waiting 50 ms
    // for input between them would take more than 6 s).
    Reader.Release();
    EXPECT_TRUE(WaitUntil([&] { return Reader.Size() == Sent.size() + 1; }, 3s))
        << Reader.Size() << " of " << Sent.size() + 1;
    EXPECT_EQ(Reader.Received(), "x" + Sent);
    EXPECT_EQ(D.OverrunBytes(), 0u);
    D.ShutdownDevice();
}

TEST(PtyBacklog, ASubscriberThatCannotKeepUpLosesTheOldestBytesCountedAsAnOverflow)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TSerialDispatcher D;
    constexpr std::size_t Limit = 64 * 1024;
    D.InputQueue().SetLimits(Limit, 0);
    std::mutex Lock;
    std::vector<std::uint64_t> Reported;
    D.SetOnInputOverrun([&](std::uint16_t Number, std::uint64_t Dropped) {
        EXPECT_EQ(Number, D.DispatcherNumber());
        std::lock_guard Guard(Lock);
        Reported.push_back(Dropped);
    });
    THeldReader Reader(D);
    ASSERT_EQ(D.OpenDevice(Pty.Path(), 9600, 0, 8, 1, 4096, 4096, TLineOptions{}), 0);
    D.SetDataAvailableThreshold(1);
    const int Trigger = D.AddStatusTrigger(stkind::LineError);
    ASSERT_GT(Trigger, 0);
    ASSERT_EQ(D.SetStatusTrigger(Trigger, lemask::Overrun, true), 0);
    std::atomic<int> Fired{0};
    D.RegisterEventHandler(
        [&](std::uint32_t Msg, std::uint32_t Handle, std::uint32_t) {
            if (Msg == msg::TriggerStatus && static_cast<int>(Handle) == Trigger)
                ++Fired;
        },
        false);

    Reader.Hold();
    Pty.Write("x");
    ASSERT_TRUE(Reader.WaitHeld());
    const std::string Sent = Pattern(512 * 1024);
    Pty.Write(Sent);
    ASSERT_TRUE(
        WaitUntil([&] { return D.OverrunBytes() + D.QueuedBytes() + 8192 >= Sent.size(); }, 10s));
    EXPECT_LE(D.QueuedBytes(), Limit) << "memory stays bounded";
    Reader.Release();
    ASSERT_TRUE(WaitUntil(
        [&] { return Reader.Size() - 1 + D.OverrunBytes() >= Sent.size() && D.QueuedBytes() == 0; },
        5s));
    // What arrives is the newest part of the input, in order.
    const std::string Got = Reader.Received().substr(1);
    EXPECT_EQ(Got.size() + D.OverrunBytes(), Sent.size());
    EXPECT_EQ(Got.substr(Got.size() - 10000), Sent.substr(Sent.size() - 10000));
    EXPECT_GE(D.OverrunBytes(), Sent.size() - Limit - 2 * 8192);
    ASSERT_TRUE(WaitUntil([&] { return Fired.load() > 0; }, 2s)) << "the error light's trigger";
    {
        std::lock_guard Guard(Lock);
        ASSERT_FALSE(Reported.empty());
        EXPECT_LE(Reported.back(), D.OverrunBytes());
        EXPECT_TRUE(std::is_sorted(Reported.begin(), Reported.end()));
    }
    EXPECT_EQ(D.TakeLineError(), 1) << "an input overflow";
    EXPECT_EQ(D.TakeLineError(), 0);
    D.ShutdownDevice();
}
