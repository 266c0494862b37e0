// The port component over pseudo-terminals: choosing the port, opening
// failures, subscribers, lines through the framer, closing from inside an
// event and a device that vanishes.

#include "common/linkerror.h"
#include "datapacketprobe.h"
#include "link/dispatch/dispatcher.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"
#include "link/ui/guibridge.h"
#include "port_testsupport.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <termios.h>
#include <thread>

using namespace kelvalog;
using porttest::TDialogAnswerer;
using porttest::TPtyPorts;
using porttest::TTestApplication;
using porttest::WaitFor;

namespace {

// A port on line with a board-line framer, as the window sets them up.
struct TLink
{
    TComPort Port;
    TDataPacket Packet;
    std::vector<std::string> Lines;
    int Timeouts = 0;

    TLink()
    {
        Port.SetAutoOpen(false);
        Packet.SetComPort(&Port);
        Packet.SetStartString("\n");
        Packet.SetEndString("\r");
        Packet.SetEndCond({TPacketEndCond::ecString});
        Packet.SetIncludeStrings(false);
        Packet.SetTimeOut(1000);
        Packet.OnStringPacket = [this](QObject*, const std::string& Line) {
            Lines.push_back(Line);
        };
        Packet.OnTimeout = [this](QObject*) {
            ++Timeouts;
            Packet.SetEnabled(true);
        };
    }
    void GoOnLine(int Com)
    {
        Port.SetComNumber(static_cast<std::uint16_t>(Com));
        Port.SetBaud(9600);
        Port.SetOpen(true);
        Packet.SetEnabled(true);
    }
    void GoOffLine()
    {
        Packet.SetEnabled(false);
        Port.SetOpen(false);
    }
};

template <class E> bool Raises(const std::function<void()>& Fn, int Code)
{
    try {
        Fn();
    } catch (const E& Error) {
        return Error.ErrorCode() == Code;
    }
    return false;
}

} // namespace

TEST(Port, HasTheDefaultsOfANewPort)
{
    TComPort P;
    EXPECT_EQ(P.ComNumber(), 0);
    EXPECT_EQ(P.Baud(), 19200);
    EXPECT_EQ(P.Parity(), TParity::pNone);
    EXPECT_EQ(P.DataBits(), 8);
    EXPECT_EQ(P.StopBits(), 1);
    EXPECT_EQ(P.InSize(), 4096);
    EXPECT_EQ(P.OutSize(), 4096);
    EXPECT_TRUE(P.DTR());
    EXPECT_TRUE(P.RTS());
    EXPECT_EQ(P.HWFlowOptions(), 0);
    EXPECT_EQ(P.SWFlowOptions(), TSWFlowOptions::swfNone);
    EXPECT_EQ(P.XOnChar(), 17);
    EXPECT_EQ(P.XOffChar(), 19);
    EXPECT_EQ(P.BufferFull(), 0);
    EXPECT_EQ(P.BufferResume(), 0);
    EXPECT_TRUE(P.PromptForPort());
    EXPECT_TRUE(P.AutoOpen());
    EXPECT_FALSE(P.Open());
    EXPECT_EQ(P.TapiMode(), TTapiMode::tmAuto);
    EXPECT_EQ(P.DeviceLayer(), TDeviceLayer::dlWin32);
    EXPECT_FALSE(P.RS485Mode());
    EXPECT_EQ(P.PortState(), TPortState::psClosed);
}

TEST(Port, FirstOpeningAsksForThePortAndSetsTheBoardLine)
{
    TPtyPorts Ports;
    Ports.Add(1);
    const int Far = Ports.Add(3);
    Ports.Add(12);
    TDialogAnswerer Answer([](TComSelectForm* F) { TDialogAnswerer::Choose(F, "COM3"); });
    TComPort P;
    P.SetAutoOpen(false);
    P.SetBaud(9600);
    P.SetOpen(true);
    EXPECT_EQ(Answer.Shown, 1);
    ASSERT_EQ(Answer.Lists.size(), 1u);
    EXPECT_EQ(Answer.Lists[0], (std::vector<std::string>{"COM1", "COM3", "COM12"}));
    EXPECT_TRUE(P.Open());
    EXPECT_EQ(P.ComNumber(), 3);
    EXPECT_EQ(P.PortState(), TPortState::psOpen);

    termios T{};
    ASSERT_EQ(::tcgetattr(Far, &T), 0);
    EXPECT_EQ(::cfgetispeed(&T), static_cast<speed_t>(B9600));
    EXPECT_EQ(T.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(T.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(T.c_iflag & (IXON | IXOFF), 0u);

    // The number stays for the rest of the run: no dialog at the next opening.
    P.SetOpen(false);
    EXPECT_FALSE(P.Open());
    P.SetOpen(true);
    EXPECT_EQ(Answer.Shown, 1);
    EXPECT_TRUE(P.Open());
}

TEST(Port, NoChoiceInTheDialogFailsAndTheDialogComesBack)
{
    TPtyPorts Ports;
    Ports.Add(2);
    int Round = 0;
    TDialogAnswerer Answer([&](TComSelectForm* F) {
        if (++Round == 1)
            F->AbortBtn->click();
        else
            F->close(); // the close box
    });
    TComPort P;
    P.SetAutoOpen(false);
    EXPECT_TRUE(Raises<ENoPortSelected>([&] { P.SetOpen(true); }, ecode::NoPortSelected));
    EXPECT_TRUE(Raises<EOpenComm>([&] { P.SetOpen(true); }, ecode::NoPortSelected));
    EXPECT_EQ(Answer.Shown, 2);
    EXPECT_EQ(P.ComNumber(), 0);
    EXPECT_FALSE(P.Open());
    EXPECT_EQ(P.PortState(), TPortState::psClosed);

    P.SetPromptForPort(false);
    EXPECT_TRUE(Raises<ENoPortSelected>([&] { P.SetOpen(true); }, ecode::NoPortSelected));
    EXPECT_EQ(Answer.Shown, 2);
}

TEST(Port, OkWithAnEmptyListCountsAsNoChoice)
{
    TPtyPorts Ports; // an empty ports folder
    TDialogAnswerer Answer([](TComSelectForm* F) {
        EXPECT_EQ(F->PortsComboBox->count(), 0);
        F->OkBtn->click();
    });
    TComPort P;
    P.SetAutoOpen(false);
    EXPECT_TRUE(Raises<EOpenComm>([&] { P.SetOpen(true); }, ecode::NoPortSelected));
    EXPECT_EQ(Answer.Shown, 1);
    EXPECT_EQ(P.ComNumber(), 0);
    EXPECT_FALSE(P.Open());
}

TEST(Port, APortInUseIsListedAndRefusedUntilItIsReleased)
{
    TPtyPorts Ports;
    Ports.Add(1);
    Ports.Add(4);
    auto Holder = std::make_unique<TComPort>();
    Holder->SetComNumber(4);
    Holder->SetOpen(true);

    TDialogAnswerer Answer([](TComSelectForm* F) { TDialogAnswerer::Choose(F, "COM4"); });
    TComPort P;
    P.SetAutoOpen(false);
    EXPECT_TRUE(Raises<EAlreadyOpen>([&] { P.SetOpen(true); }, ecode::AlreadyOpen));
    ASSERT_EQ(Answer.Lists.size(), 1u);
    EXPECT_EQ(Answer.Lists[0], (std::vector<std::string>{"COM1", "COM4"}));
    EXPECT_EQ(P.ComNumber(), 4);
    EXPECT_FALSE(P.Open());

    EXPECT_TRUE(Raises<EOpenComm>([&] { P.SetOpen(true); }, ecode::AlreadyOpen));
    EXPECT_EQ(Answer.Shown, 1);

    Holder.reset();
    P.SetOpen(true);
    EXPECT_TRUE(P.Open());
    EXPECT_EQ(Answer.Shown, 1);
}

TEST(Port, AMissingPortIsABadId)
{
    TPtyPorts Ports;
    TComPort P;
    P.SetComNumber(9);
    EXPECT_TRUE(Raises<EBadId>([&] { P.SetOpen(true); }, ecode::BadId));
    EXPECT_FALSE(P.Open());
    P.SetAutoOpen(false);
    EXPECT_TRUE(Raises<ECommNotOpen>([&] { P.CharReady(); }, ecode::CommNotOpen));
}

TEST(Port, RepeatedOpenAndCloseChangeNothingAndSubscribersHearInReverseOrder)
{
    TPtyPorts Ports;
    Ports.Add(5);
    TComPort P;
    P.SetComNumber(5);
    std::vector<std::string> Heard;
    P.RegisterCallback(&Heard, [&](QObject*, bool Opening) {
        Heard.push_back(Opening ? "simple open" : "simple closed");
    });
    int Key2 = 0;
    P.RegisterCallbackEx(&Key2, [&](QObject*, TPortCallbackKind K) {
        Heard.push_back(K == TPortCallbackKind::pckOpen      ? "full open"
                        : K == TPortCallbackKind::pckClosing ? "full closing"
                                                             : "full closed");
    });
    P.OnPortOpen = [&](QObject*) { Heard.push_back("OnPortOpen"); };
    P.OnPortClose = [&](QObject*) { Heard.push_back("OnPortClose"); };

    P.SetOpen(false);
    EXPECT_TRUE(Heard.empty());
    P.SetOpen(true);
    P.SetOpen(true);
    P.SetBaud(9600); // applied at once while open
    P.SetOpen(false);
    P.SetOpen(false);
    EXPECT_EQ(Heard,
              (std::vector<std::string>{"full open", "simple open", "OnPortOpen", "full closing",
                                        "full closed", "simple closed", "OnPortClose"}));
    P.DeregisterCallback(&Heard);
    P.DeregisterCallbackEx(&Key2);
    Heard.clear();
    P.SetOpen(true);
    P.SetOpen(false);
    EXPECT_EQ(Heard, (std::vector<std::string>{"OnPortOpen", "OnPortClose"}));

    // Subscribers may leave while they hear of the closing; those gone hear
    // nothing more.
    int Key3 = 0, Key4 = 0;
    P.RegisterCallbackEx(&Key3, [&](QObject*, TPortCallbackKind) { Heard.push_back("third"); });
    P.RegisterCallbackEx(&Key4, [&](QObject*, TPortCallbackKind K) {
        if (K != TPortCallbackKind::pckClosing)
            return;
        P.DeregisterCallbackEx(&Key4);
        P.DeregisterCallbackEx(&Key3);
    });
    Heard.clear();
    P.SetOpen(true);
    P.SetOpen(false);
    EXPECT_EQ(Heard, (std::vector<std::string>{"third", "OnPortOpen", "OnPortClose"}));
}

TEST(Port, LinesArriveInOrderOneHandlerAtATime)
{
    TPtyPorts Ports;
    Ports.Add(2);
    TLink L;
    bool Inside = false;
    bool Overlap = false;
    L.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        Overlap = Overlap || Inside;
        Inside = true;
        // A slow handler: the next line must wait for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        L.Lines.push_back(Line);
        Inside = false;
    };
    L.GoOnLine(2);
    Ports.Write(2, "junk\r\nP 1013.2\r\nT1 21.5\r\n");
    Ports.Write(2, "T2 ");
    ASSERT_TRUE(WaitFor([&] { return L.Lines.size() >= 2; }));
    Ports.Write(2, "19.0");
    Ports.Write(2, "\r\n\r");
    ASSERT_TRUE(WaitFor([&] { return L.Lines.size() >= 4; }));
    EXPECT_EQ(L.Lines, (std::vector<std::string>{"P 1013.2", "T1 21.5", "T2 19.0", ""}));
    EXPECT_FALSE(Overlap);
    L.GoOffLine();
}

TEST(Port, ANewNumberWhileOpenMovesTheLinkAndItsArmedFramer)
{
    TPtyPorts Ports;
    Ports.Add(2);
    Ports.Add(3);
    Ports.Add(4);
    TLink L;
    const auto Errors = TTestApplication::Instance()->Caught.size();
    // The second number is set from inside the line handler, where the
    // closing has to wait until the handler has returned.
    L.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        L.Lines.push_back(Line);
        if (Line == "to 4")
            L.Port.SetComNumber(4);
    };
    auto OnLineAt = [&](int Com) {
        return WaitFor([&] {
            return L.Port.PortState() == TPortState::psOpen && L.Port.ComNumber() == Com &&
                   TDataPacketProbe::Mode(L.Packet) == TDataPacket::TMode::WaitingForStart;
        });
    };
    L.GoOnLine(2);
    L.Port.SetComNumber(3);
    ASSERT_TRUE(OnLineAt(3));
    Ports.Write(3, "\nto 4\r");
    ASSERT_TRUE(OnLineAt(4));
    Ports.Write(4, "\nB\r");
    ASSERT_TRUE(WaitFor([&] { return L.Lines.size() == 2; }));
    EXPECT_EQ(L.Lines, (std::vector<std::string>{"to 4", "B"}));
    EXPECT_EQ(TTestApplication::Instance()->Caught.size(), Errors);
    L.GoOffLine();
}

TEST(Port, AnUnfinishedLineTimesOutOnceAndTheNextLineStartsFresh)
{
    TPtyPorts Ports;
    Ports.Add(2);
    porttest::THandTicks Ticks;
    TLink L;
    L.Packet.SetTimeOut(2);
    L.GoOnLine(2);
    Ports.Write(2, "\nno end");
    ASSERT_TRUE(WaitFor(
        [&] { return TDataPacketProbe::Mode(L.Packet) == TDataPacket::TMode::Collecting; }));
    // More than two ticks after the line feed, not earlier.
    Ticks.Advance(2);
    EXPECT_TRUE(porttest::HoldsFor([&] { return L.Timeouts == 0; }, 200));
    Ticks.Advance(1);
    ASSERT_TRUE(WaitFor([&] { return L.Timeouts > 0; }));
    Ports.Write(2, " at all\r\nfresh\r");
    ASSERT_TRUE(WaitFor([&] { return !L.Lines.empty(); }));
    EXPECT_EQ(L.Lines, std::vector<std::string>{"fresh"});
    // Once only: nothing is collecting any more.
    Ticks.Advance(10);
    EXPECT_TRUE(porttest::HoldsFor([&] { return L.Timeouts == 1; }, 200));
    L.GoOffLine();
}

TEST(Port, ArmingAndDisarmingWhileLinesPourInKeepsEveryLineWhole)
{
    TPtyPorts Ports;
    Ports.Add(3);
    TLink L;
    L.GoOnLine(3);
    std::atomic<bool> Done{false};
    std::thread Board([&] {
        for (int I = 0; I < 2000; ++I)
            Ports.Write(3, "\nline " + std::to_string(I) + " end\r");
        Done = true;
    });
    int Toggles = 0;
    while (!Done || Toggles < 100) {
        L.Packet.SetEnabled(++Toggles % 2 == 0);
        QCoreApplication::processEvents();
    }
    Board.join();
    L.Packet.SetEnabled(true);
    Ports.Write(3, "\nlast\r");
    ASSERT_TRUE(WaitFor([&] { return !L.Lines.empty() && L.Lines.back() == "last"; }));
    for (std::size_t I = 0; I + 1 < L.Lines.size(); ++I) {
        const auto& Line = L.Lines[I];
        EXPECT_TRUE(Line.rfind("line ", 0) == 0 && Line.size() > 9 &&
                    Line.compare(Line.size() - 4, 4, " end") == 0)
            << Line;
    }
    L.GoOffLine();
}

TEST(Port, GoingOffLineFromInsideTheLineHandlerDoesNotBlock)
{
    TPtyPorts Ports;
    Ports.Add(6);
    TLink L;
    qint64 CloseTook = -1;
    TPortState StateInside = TPortState::psOpen;
    L.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        L.Lines.push_back(Line);
        QElapsedTimer Clock;
        Clock.start();
        L.GoOffLine();
        CloseTook = Clock.elapsed();
        StateInside = L.Port.PortState();
    };
    L.GoOnLine(6);
    Ports.Write(6, "\nfirst\r\nsecond\r");
    ASSERT_TRUE(WaitFor([&] { return L.Port.PortState() == TPortState::psClosed; }));
    EXPECT_EQ(L.Lines, std::vector<std::string>{"first"});
    EXPECT_GE(CloseTook, 0);
    EXPECT_LT(CloseTook, 1000);
    // The teardown waited for the handler to return.
    EXPECT_EQ(StateInside, TPortState::psShuttingDown);
    EXPECT_FALSE(L.Port.Open());
    EXPECT_EQ(L.Port.Dispatcher(), nullptr);

    // And on line again on the same number.
    L.Lines.clear();
    L.Packet.OnStringPacket = [&](QObject*, const std::string& Line) { L.Lines.push_back(Line); };
    L.GoOnLine(6);
    Ports.Write(6, "\nthird\r");
    ASSERT_TRUE(WaitFor([&] { return !L.Lines.empty(); }));
    EXPECT_EQ(L.Lines, std::vector<std::string>{"third"});
    L.GoOffLine();
}

TEST(Port, TheExceptionOfALineHandlerReachesTheApplication)
{
    TPtyPorts Ports;
    Ports.Add(7);
    auto* App = TTestApplication::Instance();
    App->Caught.clear();
    TLink L;
    // As the window does: the application's handler takes the link off line.
    App->OnException = [&](std::exception_ptr) { L.GoOffLine(); };
    L.Packet.OnStringPacket = [&](QObject*, const std::string& Line) {
        L.Lines.push_back(Line);
        throw std::runtime_error("bad line");
    };
    L.GoOnLine(7);
    Ports.Write(7, "\nx\r\ny\r");
    ASSERT_TRUE(WaitFor([&] { return L.Port.PortState() == TPortState::psClosed; }));
    App->OnException = nullptr;
    EXPECT_EQ(App->Caught.size(), 1u);
    EXPECT_EQ(L.Lines, std::vector<std::string>{"x"});
}

TEST(Port, TriggerEventsRunOnTheWindowThreadAndTheirErrorsReachTheApplication)
{
    TPtyPorts Ports;
    Ports.Add(9);
    auto* App = TTestApplication::Instance();
    App->Caught.clear();
    TLink L;
    std::vector<std::uint16_t> Messages;
    L.Port.OnTrigger = [&](QObject* CP, std::uint16_t Msg, std::uint16_t, std::uint16_t) {
        EXPECT_EQ(CP, &L.Port);
        EXPECT_EQ(QThread::currentThread(), App->thread());
        Messages.push_back(Msg);
    };
    L.Port.SetOnTriggerAvail([&](QObject*, std::uint16_t Count) {
        EXPECT_GT(Count, 0);
        throw std::runtime_error("light broken");
    });
    // The application's handler goes off line from inside the event.
    App->OnException = [&](std::exception_ptr) { L.GoOffLine(); };
    L.GoOnLine(9);
    Ports.Write(9, "\nabc\r");
    ASSERT_TRUE(WaitFor([&] { return L.Port.PortState() == TPortState::psClosed; }));
    App->OnException = nullptr;
    EXPECT_EQ(App->Caught.size(), 1u);
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages[0], msg::TriggerAvail);
}

TEST(Port, AVanishedDeviceIsReportedOnceAndTheLinkCanComeBack)
{
    TPtyPorts Ports;
    Ports.Add(8);
    auto* App = TTestApplication::Instance();
    App->Caught.clear();
    TLink L;
    int Reports = 0;
    App->OnException = [&](std::exception_ptr E) {
        try {
            std::rethrow_exception(E);
        } catch (const EInOutError&) {
            ++Reports;
        } catch (...) {
            // Only the device-lost reports are counted.
        }
        L.GoOffLine();
    };
    L.GoOnLine(8);
    Ports.Write(8, "\nbefore\r");
    ASSERT_TRUE(WaitFor([&] { return L.Lines.size() == 1; }));

    Ports.Hangup(8);
    ASSERT_TRUE(WaitFor([&] { return Reports > 0; }));
    ASSERT_TRUE(WaitFor([&] { return L.Port.PortState() == TPortState::psClosed; }));
    QElapsedTimer Quiet;
    Quiet.start();
    WaitFor([&] { return Quiet.elapsed() > 300; });
    EXPECT_EQ(Reports, 1);
    EXPECT_EQ(App->Caught.size(), 1u);
    App->OnException = nullptr;

    // The adapter comes back under the same name.
    Ports.Add(8);
    L.GoOnLine(8);
    EXPECT_TRUE(L.Port.Open());
    Ports.Write(8, "\nafter\r");
    ASSERT_TRUE(WaitFor([&] { return L.Lines.size() == 2; }));
    EXPECT_EQ(L.Lines[1], "after");
    L.GoOffLine();
}

PORTTEST_MAIN()
