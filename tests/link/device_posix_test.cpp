#include "common/linkerror.h"
#include "link/device/comnames.h"
#include "link/dispatch/dispatcher.h"
#include "link/device/posixserialdevice.h"

#include "device_pty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace kelvalog;
using namespace std::chrono;

namespace {

TDeviceSettings Line9600()
{
    TDeviceSettings S;
    S.Baud = 9600;
    S.DataBits = 8;
    S.Parity = 0;
    S.StopBits = 0;
    return S;
}

std::string ReadAll(TPosixSerialDevice& Device, std::size_t Want)
{
    std::string Got;
    const auto End = steady_clock::now() + 2s;
    while (Got.size() < Want && steady_clock::now() < End) {
        if (Device.WaitReadable(50) <= 0)
            continue;
        char Buffer[512];
        const int N = Device.Read(Buffer, sizeof Buffer);
        if (N < 0)
            break;
        Got.append(Buffer, static_cast<std::size_t>(N));
    }
    return Got;
}

} // namespace

TEST(PosixSerialDevice, OpensPtyAppliesSettingsAndPassesBytesUnchanged)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    test::MakeRaw(Pty.Master());
    TPosixSerialDevice Device;
    ASSERT_EQ(Device.Open(Pty.Path()), 0);
    // A pseudo-terminal has no modem lines and no error counters: the device
    // still opens and the queries report nothing instead of failing.
    std::uint8_t Modem = 0xFF;
    EXPECT_EQ(Device.GetModemStatus(Modem), 0);
    EXPECT_EQ(Modem, 0);
    std::uint32_t Errors = 0;
    EXPECT_EQ(Device.CollectErrors(Errors), 0);
    EXPECT_EQ(Errors, 0u);
    EXPECT_EQ(Device.SetDtr(true), 0);

    ASSERT_EQ(Device.SetSettings(Line9600()), 0);
    TDeviceSettings Now;
    ASSERT_EQ(Device.GetSettings(Now), 0);
    EXPECT_EQ(Now.Baud, 9600u);
    EXPECT_EQ(Now.DataBits, 8);
    EXPECT_EQ(Now.Parity, 0);
    EXPECT_EQ(Now.StopBits, 0);
    EXPECT_TRUE(Now.Binary);

    // A pseudo-terminal keeps 8 data bits and no parity whatever is asked;
    // that must not fail the settings.
    TDeviceSettings Other = Line9600();
    Other.Baud = 57600;
    Other.DataBits = 7;
    Other.Parity = 2;
    Other.StopBits = 2;
    ASSERT_EQ(Device.SetSettings(Other), 0);
    ASSERT_EQ(Device.GetSettings(Now), 0);
    EXPECT_EQ(Now.Baud, 57600u);
    EXPECT_EQ(Now.StopBits, 2);

    TDeviceSettings Bad = Line9600();
    Bad.Baud = 12345;
    EXPECT_EQ(Device.SetSettings(Bad), ecode::InvalidParameter);

    // Line endings, control characters and 0xFF arrive as sent: no
    // translation, no line editing, no signals, no echo.
    ASSERT_EQ(Device.SetSettings(Line9600()), 0);
    const std::string Sent("\n12.5;\r\x03\x1a\x7f\xff\x00z", 11);
    Pty.Write(Sent);
    EXPECT_EQ(ReadAll(Device, Sent.size()), Sent);
    pollfd Echo{Pty.Master(), POLLIN, 0};
    EXPECT_EQ(::poll(&Echo, 1, 20), 0) << "the device echoed input back";
}

TEST(PosixSerialDevice, SecondOpeningIsRefusedAsInUseUntilClosed)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TPosixSerialDevice First, Second;
    ASSERT_EQ(First.Open(Pty.Path()), 0);
    EXPECT_EQ(Second.Open(Pty.Path()), ecode::AccessDenied);
    EXPECT_FALSE(Second.IsOpen());
    EXPECT_EQ(TSerialDispatcher::ProbeDevice(Pty.Path()), ecode::AccessDenied);
    First.Close();
    EXPECT_EQ(Second.Open(Pty.Path()), 0);
    Second.Close();
    EXPECT_EQ(TSerialDispatcher::ProbeDevice(Pty.Path()), 0);
}

TEST(PosixSerialDevice, MissingOrNonTerminalDeviceDoesNotExist)
{
    TPosixSerialDevice Device;
    EXPECT_EQ(Device.Open("/dev/kelvalog-no-such-port"), ecode::FileNotFound);
    EXPECT_EQ(Device.Open("/dev/null"), ecode::FileNotFound);
    EXPECT_EQ(Device.Open("/nonexistent-dir/x/ttyS0"), ecode::FileNotFound);
    EXPECT_FALSE(Device.IsOpen());
    EXPECT_EQ(TPosixSerialDevice::OpenErrorCode(EIO), ecode::FileNotFound);
    EXPECT_EQ(TPosixSerialDevice::OpenErrorCode(EBUSY), ecode::AccessDenied);
    EXPECT_EQ(TPosixSerialDevice::OpenErrorCode(EACCES), ecode::AccessDenied);
    EXPECT_EQ(TSerialDispatcher::ProbeDevice("/dev/kelvalog-no-such-port"), ecode::FileNotFound);
}

TEST(PosixSerialDevice, HangUpIsAnErrorNotAnEndlessReadiness)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TPosixSerialDevice Device;
    ASSERT_EQ(Device.Open(Pty.Path()), 0);
    ASSERT_EQ(Device.SetSettings(Line9600()), 0);
    EXPECT_EQ(Device.WaitReadable(10), 0);
    char Byte;
    EXPECT_EQ(Device.Read(&Byte, 1), 0) << "an empty read is not a hang-up";
    Pty.CloseMaster();
    const auto Start = steady_clock::now();
    bool Failed = false;
    for (int I = 0; I < 5 && !Failed; ++I) {
        const int Wait = Device.WaitReadable(1000);
        Failed = Wait < 0 || (Wait > 0 && Device.Read(&Byte, 1) < 0);
    }
    EXPECT_TRUE(Failed);
    EXPECT_LT(steady_clock::now() - Start, 1s);
    EXPECT_LT(Device.Read(&Byte, 1), 0);
    std::uint32_t Events = 0;
    EXPECT_LT(Device.WaitLineEvent(evt::DefaultMask, 1000, Events), 0);
}

TEST(PosixSerialDevice, WakeEndsWaitsAtOnceUntilReset)
{
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    TPosixSerialDevice Device;
    ASSERT_EQ(Device.Open(Pty.Path()), 0);
    Device.Wake();
    const auto Start = steady_clock::now();
    std::uint32_t Events = 1;
    EXPECT_EQ(Device.WaitReadable(5000), 0);
    EXPECT_EQ(Device.WaitLineEvent(evt::DefaultMask, 5000, Events), 0);
    EXPECT_EQ(Events, 0u);
    EXPECT_LT(steady_clock::now() - Start, 1s);
    Device.ResetWake();
    EXPECT_EQ(Device.WaitLineEvent(evt::DefaultMask, 60, Events), 0);
    EXPECT_GE(steady_clock::now() - Start, 55ms);
}

TEST(ComNames, TableAndPortsFolder)
{
    ::unsetenv("KELVALOG_PORTS");
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(ComDevicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(64), "/dev/ttyUSB31");
    EXPECT_EQ(ComDevicePath(65), "/dev/ttyACM0");
    EXPECT_EQ(ComDevicePath(96), "/dev/ttyACM31");
    EXPECT_EQ(ComDevicePath(97), "");
    EXPECT_EQ(ComDevicePath(0), "");
    EXPECT_EQ(ResolvePortName("com3"), "/dev/ttyS2");
    EXPECT_EQ(ResolvePortName("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(ResolvePortName("COM3x"), "COM3x");

    // A ports folder replaces the table; its entry is usually a link to a pty.
    test::TPty Pty;
    ASSERT_TRUE(Pty.Valid());
    namespace fs = std::filesystem;
    const fs::path Folder =
        fs::temp_directory_path() / ("kelvalog-ports-" + std::to_string(::getpid()));
    fs::create_directories(Folder);
    fs::create_symlink(Pty.Path(), Folder / "COM5");
    ::setenv("KELVALOG_PORTS", Folder.c_str(), 1);
    EXPECT_EQ(ComDevicePath(5), (Folder / "COM5").string());
    EXPECT_EQ(ComDevicePath(200), (Folder / "COM200").string());
    EXPECT_EQ(TSerialDispatcher::ProbeDevice("COM5"), 0);
    EXPECT_EQ(TSerialDispatcher::ProbeDevice("COM6"), ecode::FileNotFound);
    ::unsetenv("KELVALOG_PORTS");
    fs::remove_all(Folder);
}
