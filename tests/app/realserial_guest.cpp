// Runs inside the virtual machine of scripts/realserial.sh: the real window on
// a real USB adapter (ttyUSB0, ftdi_sio) and a real UART (ttyS1, 8250), used as
// a user would. A line "@@ ..." on the standard output (the guest's console)
// asks the host for a move (unplug, plug, a break) or reports a check; the
// host's moves come back through the devices themselves.
//
//     realserial_guest OUTDIR
//
// Writes into OUTDIR the TAB logs and, per run, every line the window took
// ("L text") and every sampling tick ("T records written"), which the host
// holds against what the simulator sent.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/messages.h"
#include "app/systemlocale.h"
#include "controls/buttonedit.h"
#include "controls/controlenv.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "link/port/comport.h"
#include "link/ui/comselectform.h"
#include "link/port/datapacket.h"
#include "link/ui/statuslight.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvalog;

namespace {

constexpr int UsbCom = 33; // ttyUSB0
constexpr int UartCom = 2; // ttyS1
constexpr int LoggedSeconds = 60;

int Failures = 0;

void Say(const std::string& Text)
{
    std::printf("@@ %s\n", Text.c_str());
    std::fflush(stdout);
}

bool Check(const std::string& Name, bool Ok, const std::string& Detail = {})
{
    Say("check " + Name + (Ok ? " ok" : " FAIL") + (Detail.empty() ? "" : " " + Detail));
    Failures += Ok ? 0 : 1;
    return Ok;
}

void Pump(int Ms)
{
    QEventLoop Loop;
    QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
    Loop.exec();
}

bool WaitFor(const std::function<bool()>& Done, int Ms)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Done()) {
        if (Clock.elapsed() > Ms)
            return false;
        Pump(10);
    }
    return true;
}

std::string Text(const QString& S)
{
    return S.toStdString();
}

// Every line the window takes and every sampling tick, in order.
class TLineRecorder
{
public:
    TLineRecorder(TMainForm& Form, const QString& Path) : FOut(Path.toStdString())
    {
        auto Handler = Form.DataPacket->OnStringPacket;
        Form.DataPacket->OnStringPacket = [this, Handler](QObject* Sender,
                                                          const std::string& Line) {
            FOut << "L " << Escaped(Line) << '\n';
            ++Lines;
            if (Line.find('\0') != std::string::npos)
                ++LinesWithNul;
            Handler(Sender, Line);
        };
        // Connected after the window's own handler: runs once the tick is done.
        QObject::connect(&Form.SampleIntervalTimer, &QTimer::timeout, &Form, [this, &Form] {
            FOut << "T " << Form.LogPanel().LogRecordsWritten()->GetIntegerValue() << '\n';
            FOut.flush();
        });
    }
    // Lines after this belong to a replug, not to the unbroken minute.
    void Mark(const char* What)
    {
        FOut << "M " << What << '\n';
        FOut.flush();
    }
    int Lines = 0;
    int LinesWithNul = 0;

private:
    std::ofstream FOut;

    static std::string Escaped(const std::string& Line)
    {
        std::string Out;
        for (const unsigned char C : Line) {
            if (C >= 0x20 && C < 0x7F && C != '\\') {
                Out += static_cast<char>(C);
            } else {
                char Hex[8];
                std::snprintf(Hex, sizeof Hex, "\\x%02x", C);
                Out += Hex;
            }
        }
        return Out;
    }
};

std::unique_ptr<TMainForm> NewForm(const QString& OutDir, const QString& LogName)
{
    TMainFormOptions Options;
    Options.SettingsPath = QStringLiteral("/tmp/kelvalog-guest.INI");
    Options.StartDelay = 0;
    Options.CloseDelay = 10;
    Options.Locale = LocaleFactsFrom(QLocale::system());
    SetDefaultDecimalSeparator(QChar(QLatin1Char(Options.Locale.DecimalSeparator)));
    auto Form = std::make_unique<TMainForm>(Options);
    Form->show();
    Form->TopPanel().UsedBoardComboBox()->setCurrentIndex(0); // "I2C (5V)"
    Form->UsedBoardComboBoxClick();
    Form->SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
    Form->LogPanel().IntervalField()->SetIntegerValue(1);
    Form->IntervalFieldChange();
    Form->LogPanel().LoggingType()->setItemIndex(1); // TAB-delimited
    Form->LoggingTypeClick();
    Form->LogPanel().TABFileEdit()->setText(OutDir + QLatin1Char('/') + LogName);
    return Form;
}

// Clicks "On line", looks at the port dialog for a while as a user reads it,
// then picks Com. The host watches the modem lines between the two marks.
QStringList GoOnLineThroughDialog(TMainForm& Form, int Com)
{
    QStringList Items;
    QElapsedTimer Shown;
    QTimer Answer;
    QObject::connect(&Answer, &QTimer::timeout, &Form, [&] {
        auto* Dialog = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
        if (!Dialog)
            return;
        if (!Shown.isValid()) {
            Shown.start();
            for (int I = 0; I < Dialog->PortsComboBox->count(); ++I)
                Items << Dialog->PortsComboBox->itemText(I);
            return;
        }
        if (Shown.elapsed() < 1500)
            return;
        Answer.stop();
        Say("mark dialog-end");
        QThread::msleep(300);
        const int Item = Dialog->IndexOfNumber(Com);
        if (Item < 0) {
            Dialog->AbortBtn->click();
            return;
        }
        Dialog->PortsComboBox->setCurrentIndex(Item);
        Dialog->OkBtn->click();
    });
    Answer.start(50);
    Say("mark dialog-begin");
    QThread::msleep(300);
    Form.TopPanel().OnLineAction()->click();
    Answer.stop();
    return Items;
}

int CountRecords(const QString& Path, bool& Whole)
{
    QFile File(Path);
    Whole = File.open(QIODevice::ReadOnly);
    const QByteArray Bytes = File.readAll();
    Whole = Whole && (Bytes.isEmpty() || Bytes.endsWith("\r\n"));
    int Count = 0;
    for (const QByteArray& Line : Bytes.split('\n')) {
        if (Line.isEmpty())
            continue;
        ++Count;
        Whole = Whole && Line.endsWith('\r') && Line.count('\t') == 8 && !Line.contains('\0');
    }
    return Count;
}

// A second program that keeps the adapter's node open, so that the kernel
// names the returning adapter anew.
pid_t HoldNodeOpen(const char* Path)
{
    const pid_t Child = ::fork();
    if (Child == 0) {
        if (::open(Path, O_RDONLY | O_NOCTTY | O_NONBLOCK) < 0)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    return Child;
}

// The host pulls the adapter while records are being written, then puts it
// back; the window must say so and go on in the same log.
void Replug(TMainForm& Form, TLineRecorder& Recorder, const std::string& Case,
            const QString& Before, const QString& After)
{
    Recorder.Mark(Case.c_str());
    const int RecordsBefore = Form.LogPanel().LogRecordsWritten()->GetIntegerValue();
    Say("unplug " + Case);
    const QRegularExpression Lost(QStringLiteral("^") + QRegularExpression::escape(Before) +
                                  QStringLiteral(" lost at \\d{1,2}:\\d\\d:\\d\\d"));
    const bool SeenLost = WaitFor([&] { return Lost.match(Form.Notice()).hasMatch(); }, 15000);
    Check("lost-" + Case, SeenLost && !Form.OnLine && Form.Reconnecting() && Form.Logging(),
          "\"" + Text(Form.Notice()) + "\"");
    Say("plug " + Case);
    const bool Back = WaitFor([&] { return Form.OnLine; }, 30000);
    if (Back)
        Say("feed usb");
    else
        Say("nodes " + Text(QDir(QStringLiteral("/dev"))
                                .entryList({QStringLiteral("ttyUSB*")}, QDir::System)
                                .join(QLatin1Char(' '))));
    const QString BackText = After + QStringLiteral(" back at ");
    Check("back-" + Case, Back && Form.Notice().startsWith(BackText),
          "\"" + Text(Form.Notice()) + "\"");
    const bool Continues = WaitFor(
        [&] { return Form.LogPanel().LogRecordsWritten()->GetIntegerValue() >= RecordsBefore + 3; },
        15000);
    Check("same-log-" + Case, Continues && Form.LogOpen(),
          "records " + std::to_string(RecordsBefore) + " -> " +
              std::to_string(Form.LogPanel().LogRecordsWritten()->GetIntegerValue()));
}

void UsbRun(const QString& OutDir)
{
    auto Form = NewForm(OutDir, QStringLiteral("usb-log.txt"));
    TLineRecorder Recorder(*Form, OutDir + QStringLiteral("/usb-lines.txt"));

    const QStringList Items = GoOnLineThroughDialog(*Form, UsbCom);
    Say("dialog " + Text(Items.join(QStringLiteral(" | "))));
    const auto Listed = [&](int Com) {
        const QRegularExpression Entry(QStringLiteral("^COM%1\\s").arg(Com));
        for (const QString& Item : Items)
            if (Entry.match(Item).hasMatch())
                return Item;
        return QString();
    };
    Check("dialog-usb",
          Listed(UsbCom).contains(QStringLiteral("/dev/ttyUSB0")) &&
              Listed(UsbCom).endsWith(QStringLiteral("QEMU USB SERIAL")),
          "\"" + Text(Listed(UsbCom)) + "\"");
    Check("dialog-uart", !Listed(UartCom).isEmpty(), "\"" + Text(Listed(UartCom)) + "\"");
    Check("dialog-no-uart-absent", Listed(3).isEmpty() && Listed(4).isEmpty());
    if (!Check("online-usb", Form->OnLine && Form->ComPort->ComNumber() == UsbCom))
        return;
    Say("mark online-usb");
    // Only now: QEMU's adapter stalls the guest's next opening when bytes
    // reach it while its port is closed.
    Say("feed usb");
    Form->TopPanel().LogOnAction()->click();
    Check("logging", Form->Logging());

    // The unbroken minute.
    Pump(LoggedSeconds * 1000);
    Say("minute lines " + std::to_string(Recorder.Lines) + " records " +
        std::to_string(Form->LogPanel().LogRecordsWritten()->GetIntegerValue()));

    const QString Usb0 = QStringLiteral("COM33 (/dev/ttyUSB0)");
    Replug(*Form, Recorder, "same-node", Usb0, Usb0);

    const pid_t Holder = HoldNodeOpen("/dev/ttyUSB0");
    Pump(300);
    Replug(*Form, Recorder, "new-node", Usb0, QStringLiteral("COM34 (/dev/ttyUSB1)"));
    ::kill(Holder, SIGKILL);
    ::waitpid(Holder, nullptr, 0);

    Form->TopPanel().LogOnAction()->click();
    Form->TopPanel().OnLineAction()->click();
    bool Whole = false;
    const int Records = CountRecords(OutDir + QStringLiteral("/usb-log.txt"), Whole);
    Check("usb-log",
          Whole && !Form->LogOpen() && !Form->OnLine &&
              Records == Form->LogPanel().LogRecordsWritten()->GetIntegerValue(),
          std::to_string(Records) + " whole records");
    Check("usb-no-nul", Recorder.LinesWithNul == 0);
    Form->close();
}

// The counters of ttyS1 as the 8250 driver tells them: "tx:0 rx:1234 brk:1 ...".
std::string UartCounters()
{
    std::ifstream In("/proc/tty/driver/serial");
    for (std::string Line; std::getline(In, Line);)
        if (Line.starts_with("1:"))
            return Line.substr(std::min(Line.size(), Line.find(" tx:") + 1));
    return "?";
}

void UartRun(const QString& OutDir)
{
    auto Form = NewForm(OutDir, QStringLiteral("uart-log.txt"));
    TLineRecorder Recorder(*Form, OutDir + QStringLiteral("/uart-lines.txt"));
    const std::string Idle = UartCounters();
    GoOnLineThroughDialog(*Form, UartCom);
    if (!Check("online-uart", Form->OnLine && Form->ComPort->ComNumber() == UartCom))
        return;
    Say("mark online-uart");
    Say("feed uart");
    Form->TopPanel().LogOnAction()->click();
    const bool Flowing = WaitFor(
        [&] { return Form->LogPanel().LogRecordsWritten()->GetIntegerValue() >= 3; }, 10000);
    Check("uart-lines", Flowing && !Form->StatusPanel().ErrorStatusLight()->Lit(),
          std::to_string(Recorder.Lines) + " lines; " + UartCounters() + "; \"" +
              Text(Form->Notice()) + "\"");

    const std::string Before = UartCounters();
    Say("break");
    QElapsedTimer Clock;
    Clock.start();
    const bool Lit = WaitFor([&] { return Form->StatusPanel().ErrorStatusLight()->Lit(); }, 5000);
    const qint64 LitAt = Clock.elapsed();
    const bool Out =
        Lit && WaitFor([&] { return !Form->StatusPanel().ErrorStatusLight()->Lit(); }, 8000);
    const qint64 LitFor = Clock.elapsed() - LitAt;
    Check("break-light", Lit && Out && LitFor >= 1700 && LitFor <= 2800,
          "lit " + std::to_string(LitAt) + " ms after the request, for " + std::to_string(LitFor) +
              " ms; ttyS1 " + Before + " -> " + UartCounters());
    Pump(2000);
    Form->TopPanel().LogOnAction()->click();
    Form->TopPanel().OnLineAction()->click();
    bool Whole = false;
    const int Records = CountRecords(OutDir + QStringLiteral("/uart-log.txt"), Whole);
    Check("uart-log", Whole && Records >= 5, std::to_string(Records) + " whole records");
    Check("uart-no-nul", Recorder.LinesWithNul == 0);
    // The window never sends: nothing may go back down the line.
    const auto Sent = [](const std::string& Counters) {
        return Counters.substr(0, Counters.find(' '));
    };
    Check("uart-sends-nothing", Sent(Idle) == Sent(UartCounters()),
          Sent(Idle) + " -> " + Sent(UartCounters()));
    Form->close();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: realserial_guest OUTDIR\n");
        return 2;
    }
    TKelvalogApplication Application(argc, argv);
    TKelvalogApplication::setFont(TMainForm::WindowFont());
    const QString OutDir = QString::fromLocal8Bit(argv[1]);
    // A message box would wait for a click nobody gives: each one fails.
    SetMessageHook([](TMessageKind, const QString& Message) {
        Check("no-message-box", false, "\"" + Text(Message) + "\"");
    });
    SetErrorBoxHook([](QWidget*, const QString& Message) {
        Check("no-message-box", false, "\"" + Text(Message) + "\"");
    });
    Say("guest started");
    UsbRun(OutDir);
    UartRun(OutDir);
    Say("done failures " + std::to_string(Failures));
    return Failures == 0 ? 0 : 1;
}
