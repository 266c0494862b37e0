#include "common/linkerror.h"
#include "link/dispatch/dispatcher.h"
#include "scriptedserialdevice.h"

#include "device_pty.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace kelvalog;
using namespace std::chrono;
using test::WaitUntil;

namespace {

struct TRecord
{
    std::uint32_t Msg, WParam, LParam;
};

// Collects notifications from any thread.
class TRecorder
{
public:
    void Add(std::uint32_t Msg, std::uint32_t WParam, std::uint32_t LParam)
    {
        std::lock_guard Guard(FLock);
        FRecords.push_back({Msg, WParam, LParam});
    }
    std::vector<TRecord> Of(std::uint32_t Msg) const
    {
        std::lock_guard Guard(FLock);
        std::vector<TRecord> Out;
        for (const auto& R : FRecords)
            if (R.Msg == Msg)
                Out.push_back(R);
        return Out;
    }
    std::size_t Count(std::uint32_t Msg) const { return Of(Msg).size(); }
    TNotifyHandler Handler()
    {
        return [this](std::uint32_t M, std::uint32_t W, std::uint32_t L) { Add(M, W, L); };
    }

private:
    mutable std::mutex FLock;
    std::vector<TRecord> FRecords;
};

class ScriptedDispatcher : public ::testing::Test
{
protected:
    std::shared_ptr<TScriptedLine> Line = std::make_shared<TScriptedLine>();

    void SetUp() override
    {
        auto Shared = Line;
        SetSerialDeviceFactory(ScriptedDeviceFactory(
            [Shared](const std::string& Path) { return Path == "scripted" ? Shared : nullptr; }));
    }
    void TearDown() override { SetSerialDeviceFactory(nullptr); }

    static int Open(TBaseDispatcher& D)
    {
        return D.OpenDevice("scripted", 9600, 0, 8, 1, 4096, 4096, TLineOptions{});
    }
};

std::string Pattern(std::size_t Size)
{
    std::string S(Size, '\0');
    for (std::size_t I = 0; I < Size; ++I)
        S[I] = static_cast<char>(I % 251);
    return S;
}

} // namespace

TEST_F(ScriptedDispatcher, OpeningAppliesTheLineAndStartsFourThreads)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    EXPECT_EQ(D.RunningThreadCount(), 4);
    const TDeviceSettings S = Line->Settings();
    EXPECT_EQ(S.Baud, 9600u);
    EXPECT_EQ(S.DataBits, 8);
    EXPECT_EQ(S.Parity, 0);
    EXPECT_EQ(S.StopBits, 0);
    EXPECT_TRUE(S.Binary);
    EXPECT_FALSE(S.OutX || S.InX || S.OutxCtsFlow || S.OutxDsrFlow);
    EXPECT_TRUE(Line->Dtr());
    EXPECT_TRUE(Line->Rts());
    EXPECT_EQ(D.SetDtr(false), 0);
    EXPECT_FALSE(Line->Dtr());
    EXPECT_EQ(D.SetHWFlow(5000, 0, 0), ecode::BadArgument); // above the input size
    EXPECT_EQ(D.SetHWFlow(10, 20, 0), ecode::BadArgument);  // below the resume threshold
    ASSERT_EQ(D.SetHWFlow(0, 0, hwf::UseRTS), 0);
    EXPECT_EQ(D.SetRts(false), 1) << "RTS under handshake control stays as it is";
    EXPECT_EQ(Line->Settings().RtsControl, TLineControl::Handshake);
    EXPECT_EQ(D.SetLine(0, 5, 5, 3), 0);
    EXPECT_EQ(Line->Settings().DataBits, 5);
    EXPECT_EQ(Line->Settings().StopBits, 1) << "5 data bits use one and a half stop bits";
    EXPECT_EQ(Line->Settings().Baud, 9600u);

    TSerialDispatcher Second;
    EXPECT_EQ(Open(Second), ecode::AccessDenied);
    EXPECT_EQ(Second.RunningThreadCount(), 0);
    EXPECT_NE(Second.DispatcherNumber(), D.DispatcherNumber());
    D.ShutdownDevice();
    EXPECT_EQ(D.RunningThreadCount(), 0);
    EXPECT_FALSE(D.IsOpen());
}

TEST_F(ScriptedDispatcher, OpeningADeviceThatFailsReturnsItsCodeAndReleasesIt)
{
    TSerialDispatcher D;
    // Opens, then fails when its settings are read: the opening must not
    // hang in its own clean-up.
    Line->FailDevice(ecode::GeneralFailure);
    EXPECT_EQ(Open(D), ecode::GeneralFailure);
    EXPECT_FALSE(D.IsOpen());
    EXPECT_EQ(D.RunningThreadCount(), 0);
    Line->FailDevice(0);
    EXPECT_EQ(Open(D), 0) << "the failed opening kept the device";
    EXPECT_EQ(D.RunningThreadCount(), 4);
}

TEST_F(ScriptedDispatcher, LineErrorTriggerFiresOncePerBurstAndAgainAfterRearm)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    TRecorder Seen;
    D.RegisterProcHandler(Seen.Handler());
    const int Handle = D.AddStatusTrigger(stkind::LineError);
    ASSERT_GT(Handle, 0);
    EXPECT_EQ(Handle % 8, stkind::LineError);
    ASSERT_EQ(D.SetStatusTrigger(Handle, lemask::Overrun | lemask::Parity | lemask::Framing, true),
              0);

    Line->InjectLineErrors(lineerr::Overrun | lineerr::Frame);
    ASSERT_TRUE(WaitUntil([&] { return Seen.Count(msg::TriggerStatus) == 1; }, 2s));
    const auto First = Seen.Of(msg::TriggerStatus).front();
    EXPECT_EQ(First.WParam, static_cast<std::uint32_t>(Handle));
    EXPECT_EQ(First.LParam >> 16, D.DispatcherNumber());

    // One-shot: a second burst before re-arming fires nothing...
    EXPECT_EQ(D.TakeLineError(), 2);
    EXPECT_EQ(D.TakeLineError(), 0) << "taking clears the error bits";
    Line->InjectLineErrors(lineerr::Parity);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Seen.Count(msg::TriggerStatus), 1u);
    // ...but is seen at the next check after it.
    ASSERT_EQ(D.SetStatusTrigger(Handle, 7, true), 0);
    ASSERT_TRUE(WaitUntil([&] { return Seen.Count(msg::TriggerStatus) == 2; }, 2s));
    EXPECT_EQ(D.TakeLineError(), 3);

    // Re-armed with nothing new: quiet. A break alone is not in mask 7.
    ASSERT_EQ(D.SetStatusTrigger(Handle, 7, true), 0);
    Line->InjectLineErrors(lineerr::Break);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Seen.Count(msg::TriggerStatus), 2u);
    EXPECT_EQ(D.TakeLineError(), 9);
    EXPECT_TRUE(D.TakeBreak());
    EXPECT_FALSE(D.TakeBreak());
}

TEST_F(ScriptedDispatcher, ModemLineChangeFiresModemStatusTrigger)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    TRecorder Seen;
    D.RegisterProcHandler(Seen.Handler());
    const int Handle = D.AddStatusTrigger(stkind::ModemStatus);
    ASSERT_EQ(D.SetStatusTrigger(Handle, modem::Cts, true), 0);
    Line->SetModemStatus(modem::Dsr);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Seen.Count(msg::TriggerStatus), 0u);
    Line->SetModemStatus(modem::Dsr | modem::Cts);
    ASSERT_TRUE(WaitUntil([&] { return Seen.Count(msg::TriggerStatus) == 1; }, 2s));
    EXPECT_EQ(D.ModemStatus(), modem::Dsr | modem::Cts);
}

TEST_F(ScriptedDispatcher, ReadFailureEndsAllThreadsAndReportsTheLossOnce)
{
    TCallBridge Bridge; // this thread is the window thread
    TSerialDispatcher D(&Bridge);
    std::vector<std::pair<int, int>> Losses;
    std::thread::id LossThread;
    D.SetOnDeviceLost([&](std::uint16_t Number, int Code) {
        Losses.emplace_back(Number, Code);
        LossThread = std::this_thread::get_id();
    });
    ASSERT_EQ(Open(D), 0);
    Line->PushBytes("abc");
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 3; }, 2s));

    Line->FailDevice(ecode::GeneralFailure);
    const auto Start = steady_clock::now();
    while (D.RunningThreadCount() != 0 && steady_clock::now() - Start < 3s) {
        Bridge.ProcessPending();
        Bridge.WaitForCalls(5);
    }
    EXPECT_EQ(D.RunningThreadCount(), 0);
    EXPECT_FALSE(D.ThreadsRunning());
    for (int I = 0; I < 20; ++I) {
        Bridge.ProcessPending();
        Bridge.WaitForCalls(5);
    }
    ASSERT_EQ(Losses.size(), 1u);
    EXPECT_EQ(Losses[0].first, D.DispatcherNumber());
    EXPECT_LT(Losses[0].second, 0);
    EXPECT_EQ(LossThread, std::this_thread::get_id());
    EXPECT_LT(Line->CallsAfterFailure(), 10) << "a worker kept calling the failed device";
    // The port stays open for its owner; what arrived stays readable.
    EXPECT_TRUE(D.IsOpen());
    char Buffer[3];
    EXPECT_EQ(D.GetBlock(Buffer, 3), 3);
    D.ShutdownDevice();
    EXPECT_FALSE(D.IsOpen());
}

TEST_F(ScriptedDispatcher, FullRingLeavesBytesInTheQueueAndLosesNone)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    const std::string Sent = Pattern(10000);
    Line->PushBytes(Sent);
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 8192 && D.QueuedBytes() == 1808; }, 3s))
        << D.InBuffUsed() << " " << D.QueuedBytes();
    std::string Got(4000, '\0');
    ASSERT_EQ(D.GetBlock(Got.data(), 4000), 4000);
    ASSERT_TRUE(WaitUntil([&] { return D.QueuedBytes() == 0; }, 3s));
    EXPECT_EQ(D.InBuffUsed(), 6000);
    std::string Rest(6000, '\0');
    EXPECT_EQ(D.GetBlock(Rest.data(), 6001), ecode::BufferIsEmpty);
    ASSERT_EQ(D.GetBlock(Rest.data(), 6000), 6000);
    EXPECT_EQ(Got + Rest, Sent) << "bytes lost or reordered around the ring's end";
    EXPECT_EQ(D.InBuffUsed(), 0);
}

TEST_F(ScriptedDispatcher, DataModeHandlersReadTheSameBytesAndTheTailMovesByTheMost)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    D.SetDataAvailableThreshold(1);
    std::mutex Lock;
    std::vector<std::string> ReadByA, ReadByB;
    std::vector<int> CountsSeenByB;
    int Extra = 0;
    D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg != msg::TriggerAvail || Count < 3)
            return;
        std::string Bytes(3, '\0');
        EXPECT_EQ(D.GetBlock(Bytes.data(), 3), 3);
        std::lock_guard Guard(Lock);
        ReadByA.push_back(Bytes);
    });
    int HandlerB = 0;
    HandlerB = D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg != msg::TriggerAvail || Count < 5)
            return;
        std::lock_guard Guard(Lock);
        CountsSeenByB.push_back(D.InBuffUsed());
        std::string Bytes(5, '\0');
        EXPECT_EQ(D.GetBlock(Bytes.data(), 5), 5);
        ReadByB.push_back(Bytes);
        // Trigger work and handler removal inside a service must not deadlock.
        Extra = D.AddTimerTrigger();
        D.RemoveHandler(HandlerB);
    });
    Line->PushBytes("0123456789");
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard Guard(Lock);
            return !ReadByB.empty();
        },
        2s));
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 5; }, 2s)) << D.InBuffUsed();
    std::lock_guard Guard(Lock);
    ASSERT_EQ(ReadByA.size(), 1u);
    EXPECT_EQ(ReadByA[0], "012");
    EXPECT_EQ(ReadByB[0], "01234");
    EXPECT_EQ(CountsSeenByB[0], 10);
    EXPECT_GT(Extra, 0);
    char Rest[5];
    EXPECT_EQ(D.GetBlock(Rest, 5), 5);
    EXPECT_EQ(std::string(Rest, 5), "56789");
}

TEST_F(ScriptedDispatcher, FlushInsideADataNotificationLeavesTheRingEmptyAndWhole)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    D.SetDataAvailableThreshold(1);
    std::atomic<bool> Flushing{true};
    std::atomic<int> Flushes{0};
    D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t, std::uint32_t) {
        if (Msg != msg::TriggerAvail || !Flushing.load())
            return;
        char First;
        EXPECT_EQ(D.GetBlock(&First, 1), 1);
        D.FlushInBuffer();
        EXPECT_EQ(D.InBuffUsed(), 0);
        ++Flushes;
    });
    Line->PushBytes("abcdef");
    ASSERT_TRUE(WaitUntil([&] { return Flushes.load() > 0 && D.QueuedBytes() == 0; }, 2s));
    Flushing = false;
    EXPECT_EQ(D.InBuffUsed(), 0) << "the tail passed the head";
    Line->PushBytes("xyz");
    ASSERT_TRUE(WaitUntil([&] { return D.InBuffUsed() == 3; }, 2s)) << D.InBuffUsed();
    char Rest[3];
    ASSERT_EQ(D.GetBlock(Rest, 3), 3);
    EXPECT_EQ(std::string(Rest, 3), "xyz");
}

TEST_F(ScriptedDispatcher, DataTriggersFindTheirTextAlsoAfterAFalseStart)
{
    TSerialDispatcher D;
    ASSERT_EQ(Open(D), 0);
    TRecorder Seen;
    D.RegisterProcHandler(Seen.Handler());
    const int Doubled = D.AddDataTrigger("aab");
    const int Repeated = D.AddDataTrigger("abac");
    ASSERT_GT(Doubled, 0);
    ASSERT_GT(Repeated, 0);
    EXPECT_EQ(D.AddDataTrigger(""), ecode::BadArgument);
    Line->PushBytes("xaaab-ababac");
    ASSERT_TRUE(WaitUntil([&] { return Seen.Count(msg::TriggerData) == 2; }, 2s))
        << Seen.Count(msg::TriggerData);
    const auto Found = Seen.Of(msg::TriggerData);
    EXPECT_EQ(Found[0].WParam, static_cast<std::uint32_t>(Doubled));
    EXPECT_EQ(Found[1].WParam, static_cast<std::uint32_t>(Repeated));
}

TEST_F(ScriptedDispatcher, TimerFiresOnlyAfterMoreThanItsLengthAlsoAcrossTheClockWrap)
{
    TManualTickClock Clock;
    TSerialDispatcher D(nullptr, &Clock);
    ASSERT_EQ(Open(D), 0);
    TRecorder Seen;
    D.RegisterProcHandler(Seen.Handler());
    const int Handle = D.AddTimerTrigger();
    EXPECT_EQ(Handle, 8);

    for (const std::uint32_t Start : {1000u, TickPeriod - 2}) {
        const std::size_t Before = Seen.Count(msg::TriggerTimer);
        Clock.SetTicks(Start);
        ASSERT_EQ(D.SetTimerTrigger(Handle, 2, true), 0);
        for (std::uint32_t Tick : {1u, 2u}) {
            Clock.SetTicks((Start + Tick) % TickPeriod);
            std::this_thread::sleep_for(120ms); // longer than the dispatch loop sleeps
            EXPECT_EQ(Seen.Count(msg::TriggerTimer), Before) << "fired at T+" << Tick;
        }
        Clock.SetTicks((Start + 3) % TickPeriod);
        ASSERT_TRUE(WaitUntil([&] { return Seen.Count(msg::TriggerTimer) == Before + 1; }, 2s))
            << "start tick " << Start;
        EXPECT_EQ(Seen.Of(msg::TriggerTimer).back().WParam, 8u);
        std::this_thread::sleep_for(120ms);
        EXPECT_EQ(Seen.Count(msg::TriggerTimer), Before + 1) << "a timer fires once";
    }
}

TEST(DispatcherTriggers, HandlesAreMultiplesOfEightAndRunOut)
{
    TSerialDispatcher D;
    EXPECT_EQ(D.AddTimerTrigger(), 8);
    EXPECT_EQ(D.AddTimerTrigger(), 16);
    EXPECT_EQ(D.AddStatusTrigger(stkind::OutSent), 29);
    EXPECT_EQ(D.AddStatusTrigger(6), ecode::BadArgument);
    EXPECT_EQ(D.AddStatusTrigger(0), ecode::BadArgument);
    EXPECT_EQ(D.RemoveTrigger(24), ecode::BadTriggerHandle) << "a status handle includes its kind";
    EXPECT_EQ(D.SetTimerTrigger(29, 1, true), ecode::BadTriggerHandle);
    EXPECT_EQ(D.SetStatusTrigger(16, 1, true), ecode::BadTriggerHandle);
    EXPECT_EQ(D.RemoveTrigger(29), 0);
    D.SetDataAvailableThreshold(4);
    EXPECT_EQ(D.RemoveTrigger(1), 0);
    EXPECT_EQ(D.DataAvailableThreshold(), 0);

    // Counting on to 4095 slots, then the free slot of the removed trigger.
    std::set<int> Taken;
    while (true) {
        const int Handle = D.AddTimerTrigger();
        if (Handle < 0) {
            EXPECT_EQ(Handle, ecode::NoMoreTriggers);
            break;
        }
        ASSERT_EQ(Handle % 8, 0);
        ASSERT_TRUE(Taken.insert(Handle).second) << "handle given twice: " << Handle;
    }
    EXPECT_EQ(Taken.size(), 4093u);
    EXPECT_EQ(*Taken.begin(), 24);
    EXPECT_EQ(*Taken.rbegin(), 32760);
    EXPECT_EQ(D.RemoveTrigger(16), 0);
    EXPECT_EQ(D.AddTimerTrigger(), 16);
    EXPECT_EQ(D.AddTimerTrigger(), ecode::NoMoreTriggers);
}

TEST_F(ScriptedDispatcher, ExceptionInTheDispatchThreadGoesToTheWindowThread)
{
    TCallBridge Bridge;
    std::string Shown;
    std::thread::id ShownOn;
    Bridge.SetExceptionSink([&](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& E) {
            Shown = E.what();
            ShownOn = std::this_thread::get_id();
        }
    });
    TSerialDispatcher D(&Bridge);
    ASSERT_EQ(Open(D), 0);
    D.SetDataAvailableThreshold(1);
    D.RegisterProcHandler([](std::uint32_t, std::uint32_t, std::uint32_t) {
        throw std::runtime_error("handler failed");
    });
    Line->PushBytes("x");
    const auto Start = steady_clock::now();
    while ((Shown.empty() || D.RunningThreadCount() != 0) && steady_clock::now() - Start < 3s) {
        Bridge.ProcessPending();
        Bridge.WaitForCalls(5);
    }
    EXPECT_EQ(Shown, "handler failed");
    EXPECT_EQ(ShownOn, std::this_thread::get_id());
    EXPECT_EQ(D.RunningThreadCount(), 0);
}

TEST(DispatcherTable, NumbersReuseTheFirstEmptySlotAndNameLiveDispatchers)
{
    auto A = std::make_unique<TSerialDispatcher>();
    auto B = std::make_unique<TSerialDispatcher>();
    const std::uint16_t NumberA = A->DispatcherNumber();
    const std::uint16_t NumberB = B->DispatcherNumber();
    EXPECT_NE(NumberA, NumberB);
    EXPECT_EQ(TBaseDispatcher::FindDispatcher(NumberB), B.get());
    A.reset();
    EXPECT_FALSE(TBaseDispatcher::IsCurrentDispatcher(NumberA));
    auto C = std::make_unique<TSerialDispatcher>();
    EXPECT_EQ(C->DispatcherNumber(), NumberA);
    B.reset();
    C.reset();
    EXPECT_FALSE(TBaseDispatcher::IsCurrentDispatcher(NumberB));
    EXPECT_EQ(TBaseDispatcher::FindDispatcher(NumberA), nullptr);
}
