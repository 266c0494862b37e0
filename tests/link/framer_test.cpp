// The framer's rules through a stand-in port: bytes are fed on the test's
// thread, events run at once, the collection timer is expired by hand.

#include "common/linkerror.h"
#include "datapacketprobe.h"
#include "link/dispatch/dispatcher.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"
#include "link/ui/guibridge.h"
#include "port_testsupport.h"

#include <cstring>
#include <memory>

using namespace kelvalog;
using porttest::TTestApplication;

namespace {

constexpr int TimerHandle = 8;

class TFakePort : public TComPort
{
public:
    TFakePort() { SetComNumber(1); }
    ~TFakePort() override { SetOpen(false); }

    void Feed(const std::string& Bytes)
    {
        FPending = Bytes;
        if (FHandler)
            FHandler(msg::TriggerAvail, static_cast<unsigned>(Bytes.size()), 0);
        FPending.clear();
    }
    void ExpireTimer()
    {
        if (FHandler && TimerActive) {
            TimerActive = false;
            FHandler(msg::TriggerTimer, TimerHandle, 0);
        }
    }

    bool TimerActive = false;
    int TimerTicks = 0;
    int TimerStarts = 0;
    bool HandlerRegistered() const { return static_cast<bool>(FHandler); }

protected:
    void OpenDevice() override {}
    void CloseDevice() override {}

public:
    int AddTimerTrigger() override { return TimerHandle; }
    void SetTimerTrigger(int, std::int32_t Ticks, bool Active) override
    {
        if (Ticks != 0)
            TimerTicks = Ticks;
        TimerActive = Active;
        if (Active)
            ++TimerStarts;
    }
    void RemoveTrigger(int) override { TimerActive = false; }
    void RegisterEventHandler(const void*, TDispatchHandler Handler) override
    {
        FHandler = std::move(Handler);
    }
    void RemoveEventHandler(const void*) override { FHandler = {}; }
    int CharReady() override { return static_cast<int>(FPending.size()); }
    void GetBlock(char* Dest, int Count) override { std::memcpy(Dest, FPending.data(), Count); }
    void HandOff(const std::function<void()>& Call) override
    {
        ++HandOffs;
        Call();
    }
    int HandOffs = 0;

private:
    std::string FPending;
    TDispatchHandler FHandler;
};

// A port, a framer set up for board lines and the lines it delivered.
struct TBoard
{
    TFakePort Port;
    TDataPacket Packet;
    std::vector<std::string> Lines;
    int Timeouts = 0;

    explicit TBoard(bool Open = true)
    {
        Packet.SetComPort(&Port);
        Packet.SetStartString("\n");
        Packet.SetEndString("\r");
        Packet.SetEndCond({TPacketEndCond::ecString});
        Packet.SetIncludeStrings(false);
        Packet.SetTimeOut(1000);
        Packet.OnStringPacket = [this](QObject* Sender, const std::string& Line) {
            EXPECT_EQ(Sender, &Packet);
            Lines.push_back(Line);
        };
        Packet.OnTimeout = [this](QObject*) {
            ++Timeouts;
            Packet.SetEnabled(true);
        };
        if (Open)
            Port.SetOpen(true);
        Packet.SetEnabled(true);
    }
    TDataPacketManager* Manager() const { return TDataPacketManagerList::Find(&Port); }
};

using TLines = std::vector<std::string>;

} // namespace

TEST(Framer, CutsBoardLinesBetweenLineFeedAndCarriageReturn)
{
    struct TCase
    {
        const char* Name;
        std::vector<std::string> Reads;
        TLines Expected;
    };
    const TCase Cases[] = {
        {"noise before the line feed", {"xy\n1 2\r"}, {"1 2"}},
        {"empty line", {"\n\r"}, {""}},
        {"carriage return alone", {"\r", "abc\r"}, {}},
        {"second line feed is content", {"\na\nb\r"}, {"a\nb"}},
        {"two lines in one read", {"\nA\r\nB\r"}, {"A", "B"}},
        {"line over many reads", {"\n1", "2", "", "3", "\r"}, {"123"}},
        {"bytes between lines dropped", {"\nA\rjunk\r", "more\nB\r"}, {"A", "B"}},
        {"line feed and return split", {"\n", "\r"}, {""}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TBoard B;
        for (const auto& R : C.Reads)
            B.Port.Feed(R);
        EXPECT_EQ(B.Lines, C.Expected);
        EXPECT_EQ(B.Timeouts, 0);
    }
}

TEST(Framer, HoldsNoMemoryBetweenLinesAndGrowsInSteps)
{
    TBoard B;
    B.Port.Feed("garbage without a line feed");
    EXPECT_EQ(TDataPacketProbe::Count(*B.Manager()), 0u);
    EXPECT_EQ(TDataPacketProbe::Capacity(*B.Manager()), 0u);

    B.Port.Feed("\n" + std::string(10000, 'x'));
    EXPECT_EQ(TDataPacketProbe::Count(*B.Manager()), 10001u);
    EXPECT_EQ(TDataPacketProbe::Capacity(*B.Manager()), 16384u);
    B.Port.Feed(std::string(8000, 'y') + "\r");
    ASSERT_EQ(B.Lines.size(), 1u);
    EXPECT_EQ(B.Lines[0], std::string(10000, 'x') + std::string(8000, 'y'));
    EXPECT_EQ(TDataPacketProbe::Capacity(*B.Manager()), 0u);
}

TEST(Framer, TimeoutDropsEverythingBufferedAndTheHandlerRearms)
{
    TBoard B;
    B.Port.Feed("\nunfinished");
    EXPECT_TRUE(B.Port.TimerActive);
    EXPECT_EQ(B.Port.TimerTicks, 1000);
    // Further bytes do not restart the timer.
    B.Port.Feed(" still");
    B.Port.Feed(" more");
    EXPECT_EQ(B.Port.TimerStarts, 1);

    B.Port.ExpireTimer();
    EXPECT_EQ(B.Timeouts, 1);
    EXPECT_TRUE(B.Lines.empty());
    EXPECT_EQ(TDataPacketProbe::Count(*B.Manager()), 0u);
    EXPECT_TRUE(B.Packet.Enabled());

    // The carriage return of the lost line is not taken for anything.
    B.Port.Feed("\r tail\nnext\r");
    EXPECT_EQ(B.Lines, TLines{"next"});
    EXPECT_EQ(B.Timeouts, 1);
    EXPECT_FALSE(B.Port.TimerActive);
}

TEST(Framer, WithoutRearmingAfterATimeoutNothingMoreIsDelivered)
{
    TBoard B;
    B.Packet.OnTimeout = [&](QObject*) { ++B.Timeouts; };
    B.Port.Feed("\nabc");
    B.Port.ExpireTimer();
    EXPECT_EQ(B.Timeouts, 1);
    EXPECT_FALSE(B.Packet.Enabled());
    B.Port.Feed("\nline\r");
    EXPECT_TRUE(B.Lines.empty());
    B.Packet.SetEnabled(true);
    B.Port.Feed("\nline\r");
    EXPECT_EQ(B.Lines, TLines{"line"});
}

TEST(Framer, ExceptionOfTheLineHandlerReachesTheApplicationAndFramingGoesOn)
{
    auto& Caught = TTestApplication::Instance()->Caught;
    Caught.clear();
    TBoard B;
    B.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        B.Lines.push_back(Line);
        if (Line == "bad")
            throw std::runtime_error("cannot decode");
    };
    B.Port.Feed("\nbad\r\ngood\r");
    EXPECT_EQ(B.Lines, (TLines{"bad", "good"}));
    ASSERT_EQ(Caught.size(), 1u);
    EXPECT_THROW(std::rethrow_exception(Caught[0]), std::runtime_error);
    EXPECT_TRUE(B.Packet.Enabled());
}

TEST(Framer, ArmingWhileClosedWaitsForTheOpening)
{
    TBoard B(false);
    EXPECT_TRUE(B.Packet.Enabled());
    EXPECT_EQ(TDataPacketProbe::Mode(B.Packet), TDataPacket::TMode::Idle);
    B.Port.SetOpen(true);
    EXPECT_EQ(TDataPacketProbe::Mode(B.Packet), TDataPacket::TMode::WaitingForStart);
    B.Port.Feed("\nup\r");
    EXPECT_EQ(B.Lines, TLines{"up"});

    // Closing keeps Enabled, so the next opening arms again.
    B.Port.Feed("\npart");
    B.Port.SetOpen(false);
    EXPECT_TRUE(B.Packet.Enabled());
    EXPECT_EQ(TDataPacketProbe::Mode(B.Packet), TDataPacket::TMode::Idle);
    EXPECT_FALSE(B.Port.HandlerRegistered());
    B.Port.SetOpen(true);
    B.Port.Feed("ial\r\nagain\r");
    EXPECT_EQ(B.Lines, (TLines{"up", "again"}));
}

TEST(Framer, DisarmingInTheMiddleOfALineDropsIt)
{
    TBoard B;
    B.Port.Feed("\nhalf");
    B.Packet.SetEnabled(false);
    EXPECT_FALSE(B.Port.TimerActive);
    B.Packet.SetEnabled(true);
    B.Port.Feed(" line\r\nwhole\r");
    EXPECT_EQ(B.Lines, TLines{"whole"});
}

TEST(Framer, RefusesRulesThatCannotBeArmed)
{
    struct TCase
    {
        int Code;
        std::function<void(TDataPacket&)> Setup;
    };
    const TCase Cases[] = {
        {ecode::StartStringEmpty, [](TDataPacket& P) { P.SetStartString(""); }},
        {ecode::PacketTooSmall,
         [](TDataPacket& P) {
             P.SetStartString("abc");
             P.SetEndCond({TPacketEndCond::ecPacketSize});
             P.SetPacketSize(2);
         }},
        {ecode::NoEndCondition,
         [](TDataPacket& P) {
             P.SetStartCond(TPacketStartCond::scAnyData);
             P.SetEndCond({});
         }},
        {ecode::EndStringEmpty, [](TDataPacket& P) { P.SetEndString(""); }},
        {ecode::PacketSizeZero,
         [](TDataPacket& P) {
             P.SetStartCond(TPacketStartCond::scAnyData);
             P.SetEndCond({TPacketEndCond::ecPacketSize});
             P.SetPacketSize(0);
         }},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Code);
        TFakePort Port;
        Port.SetOpen(true);
        TDataPacket P;
        P.SetComPort(&Port);
        P.SetStartString("\n");
        P.SetEndString("\r");
        P.SetEndCond({TPacketEndCond::ecString});
        C.Setup(P);
        try {
            P.SetEnabled(true);
            ADD_FAILURE() << "armed";
        } catch (const EInvalidProperty& E) {
            EXPECT_EQ(E.ErrorCode(), C.Code);
        }
        EXPECT_FALSE(P.Enabled());
    }

    // Armed while closed, the rule is checked when the port opens, which
    // then fails.
    TFakePort Port;
    TDataPacket P;
    P.SetComPort(&Port);
    P.SetEnabled(true);
    EXPECT_THROW(Port.SetOpen(true), EInvalidProperty);
    EXPECT_FALSE(Port.Open());
    EXPECT_FALSE(Port.HandlerRegistered());
    P.SetStartString("\n");
    P.SetEndCond({TPacketEndCond::ecPacketSize});
    P.SetPacketSize(2);
    Port.SetOpen(true);
    EXPECT_EQ(TDataPacketProbe::Mode(P), TDataPacket::TMode::WaitingForStart);
}

TEST(Framer, ChangingTheEndStringRearmsWithTheNewOne)
{
    TBoard B;
    B.Port.Feed("\nold");
    B.Packet.SetEndString("#");
    EXPECT_TRUE(B.Packet.Enabled());
    B.Port.Feed("\r\nnew\r#");
    EXPECT_EQ(B.Lines, TLines{"new\r"});
}

TEST(Framer, PreparesDelimitersWithEscapesWildcardsAndCaseFolding)
{
    const TPacketPattern P("a\\?b?\\\\c\\", true);
    ASSERT_EQ(P.Chars(), std::string("A?B?\\C"));
    EXPECT_FALSE(P.IsWildcard(1));
    EXPECT_TRUE(P.IsWildcard(3));
    EXPECT_TRUE(P.Matches(0, 'a'));
    EXPECT_TRUE(P.Matches(0, 'A'));
    EXPECT_FALSE(P.Matches(1, 'x'));
    EXPECT_TRUE(P.Matches(1, '?'));
    EXPECT_TRUE(P.Matches(3, 0xFF));
    EXPECT_TRUE(P.Matches(4, '\\'));
    // Only a to z fold.
    const TPacketPattern U("\xe4", true);
    EXPECT_FALSE(U.Matches(0, 0xC4));

    const TPacketPattern Exact("ab", false);
    EXPECT_FALSE(Exact.Matches(0, 'A'));
    EXPECT_TRUE(Exact.Matches(1, 'b'));
}

TEST(Framer, MultiByteDelimitersFallBackAfterAPartialMatch)
{
    TBoard B;
    B.Packet.SetEnabled(false);
    B.Packet.SetStartString("<s?>");
    B.Packet.SetEndString("END");
    B.Packet.SetIgnoreCase(true);
    B.Packet.SetEnabled(true);
    // "<s<sX>" must fall back to the second "<"; "ENEND" to the second "EN".
    B.Port.Feed("<<s<sX>one eNEnd<S1>two EEND");
    EXPECT_EQ(B.Lines, (TLines{"one eN", "two E"}));
}

TEST(Framer, IncludesTheDelimitersWhenAsked)
{
    TBoard B;
    B.Packet.SetIncludeStrings(true);
    B.Port.Feed("x\nab\ry");
    EXPECT_EQ(B.Lines, TLines{"\nab\r"});
}

TEST(Framer, CountsPacketsBySize)
{
    TFakePort Port;
    Port.SetOpen(true);
    TDataPacket P;
    std::vector<std::string> Got;
    P.OnPacket = [&](QObject*, const char* Data, std::int32_t Size) {
        Got.emplace_back(Data, Size);
    };
    P.SetComPort(&Port);
    P.SetStartCond(TPacketStartCond::scAnyData);
    P.SetEndCond({TPacketEndCond::ecPacketSize});
    P.SetPacketSize(3);
    P.SetEnabled(true);
    Port.Feed("abcdefg");
    Port.Feed("hi");
    EXPECT_EQ(Got, (TLines{"abc", "def", "ghi"}));

    // Start string plus size: the size counts the start string.
    TDataPacket Q;
    std::vector<std::string> Sized;
    P.SetEnabled(false);
    Q.OnStringPacket = [&](QObject*, const std::string& S) { Sized.push_back(S); };
    Q.SetComPort(&Port);
    Q.SetStartString("#");
    Q.SetEndCond({TPacketEndCond::ecPacketSize});
    Q.SetPacketSize(3);
    Q.SetEnabled(true);
    Port.Feed("xx#12#34");
    EXPECT_EQ(Sized, (TLines{"#12", "#34"}));
}

TEST(Framer, ClosingThePortInsideTheHandlerStopsTheRestOfTheRead)
{
    TBoard B;
    B.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        B.Lines.push_back(Line);
        B.Packet.SetEnabled(false);
        B.Port.SetOpen(false);
    };
    B.Port.Feed("\none\r\ntwo\r");
    EXPECT_EQ(B.Lines, TLines{"one"});
    EXPECT_FALSE(B.Port.Open());
    EXPECT_EQ(TDataPacketProbe::Count(*B.Manager()), 0u);
}

TEST(Framer, LinesOneReadCompletesReachTheWindowInOneHandOffAndALineBegunGoesOn)
{
    TBoard B;
    std::vector<bool> EnabledInside;
    B.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        B.Lines.push_back(Line);
        EnabledInside.push_back(B.Packet.Enabled());
    };
    B.Port.Feed("junk\nA\r\nB\r-\nC\r\nD");
    EXPECT_EQ(B.Lines, (TLines{"A", "B", "C"}));
    EXPECT_EQ(B.Port.HandOffs, 1);
    EXPECT_EQ(EnabledInside, (std::vector<bool>{false, false, false})) << "as during any event";
    EXPECT_TRUE(B.Packet.Enabled());
    EXPECT_TRUE(B.Port.TimerActive) << "the line begun is being collected";
    EXPECT_EQ(TDataPacketProbe::Mode(B.Packet), TDataPacket::TMode::Collecting);
    B.Port.Feed("E\r");
    EXPECT_EQ(B.Lines, (TLines{"A", "B", "C", "DE"}));
    EXPECT_EQ(B.Port.HandOffs, 2);
    EXPECT_EQ(TDataPacketProbe::Count(*B.Manager()), 0u);

    // Taken off line by the first line's event: the rest of the read is gone.
    B.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        B.Lines.push_back(Line);
        B.Port.SetOpen(false);
    };
    B.Lines.clear();
    B.Port.Feed("\nF\r\nG\r\nH");
    EXPECT_EQ(B.Lines, TLines{"F"});
    EXPECT_EQ(TDataPacketProbe::Count(*B.Manager()), 0u);
}

TEST(Framer, ForgetsItsPortWhenThePortIsDestroyed)
{
    auto Port = std::make_unique<TFakePort>();
    TDataPacket P;
    P.SetComPort(Port.get());
    ASSERT_NE(TDataPacketManagerList::Find(Port.get()), nullptr);
    Port.reset();
    EXPECT_EQ(P.ComPort(), nullptr);
    P.SetEnabled(true); // no port: nothing to arm, nothing raised
    EXPECT_TRUE(P.Enabled());
}

PORTTEST_MAIN()
