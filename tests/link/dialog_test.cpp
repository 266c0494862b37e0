// The port selection dialog: its face, its keys and the ports it lists.

#include "common/linkerror.h"
#include "fakesysfs.h"
#include "link/device/openfailure.h"
#include "link/device/portinfo.h"
#include "link/port/comport.h"
#include "link/ui/comselectform.h"
#include "link/ui/guibridge.h"
#include "port_testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvalog;
using porttest::TFakeSysfs;
using porttest::TPtyPorts;

namespace {

std::vector<std::string> Items(const TComSelectForm& F)
{
    std::vector<std::string> R;
    for (int I = 0; I < F.PortsComboBox->count(); ++I)
        R.push_back(F.PortsComboBox->itemText(I).toStdString());
    return R;
}

// The control Tab moves to from W.
QWidget* NextTabStop(QWidget* W)
{
    for (QWidget* N = W->nextInFocusChain(); N && N != W; N = N->nextInFocusChain())
        if (N->focusPolicy() & Qt::TabFocus)
            return N;
    return nullptr;
}

} // namespace

TEST(PortDialog, LooksAsDesigned)
{
    TPtyPorts Ports;
    // The dialog takes the program's font, the one its window was laid out with.
    const QFont Saved = QApplication::font();
    QFont Narrow(QStringLiteral("DejaVu Sans"));
    Narrow.setPixelSize(11);
    QApplication::setFont(Narrow);
    TComSelectForm F;
    QApplication::setFont(Saved);
    EXPECT_EQ(F.windowTitle(), "Select Port");
    EXPECT_EQ(F.size(), QSize(220, 131));
    EXPECT_EQ(F.minimumSize(), F.maximumSize());
    EXPECT_TRUE(F.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(F.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(F.font().family(), "DejaVu Sans");
    EXPECT_EQ(F.font().pixelSize(), 11);

    EXPECT_EQ(F.Label1->text(), "The configured serial port is not valid.");
    EXPECT_EQ(F.Label1->geometry(), QRect(18, 14, 176, 13));
    EXPECT_EQ(F.Label2->text(), "Please choose another port.");
    EXPECT_EQ(F.Label2->geometry(), QRect(18, 30, 133, 13));
    EXPECT_EQ(F.Bevel1->geometry(), QRect(8, 8, 201, 42));
    EXPECT_EQ(F.PortsComboBox->geometry(), QRect(8, 64, 201, 21));
    EXPECT_FALSE(F.PortsComboBox->isEditable());
    EXPECT_EQ(F.OkBtn->text(), "OK");
    EXPECT_EQ(F.OkBtn->geometry(), QRect(8, 95, 85, 27));
    EXPECT_TRUE(F.OkBtn->isDefault());
    EXPECT_EQ(F.AbortBtn->text(), "Cancel");
    EXPECT_EQ(F.AbortBtn->geometry(), QRect(124, 95, 85, 27));

    // Tab order: OK, Cancel, the list.
    EXPECT_EQ(NextTabStop(F.OkBtn), F.AbortBtn);
    EXPECT_EQ(NextTabStop(F.AbortBtn), F.PortsComboBox);
    EXPECT_EQ(NextTabStop(F.PortsComboBox), F.OkBtn);
}

TEST(PortDialog, EnterChoosesEscapeDoesNothingTheCloseBoxCancels)
{
    TPtyPorts Ports;
    {
        TComSelectForm F;
        F.show();
        QTest::keyClick(&F, Qt::Key_Escape);
        EXPECT_TRUE(F.isVisible());
        QTest::keyClick(&F, Qt::Key_Return);
        EXPECT_FALSE(F.isVisible());
        EXPECT_EQ(F.result(), mrOk);
    }
    {
        TComSelectForm F;
        F.show();
        F.close();
        EXPECT_EQ(F.result(), mrCancel);
    }
    {
        TComSelectForm F;
        F.show();
        F.AbortBtn->click();
        EXPECT_EQ(F.result(), mrAbort);
    }
}

TEST(PortDialog, ListsThePortsPresentInOrderAndSelectsTheFirst)
{
    TPtyPorts Ports;
    Ports.Add(12);
    Ports.Add(3);
    Ports.Add(1);
    // A port held by another program is listed too.
    TComPort Holder;
    Holder.SetComNumber(3);
    Holder.SetOpen(true);

    TComSelectForm F;
    // Each entry names the device its number resolves to: here the link's target.
    auto Entry = [&](int N) {
        return "COM" + std::to_string(N) + "   " +
               std::filesystem::read_symlink(Ports.Path(N)).string();
    };
    EXPECT_EQ(Items(F), (std::vector<std::string>{Entry(1), Entry(3), Entry(12)}));
    EXPECT_EQ(F.PortsComboBox->currentIndex(), 0);
    EXPECT_EQ(F.SelectedNumber(), 1);
    F.PortsComboBox->setCurrentIndex(2);
    EXPECT_EQ(F.SelectedNumber(), 12);
    EXPECT_FALSE(TComSelectForm::PortAvailable(0));
    EXPECT_FALSE(TComSelectForm::PortAvailable(2));
}

TEST(PortDialog, AnEmptyListSelectsNothing)
{
    TPtyPorts Ports;
    TComSelectForm F;
    EXPECT_EQ(F.PortsComboBox->count(), 0);
    EXPECT_EQ(F.PortsComboBox->currentIndex(), -1);
    EXPECT_EQ(F.SelectedNumber(), 0);
}

// Points COMn at a node of the fake tree that leads to the pseudo-terminal
// Add(n) made, so that the kernel name is Name and the node really opens.
std::string Renode(TPtyPorts& Ports, TFakeSysfs& Sys, int N, const std::string& Name)
{
    const std::string Link = Ports.Path(N);
    const std::string Slave = std::filesystem::read_symlink(Link).string();
    const std::string Node = Sys.AddNode(Name, Slave);
    std::filesystem::remove(Link);
    std::filesystem::create_symlink(Node, Link);
    return Node;
}

TEST(PortDialog, SysfsDecidesWhichSerialNodesAreListedAndNamesUsbAdapters)
{
    TPtyPorts Ports;
    TFakeSysfs Sys;
    Sys.AddUart("ttyS0", 4); // a 16550A
    Sys.AddUart("ttyS1", 0); // a node without a UART
    Sys.AddUsbAdapter("ttyUSB0", "FTDI", "FT232R USB UART");
    for (int N : {1, 2, 33})
        Ports.Add(N);
    const std::string S0 = Renode(Ports, Sys, 1, "ttyS0");
    Renode(Ports, Sys, 2, "ttyS1");
    const std::string Usb = Renode(Ports, Sys, 33, "ttyUSB0");

    // All three open; without sysfs all three are listed.
    TFakeSysfs Empty;
    EXPECT_EQ(TComSelectForm(nullptr, Empty.Root().string()).PortsComboBox->count(), 3);

    TComSelectForm F(nullptr, Sys.Root().string());
    EXPECT_EQ(Items(F), (std::vector<std::string>{"COM1   " + S0,
                                                  "COM33   " + Usb + "   FTDI FT232R USB UART"}));
    EXPECT_FALSE(TComSelectForm::PortAvailable(2, Sys.Root().string()));
    // However an entry is drawn, the number is that of its COM entry.
    F.PortsComboBox->setCurrentIndex(F.IndexOfNumber(33));
    EXPECT_EQ(F.SelectedNumber(), 33);
    EXPECT_EQ(F.IndexOfNumber(2), -1);
    // The dialog widens for the long entry; the buttons keep to its edges.
    EXPECT_GT(F.width(), 220);
    EXPECT_EQ(F.PortsComboBox->geometry().right(), F.width() - 12);
    EXPECT_EQ(F.AbortBtn->geometry().right(), F.width() - 12);
    EXPECT_EQ(F.OkBtn->geometry(), QRect(8, 95, 85, 27));
    EXPECT_GE(F.PortsComboBox->width(),
              F.PortsComboBox->fontMetrics().horizontalAdvance(F.PortsComboBox->itemText(1)));
}

// Listing opens no device: opening raises DTR and RTS, which resets many
// boards. The dialog is made under strace, once from a ports folder and once
// from the device table and the machine's own sysfs.
TEST(PortDialog, ListingOpensNoDevice)
{
    if (std::getenv("KELVALOG_TRACED_CHILD")) {
        EXPECT_GE(TComSelectForm().IndexOfNumber(1), 0);
        ::unsetenv("KELVALOG_PORTS");
        TComSelectForm FromTable;
        return;
    }
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs strace (scripts/test.sh installs it)";
    TPtyPorts Ports;
    Ports.Add(1);
    std::filesystem::create_symlink("/dev/ttyS0", Ports.Path(2));
    const std::string Trace = Ports.Path(1) + ".trace";
    const std::string Self = std::filesystem::read_symlink("/proc/self/exe").string();
    // LeakSanitizer cannot run under ptrace.
    const std::string Command =
        "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 KELVALOG_TRACED_CHILD=1 strace -f -qq "
        "-e trace=open,openat,openat2,creat -o '" +
        Trace + "' '" + Self + "' --gtest_filter=PortDialog.ListingOpensNoDevice --gtest_brief=1";
    const int Status = std::system(Command.c_str());
    ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "the traced run failed";
    std::ifstream In(Trace);
    int Opens = 0;
    for (std::string Line; std::getline(In, Line); ++Opens)
        EXPECT_TRUE(Line.find("\"/dev/tty") == std::string::npos &&
                    Line.find("\"/dev/pts/") == std::string::npos)
            << Line;
    EXPECT_GT(Opens, 0) << "nothing traced";
}

TEST(PortInfo, FollowsLinksToTheKernelNameAndReadsTheAdapter)
{
    TFakeSysfs Sys;
    Sys.AddUsbAdapter("ttyUSB3", "Prolific Technology Inc.", "USB-Serial Controller");
    Sys.AddUart("ttyS7", 0);
    // A by-id name that leads to the node, as udev makes them.
    const std::string Node = Sys.AddNode("ttyUSB3", "/dev/null");
    const std::string ById = Sys.AddNode("usb-Prolific-if00-port0", Node);

    const TPortInfo Info = DescribePortDevice(ById, Sys.Root());
    EXPECT_EQ(Info.Device, Node);
    EXPECT_EQ(Info.KernelName, "ttyUSB3");
    EXPECT_EQ(Info.UsbName, "Prolific Technology Inc. USB-Serial Controller");
    EXPECT_FALSE(Info.NoUart);

    EXPECT_TRUE(DescribePortDevice("/dev/ttyS7", Sys.Root()).NoUart);
    const TPortInfo Unknown = DescribePortDevice("/dev/ttyS9", Sys.Root());
    EXPECT_EQ(Unknown.Device, "/dev/ttyS9");
    EXPECT_EQ(Unknown.KernelName, "");
    EXPECT_FALSE(Unknown.NoUart);
    // A USB name never comes from outside the tree.
    Sys.AddUart("ttyACM0", 0);
    std::filesystem::create_directory_symlink("/", Sys.Tty("ttyACM0") / "device");
    EXPECT_EQ(DescribePortDevice("/dev/ttyACM0", Sys.Root()).UsbName, "");
}

TEST(PortInfo, FindsAReturningAdapterByItsIdentityUnderAnotherName)
{
    TPtyPorts Ports;
    TFakeSysfs Sys;
    // The adapter came back as ttyUSB1 (ttyUSB0 was still held); another of
    // the same make with its own serial number sits in the next hub port.
    Sys.AddUsbAdapter("ttyUSB1", "FTDI", "FT232R USB UART", "1-1", "A10KQ3");
    Sys.AddUsbAdapter("ttyUSB2", "FTDI", "FT232R USB UART", "1-2", "B77XZ1");
    std::filesystem::create_symlink(Sys.Root() / "dev" / "ttyUSB0", Ports.Path(33));
    std::filesystem::create_symlink(Sys.AddNode("ttyUSB1", "/dev/null"), Ports.Path(34));
    std::filesystem::create_symlink(Sys.AddNode("ttyUSB2", "/dev/null"), Ports.Path(35));

    const TUsbIdentity Adapter = DescribePortDevice(Ports.Path(34), Sys.Root()).Usb;
    EXPECT_EQ(Adapter, (TUsbIdentity{"0403", "6001", "A10KQ3"}));
    EXPECT_EQ(ComNumberOfAdapter(Adapter, 33, Sys.Root()), 34);
    EXPECT_EQ(ComNumberOfAdapter({"0403", "6001", "B77XZ1"}, 34, Sys.Root()), 35);
    EXPECT_EQ(ComNumberOfAdapter({"0403", "6001", "C0FFEE"}, 33, Sys.Root()), 0);
    EXPECT_EQ(ComNumberOfAdapter({}, 34, Sys.Root()), 0);
    EXPECT_TRUE(DescribePortDevice("/dev/ttyS0", Sys.Root()).Usb.Empty());
}

TEST(PortOpening, AFailedOpeningNamesTheDeviceAndTheCause)
{
    TPtyPorts Ports;
    Ports.Add(4);
    const std::string Slave = std::filesystem::read_symlink(Ports.Path(4)).string();
    TComPort Holder;
    Holder.SetComNumber(4);
    Holder.SetOpen(true);
    TComPort Second;
    Second.SetComNumber(4);
    try {
        Second.SetOpen(true);
        FAIL() << "opened a port in use";
    } catch (const EAlreadyOpen& E) {
        EXPECT_EQ(E.Detail(),
                  Slave + ": in use by another program. Close that program and try again.");
    }
    Holder.SetOpen(false);
    Ports.Hangup(4);
    std::filesystem::remove(Ports.Path(4));
    try {
        Second.SetOpen(true);
        FAIL() << "opened a port that is gone";
    } catch (const EBadId& E) {
        EXPECT_EQ(E.Detail(), Ports.Path(4) + ": no such device. It may have been unplugged.");
    }
    EXPECT_EQ(OpenFailureText("/dev/ttyUSB0", OpenFailureOf(EACCES)),
              "/dev/ttyUSB0: permission denied. Add your user to the 'dialout' group "
              "(sudo usermod -aG dialout $USER) and log in again.");
    EXPECT_EQ(OpenFailureOf(EPERM), TOpenFailure::Permission);
}

// A user outside the dialout group: root makes a pseudo-terminal of mode 0600
// and runs this program again as the test's system user (scripts/test.sh
// creates it), where the child below checks the list and the message, and
// the listing tests run once more as that user.
TEST(PortOpening, APortRefusedForPermissionIsListedAndSaysWhy)
{
    if (std::getenv("KELVALOG_UNPRIVILEGED_SLAVE"))
        GTEST_SKIP() << "the child's own run";
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const char* UserName = std::getenv("KELVALOG_TEST_USER");
    const passwd* User = ::getpwnam(UserName && *UserName ? UserName : "kelvalog-test");
    if (!User)
        GTEST_SKIP() << "no test user (scripts/test.sh creates kelvalog-test)";

    TPtyPorts Ports;
    Ports.Add(5);
    const std::string Slave = std::filesystem::read_symlink(Ports.Path(5)).string();
    ASSERT_EQ(::chown(Slave.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(Slave.c_str(), 0600), 0);
    // The ports folder must be readable by the user.
    std::filesystem::permissions(std::filesystem::path(Ports.Path(5)).parent_path(),
                                 std::filesystem::perms(0755));
    ::setenv("KELVALOG_UNPRIVILEGED_SLAVE", Slave.c_str(), 1);
    ::setenv("KELVALOG_UNPRIVILEGED_PORTS", ::getenv("KELVALOG_PORTS"), 1);
    const std::string Self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string Command =
        "setpriv --reuid=" + std::to_string(User->pw_uid) +
        " --regid=" + std::to_string(User->pw_gid) + " --clear-groups -- '" + Self +
        "' --gtest_filter=Unprivileged.*:PortDialog.Sysfs*:PortDialog.Lists* --gtest_brief=1";
    const int Status = std::system(Command.c_str());
    ::unsetenv("KELVALOG_UNPRIVILEGED_SLAVE");
    ::unsetenv("KELVALOG_UNPRIVILEGED_PORTS");
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 0) << "the unprivileged run failed";
}

TEST(Unprivileged, RefusedPortIsListedAndItsOpeningNamesTheCause)
{
    const char* Slave = std::getenv("KELVALOG_UNPRIVILEGED_SLAVE");
    if (!Slave)
        GTEST_SKIP() << "runs only as the child of the test above";
    ASSERT_NE(::geteuid(), 0u);
    ::setenv("KELVALOG_PORTS", std::getenv("KELVALOG_UNPRIVILEGED_PORTS"), 1);
    ASSERT_NE(::access(Slave, F_OK), -1);
    ASSERT_EQ(::open(Slave, O_RDWR | O_NOCTTY), -1);
    ASSERT_EQ(errno, EACCES);

    TComSelectForm F;
    ASSERT_GE(F.IndexOfNumber(5), 0);
    EXPECT_EQ(F.PortsComboBox->itemText(F.IndexOfNumber(5)).toStdString(),
              "COM5   " + std::string(Slave));
    TComPort Port;
    Port.SetComNumber(5);
    try {
        Port.SetOpen(true);
        FAIL() << "opened a port of mode 0600 as another user";
    } catch (const EOpenComm& E) {
        EXPECT_EQ(E.Detail(), std::string(Slave) +
                                  ": permission denied. Add your user to the 'dialout' group "
                                  "(sudo usermod -aG dialout $USER) and log in again.");
    }
    EXPECT_FALSE(Port.Open());
}

PORTTEST_MAIN()
