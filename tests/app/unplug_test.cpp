// What the window says when the link or the log fails under it: the board's
// adapter pulled out while logging (a pseudo-terminal that hangs up and loses
// its name, then comes back as a new one under the same COM name), and a log
// on a device that is full.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "appfixture.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "link/port/comport.h"
#include "link/ui/statuslight.h"
#include "ptyboard.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <ctime>
#include <unistd.h>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {

constexpr int BoardCom = 6;
constexpr int Wait = 15000;

double ProcessCpuSeconds()
{
    timespec T = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

bool AllFieldsStale(const TMainForm& Form)
{
    for (int Index = 0; Index < DisplayFieldCount; ++Index)
        if (FieldAt(Index).Kind != TFieldKind::Actual &&
            Form.ValuePanel().DisplayFields()[static_cast<std::size_t>(Index)]->Color() !=
                Form.palette().color(QPalette::Button))
            return false;
    return true;
}

} // namespace

class TUnplugTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;

private slots:
    void init()
    {
        TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(BoardCom); });
    }
    void cleanup() { TCustomComPort::SetPortPromptHook(nullptr); }

    void recordsThatCannotBeWrittenAreCountedInTheStatusBar()
    {
        if (::access("/dev/full", W_OK) != 0)
            QSKIP("no /dev/full to write to");
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(Dir.filePath(QStringLiteral("Kelvalog.INI"))));
        Form.LogPanel().IntervalField()->SetIntegerValue(1);
        Form.LogPanel().LoggingType()->setItemIndex(1);
        Form.LoggingTypeClick();
        Form.LogPanel().TABFileEdit()->setText(QStringLiteral("/dev/full"));
        Form.LogOnActionExecute();
        QVERIFY(Form.Logging());
        Form.SampleIntervalTimerTimer();
        // The error light stays for receive errors.
        QVERIFY(!Form.StatusPanel().ErrorStatusLight()->Lit());
        Form.SampleIntervalTimerTimer();
        const QString Said =
            QStringLiteral("Log: 2 records could not be written (No space left on device)");
        QCOMPARE(Form.StatusPanel().StatusBar()->Panel(1).Text, Said);
        QCOMPARE(Form.LogPanel().LogRecordsWritten()->GetIntegerValue(), 0);
        QVERIFY(Form.Logging());
        // A hint shows over it while it lasts.
        Form.ApplicationEventsHint(QStringLiteral("a hint"));
        QCOMPARE(Form.StatusPanel().StatusBar()->Panel(1).Text, QStringLiteral("a hint"));
        Form.ApplicationEventsHint(QString());
        QCOMPARE(Form.StatusPanel().StatusBar()->Panel(1).Text, Said);
        QVERIFY(Boxes.Texts.empty());
        Form.LogOnActionExecute();
        QVERIFY(Boxes.Texts.empty());
    }

    void anUnpluggedAdapterIsSaidAndTheLinkComesBackIntoTheSameLog()
    {
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        TErrorBoxes Boxes;
        const QString Log = Dir.filePath(QStringLiteral("unplug.txt"));
        TMainForm Form(QuickOptions(Dir.filePath(QStringLiteral("Kelvalog.INI"))));
        Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
        Form.LogPanel().IntervalField()->SetIntegerValue(1);
        Form.IntervalFieldChange();
        Form.LogPanel().LoggingType()->setItemIndex(1);
        Form.LoggingTypeClick();
        Form.LogPanel().TABFileEdit()->setText(Log);
        Form.OnLineActionExecute();
        Form.LogOnActionExecute();
        QVERIFY(Form.Logging());
        QTimer Feed;
        connect(&Feed, &QTimer::timeout, &Form, [&Pty] {
            Pty.SendLine("16384 23.45 22.10 21.00 20.50 ");
            Pty.Drain();
        });
        Feed.start(100);
        QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(Log).count("\r\n") >= 1, Wait);

        Pty.Unplug();
        const QString Port =
            QStringLiteral("COM%1 (%2/COM%1)").arg(BoardCom).arg(Pty.PortsFolder());
        const QRegularExpression Lost(QRegularExpression::escape(Port) +
                                      QStringLiteral(" lost at \\d{1,2}:\\d\\d:\\d\\d( [AP]M)?$"));
        QTRY_VERIFY_WITH_TIMEOUT(Lost.match(Form.Notice()).hasMatch(), Wait);
        QVERIFY(!Form.OnLine);
        QVERIFY(Form.Reconnecting());
        QVERIFY(Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(Form.Logging());
        QVERIFY(AllFieldsStale(Form));
        QVERIFY(Boxes.Texts.empty());

        // Waiting for the adapter costs no measurable time.
        const double Before = ProcessCpuSeconds();
        QTest::qWait(3000);
        const double Spent = ProcessCpuSeconds() - Before;
        qInfo("processor time while waiting 3 s for the adapter: %.3f s", Spent);
        QVERIFY2(Spent < 0.3, qPrintable(QString::number(Spent)));
        QVERIFY(!Form.OnLine);
        const qsizetype LinesBefore = ReadBytes(Log).count("\r\n");

        QVERIFY(Pty.Plug());
        QTRY_VERIFY_WITH_TIMEOUT(Form.OnLine, Wait);
        QVERIFY(!Form.Reconnecting());
        QVERIFY(QRegularExpression(QRegularExpression::escape(Port) +
                                   QStringLiteral(" back at \\d{1,2}:\\d\\d:\\d\\d( [AP]M)?$"))
                    .match(Form.Notice())
                    .hasMatch());
        QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(Log).count("\r\n") >= LinesBefore + 2, Wait);
        const QByteArray Text = ReadBytes(Log);
        QVERIFY(Text.endsWith("\r\n"));
        for (const QByteArray& Line : Text.split('\n'))
            QVERIFY(Line.isEmpty() || (Line.endsWith('\r') && Line.count('\t') == 8));
        QVERIFY(Boxes.Texts.empty());

        // Off line by hand while waiting: no more attempts.
        Pty.Unplug();
        QTRY_VERIFY_WITH_TIMEOUT(Form.Reconnecting(), Wait);
        Form.OnLineActionExecute();
        QVERIFY(!Form.Reconnecting());
        QVERIFY(!Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(Pty.Plug());
        QTest::qWait(2500);
        QVERIFY(!Form.OnLine);
        QVERIFY(!Form.ComPort->Open());
        QVERIFY(Boxes.Texts.empty());
        QVERIFY(Form.close());
        QVERIFY(ReadBytes(Log).endsWith("\r\n"));
    }
};

// The test library's own watchdog thread is not instrumented; its teardown
// would be reported as a race in every Qt Test run under ThreadSanitizer.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Test.so.6\n";
}

int main(int argc, char* argv[])
{
    TKelvalogApplication Application(argc, argv);
    TUnplugTest Test;
    return QTest::qExec(&Test, argc, argv);
}
#include "unplug_test.moc"
