// Status lights: how a light is painted, and the receive and error lights
// driven by the controller from a port on line.

#include "common/linkerror.h"
#include "common/tickclock.h"
#include "link/device/comnames.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"
#include "link/ui/guibridge.h"
#include "link/ui/slcontroller.h"
#include "link/ui/statuslight.h"
#include "port_testsupport.h"
#include "scriptedserialdevice.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

using namespace kelvalog;
using porttest::HoldsFor;
using porttest::TPtyPorts;
using porttest::WaitFor;

namespace {

const QColor Yellow(255, 255, 0), Olive(128, 128, 0), Gray(128, 128, 128);

QImage Picture(QWidget& W)
{
    return W.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The window's receive and error lights on a port, with a framer reading
// every byte as the window's does.
struct TLights
{
    TComPort Port;
    TDataPacket Packet;
    TStatusLight Receive;
    TStatusLight Error;
    TSLController Controller;
    QElapsedTimer Clock;
    // Times (ms since the clock started) the lights went on and off.
    std::vector<qint64> ReceiveOn, ReceiveOff, ErrorOn, ErrorOff;

    // Without OwnAvail the receive light alone hears of data, as in the window.
    explicit TLights(int Com, bool OwnAvail = true)
    {
        Port.SetComNumber(static_cast<std::uint16_t>(Com));
        Port.SetAutoOpen(false);
        Packet.SetComPort(&Port);
        Packet.SetStartString("\n");
        Packet.SetEndString("\r");
        Packet.SetEndCond({TPacketEndCond::ecString});
        Receive.SetLitColor(Yellow);
        Receive.SetNotLitColor(Olive);
        Error.SetNotLitColor(QColor(128, 0, 0));
        Controller.SetComPort(&Port);
        Controller.Lights().RXDLight = &Receive;
        Controller.Lights().ERRORLight = &Error;
        Controller.SetRXDOffTimeout(2);
        // Kept by the controller and called after its own handling.
        auto Track = [this](QObject*, std::uint16_t) {
            Note(Receive, ReceiveOn, ReceiveOff);
            Note(Error, ErrorOn, ErrorOff);
        };
        if (OwnAvail)
            Port.SetOnTriggerAvail(Track);
        Port.SetOnTriggerStatus(Track);
        Port.SetOnTriggerTimer(Track);
        Clock.start();
    }
    void Note(const TStatusLight& L, std::vector<qint64>& On, std::vector<qint64>& Off)
    {
        const bool WasLit = On.size() > Off.size();
        if (L.Lit() && !WasLit)
            On.push_back(Clock.elapsed());
        else if (!L.Lit() && WasLit)
            Off.push_back(Clock.elapsed());
    }
    void GoOnLine()
    {
        Port.SetOpen(true);
        Packet.SetEnabled(true);
        Controller.SetWatching(true);
    }
    void GoOffLine()
    {
        Packet.SetEnabled(false);
        Port.SetOpen(false);
        Controller.SetWatching(false);
    }
};

} // namespace

TEST(StatusLight, PaintsARaisedFaceInItsColour)
{
    TStatusLight L;
    EXPECT_EQ(L.size(), QSize(13, 13));
    EXPECT_EQ(L.LitColor(), QColor(255, 0, 0));
    EXPECT_EQ(L.NotLitColor(), QColor(0, 128, 0));
    EXPECT_FALSE(L.Lit());

    L.resize(17, 14);
    L.SetLitColor(Yellow);
    L.SetNotLitColor(Olive);
    for (bool Lit : {false, true}) {
        SCOPED_TRACE(Lit);
        L.SetLit(Lit);
        const QImage I = Picture(L);
        ASSERT_EQ(I.size(), QSize(17, 14));
        const QColor Face = Lit ? Yellow : Olive;
        EXPECT_EQ(I.pixelColor(8, 7), Face);
        EXPECT_EQ(I.pixelColor(15, 12), Face);
        for (int X = 0; X < 17; ++X)
            EXPECT_EQ(I.pixelColor(X, 0), QColor(Qt::white)) << "top " << X;
        for (int Y = 0; Y < 14; ++Y)
            EXPECT_EQ(I.pixelColor(0, Y), QColor(Qt::white)) << "left " << Y;
        for (int Y = 1; Y < 14; ++Y)
            EXPECT_EQ(I.pixelColor(16, Y), Gray) << "right " << Y;
        for (int X = 1; X < 17; ++X)
            EXPECT_EQ(I.pixelColor(X, 13), Gray) << "bottom " << X;
    }
}

TEST(StatusLight, AGlyphGivesItsHalvesAndItsSize)
{
    QWidget Parent;
    QPalette Pal = Parent.palette();
    Pal.setColor(QPalette::Window, QColor(10, 20, 30));
    Parent.setPalette(Pal);
    TStatusLight L(&Parent);
    QImage Bits(20, 8, QImage::Format_RGB32);
    Bits.fill(QColor(0, 0, 255));
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 10; ++X)
            Bits.setPixelColor(X, Y, QColor(255, 0, 0));
    // The top-left colour stands for the background.
    const QColor Key(255, 0, 255);
    Bits.setPixelColor(0, 0, Key);
    Bits.setPixelColor(10, 0, Key);
    L.SetGlyph(QPixmap::fromImage(Bits));
    EXPECT_EQ(L.size(), QSize(10, 8));
    L.setGeometry(0, 0, 40, 40);
    EXPECT_EQ(L.size(), QSize(10, 8));

    L.SetLit(true);
    QImage I = Picture(L);
    EXPECT_EQ(I.pixelColor(5, 5), QColor(255, 0, 0));
    EXPECT_EQ(I.pixelColor(0, 0), QColor(10, 20, 30));
    L.SetLit(false);
    I = Picture(L);
    EXPECT_EQ(I.pixelColor(5, 5), QColor(0, 0, 255));
    EXPECT_EQ(I.pixelColor(0, 0), QColor(10, 20, 30));

    L.SetGlyph(QPixmap());
    EXPECT_EQ(L.size(), QSize(13, 13));
}

TEST(LightController, WatchesOnlyWhileThePortIsOpenAndNeedsAPort)
{
    TSLController Lonely;
    EXPECT_THROW(Lonely.SetWatching(true), EPortNotAssigned);
    EXPECT_EQ(Lonely.ErrorOffTimeout(), 36);
    EXPECT_EQ(Lonely.BreakOffTimeout(), 36);
    EXPECT_EQ(Lonely.RXDOffTimeout(), 1);
    EXPECT_EQ(Lonely.TXDOffTimeout(), 1);
    EXPECT_EQ(Lonely.RingOffTimeout(), 8);

    // The first port among the owner's children is the default.
    QObject Owner;
    auto* Port = new TComPort(&Owner);
    TSLController Owned(&Owner);
    EXPECT_EQ(Owned.ComPort(), Port);

    TPtyPorts Ports;
    Ports.Add(4);
    TLights L(4);
    L.Controller.SetWatching(true);
    EXPECT_FALSE(L.Controller.Watching());
    EXPECT_TRUE(L.Controller.WatchPending());
    L.Port.SetOpen(true);
    EXPECT_TRUE(L.Controller.Watching());
    // Receive and error lights only: one line-error trigger and two timers.
    const auto& H = L.Controller.Handles();
    EXPECT_EQ(H.Modem, 0);
    EXPECT_EQ(H.OutSent, 0);
    EXPECT_EQ(H.BreakLine, 0);
    EXPECT_NE(H.ErrorLine, 0);
    EXPECT_NE(H.ErrorTimer, 0);
    EXPECT_NE(H.RxdTimer, 0);

    L.Port.SetOpen(false);
    EXPECT_FALSE(L.Controller.Watching());
    EXPECT_FALSE(L.Controller.WatchPending());
    L.Controller.SetWatching(false);
    EXPECT_FALSE(L.Controller.Watching());
}

TEST(LightController, ReceiveLightFlashesForTwoToThreeTicks)
{
    TPtyPorts Ports;
    Ports.Add(3);
    porttest::THandTicks Ticks;
    TLights L(3);
    L.GoOnLine();
    int Lines = 0;
    L.Packet.OnStringPacket = [&](QObject*, const std::string&) { ++Lines; };
    for (int Burst = 0; Burst < 3; ++Burst) {
        SCOPED_TRACE(Burst);
        Ports.Write(3, "\nT1 21.0\r");
        ASSERT_TRUE(WaitFor([&] { return L.Receive.Lit() && Lines == 2 * Burst + 1; }));
        // Lit for more than two ticks; bytes arriving meanwhile do not
        // restart its timer...
        Ticks.Advance(2);
        Ports.Write(3, "\nT2 20.0\r");
        ASSERT_TRUE(WaitFor([&] { return Lines == 2 * Burst + 2; }));
        EXPECT_TRUE(HoldsFor([&] { return L.Receive.Lit(); }, 200));
        // ...and out at the first check of the third.
        Ticks.Advance(1);
        EXPECT_TRUE(WaitFor([&] { return !L.Receive.Lit(); }));
    }
    L.GoOffLine();
}

TEST(LightController, AfterItsOffTimeoutTheReceiveLightLightsAgainForNewData)
{
    // The port stops telling a lit light of data, and must start again.
    TPtyPorts Ports;
    Ports.Add(3);
    porttest::THandTicks Ticks;
    TLights L(3, false);
    L.GoOnLine();
    int Lines = 0;
    L.Packet.OnStringPacket = [&](QObject*, const std::string&) { ++Lines; };
    for (int Burst = 1; Burst <= 3; ++Burst) {
        SCOPED_TRACE(Burst);
        Ports.Write(3, "\nT1 21.0\r");
        ASSERT_TRUE(WaitFor([&] { return L.Receive.Lit() && Lines == Burst; }));
        Ticks.Advance(3);
        ASSERT_TRUE(WaitFor([&] { return !L.Receive.Lit(); }));
        Ticks.Advance(1); // the next notice may come in a new tick only
    }
    L.GoOffLine();
}

TEST(LightController, GoingOffLineTurnsTheLightsOffAtOnce)
{
    auto Line = std::make_shared<TScriptedLine>();
    const std::string Path = ComDevicePath(5);
    SetSerialDeviceFactory(
        ScriptedDeviceFactory([&](const std::string& P) { return P == Path ? Line : nullptr; }));
    {
        TLights L(5);
        L.Controller.SetRXDOffTimeout(1000);
        L.GoOnLine();
        Line->InjectLineErrors(lineerr::Frame);
        Line->PushBytes("\nx\r");
        ASSERT_TRUE(WaitFor([&] { return L.Receive.Lit() && L.Error.Lit(); }));
        L.Port.SetOpen(false);
        EXPECT_FALSE(L.Receive.Lit());
        EXPECT_FALSE(L.Error.Lit());
        EXPECT_FALSE(L.Controller.Watching());
        L.GoOffLine();
    }
    SetSerialDeviceFactory(nullptr);
}

TEST(LightController, ErrorLightHoldsAboutTwoSecondsThroughABurst)
{
    auto Line = std::make_shared<TScriptedLine>();
    const std::string Path = ComDevicePath(5);
    SetSerialDeviceFactory(
        ScriptedDeviceFactory([&](const std::string& P) { return P == Path ? Line : nullptr; }));
    {
        porttest::THandTicks Ticks;
        TLights L(5);
        L.GoOnLine();
        Line->InjectLineErrors(lineerr::Frame);
        ASSERT_TRUE(WaitFor([&] { return L.Error.Lit(); }));
        // More errors while it is lit do not keep it on longer...
        for (int Tick = 0; Tick < 36; ++Tick) {
            Line->InjectLineErrors(lineerr::Parity);
            Ticks.Advance(1);
        }
        EXPECT_TRUE(HoldsFor([&] { return L.Error.Lit(); }, 200));
        EXPECT_EQ(L.ErrorOff.size(), 0u);
        // ...it goes out after 36 to 37 ticks and, since errors came
        // meanwhile, lights again at once.
        Ticks.Advance(1);
        ASSERT_TRUE(WaitFor([&] { return L.ErrorOff.size() == 1 && L.ErrorOn.size() == 2; }));
        EXPECT_TRUE(L.Error.Lit());
        // Without new errors it stays dark after the next hold.
        Ticks.Advance(37);
        ASSERT_TRUE(WaitFor([&] { return !L.Error.Lit(); }));
        EXPECT_TRUE(HoldsFor([&] { return !L.Error.Lit(); }, 200));
        EXPECT_EQ(L.ErrorOn.size(), 2u);
        L.GoOffLine();
    }
    SetSerialDeviceFactory(nullptr);
}

PORTTEST_MAIN()
