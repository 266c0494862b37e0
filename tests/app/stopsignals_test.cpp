// Stop signals to a logging program: this test runs itself again as a child
// that logs a pty board's lines the way the program does, with the same stop
// signal handling as the program's main, and sends it real signals.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/stopsignals.h"
#include "appfixture.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "link/port/comport.h"
#include "ptyboard.h"

#include <QComboBox>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {

constexpr int BoardCom = 5;
constexpr int Wait = 20000;

// The child: on line with a 5 V board on a pty, logging every second to the
// file of the chosen kind, then waiting for signals.
int RunChild(int Argc, char** Argv)
{
    TKelvalogApplication App(Argc, Argv);
    const QString Dir = qEnvironmentVariable("KELVALOG_STOP_DIR");
    const int Kind = qEnvironmentVariableIntValue("KELVALOG_STOP_KIND");
    TPtyBoard Pty(BoardCom);
    if (!Pty.Ready())
        return 3;
    TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(BoardCom); });
    TMainFormOptions Options = QuickOptions(Dir + QStringLiteral("/Kelvalog.INI"));
    Options.CloseDelay =
        static_cast<std::uint32_t>(qEnvironmentVariableIntValue("KELVALOG_STOP_CLOSE_DELAY"));
    TMainForm Form(Options);
    const TStopSignals Stop([&Form](int) { CloseWithoutUser(Form); });
    if (!Stop.Installed())
        return 4;
    Form.TopPanel().PSensorLowerRange()->SetIntegerValue(612);
    Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
    Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
    Form.LogPanel().IntervalField()->SetIntegerValue(1);
    Form.IntervalFieldChange();
    Form.LogPanel().LoggingType()->setItemIndex(Kind);
    Form.LoggingTypeClick();
    (Kind == 0 ? Form.LogPanel().SylkFileEdit() : Form.LogPanel().TABFileEdit())
        ->setText(Dir + QStringLiteral("/log"));
    Form.show();
    Form.OnLineActionExecute();
    Form.LogOnActionExecute();
    if (!Form.Logging())
        return 5;
    QTimer Feed;
    QObject::connect(&Feed, &QTimer::timeout, [&Pty] {
        Pty.SendLine("16384 23.45 22.10 21.00 20.50 ");
        Pty.Drain();
    });
    Feed.start(100);
    // A box waiting for the user while the signal comes must not hold it up.
    if (qEnvironmentVariableIntValue("KELVALOG_STOP_BOX"))
        QTimer::singleShot(0, &Form, [&Form] {
            QMessageBox::warning(&Form, QStringLiteral("Warning"), QStringLiteral("waiting"));
        });
    return QApplication::exec();
}

} // namespace

class TStopSignalsTest : public QObject
{
    Q_OBJECT

    struct TChild
    {
        QTemporaryDir Dir;
        QProcess Process;
        QString Log() const { return Dir.filePath(QStringLiteral("log")); }
        QString Ini() const { return Dir.filePath(QStringLiteral("Kelvalog.INI")); }
    };

    static void Start(TChild& Child, int Kind, int CloseDelay, bool Box = false)
    {
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("KELVALOG_STOP_CHILD"), QStringLiteral("1"));
        Env.insert(QStringLiteral("KELVALOG_STOP_DIR"), Child.Dir.path());
        Env.insert(QStringLiteral("KELVALOG_STOP_KIND"), QString::number(Kind));
        Env.insert(QStringLiteral("KELVALOG_STOP_CLOSE_DELAY"), QString::number(CloseDelay));
        Env.insert(QStringLiteral("KELVALOG_STOP_BOX"), Box ? QStringLiteral("1") : QString());
        Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        Child.Process.setProcessEnvironment(Env);
        Child.Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Child.Process.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(Child.Process.waitForStarted());
        // Logging runs once the first record is in the file.
        const QByteArray FirstRecord = Kind == 0 ? "C;Y1;" : "\t23.45\t";
        QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(Child.Log()).contains(FirstRecord) ||
                                     Child.Process.state() == QProcess::NotRunning,
                                 Wait);
        QCOMPARE(Child.Process.state(), QProcess::Running);
    }

    static void Signal(TChild& Child, int Number)
    {
        QVERIFY(::kill(static_cast<pid_t>(Child.Process.processId()), Number) == 0);
    }

private slots:
    void eachStopSignalClosesTheLogAndSavesTheSettings_data()
    {
        QTest::addColumn<int>("Number");
        QTest::addColumn<int>("Kind");
        QTest::addColumn<bool>("Box");
        QTest::newRow("SIGTERM, SYLK") << int(SIGTERM) << 0 << false;
        QTest::newRow("SIGINT, SYLK") << int(SIGINT) << 0 << false;
        QTest::newRow("SIGHUP, SYLK") << int(SIGHUP) << 0 << false;
        QTest::newRow("SIGTERM, TAB") << int(SIGTERM) << 1 << false;
        QTest::newRow("SIGINT, TAB") << int(SIGINT) << 1 << false;
        QTest::newRow("SIGHUP, TAB, box up") << int(SIGHUP) << 1 << true;
    }
    void eachStopSignalClosesTheLogAndSavesTheSettings()
    {
        QFETCH(int, Number);
        QFETCH(int, Kind);
        QFETCH(bool, Box);
        TChild Child;
        Start(Child, Kind, 10, Box);
        Signal(Child, Number);
        QVERIFY(Child.Process.waitForFinished(Wait));
        QCOMPARE(Child.Process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(Child.Process.exitCode(), 0);
        const QByteArray Log = ReadBytes(Child.Log());
        if (Kind == 0) {
            QVERIFY2(Log.endsWith("\r\nE\r\n"), Log.right(40).constData());
        } else {
            QVERIFY2(Log.endsWith("\t\t\t\r\n"), Log.right(40).constData());
            QVERIFY(!Log.contains("\r\n\r\n"));
        }
        QCOMPARE(ValueOf(Child.Ini(), QStringLiteral("Pressure sensor/Lower range")),
                 QStringLiteral("612"));
        QCOMPARE(KeysInOrder(Child.Ini()), TwelveKeys);
    }

    void aFileSizeLimitFailsRecordsButDoesNotEndTheProgram()
    {
        TChild Child;
        Start(Child, 1, 10);
        // The limit reaches the running program: the next records do not fit.
        const QByteArray Before = ReadBytes(Child.Log());
        rlimit Limit = {};
        Limit.rlim_cur = Limit.rlim_max = static_cast<rlim_t>(Before.size() + 10);
        QVERIFY(::prlimit(static_cast<pid_t>(Child.Process.processId()), RLIMIT_FSIZE, &Limit,
                          nullptr) == 0);
        const QByteArray Limited = ReadBytes(Child.Log());
        QTest::qWait(2500); // two sampling ticks, each due a record
        QCOMPARE(Child.Process.state(), QProcess::Running);
        QCOMPARE(ReadBytes(Child.Log()), Limited);
        Signal(Child, SIGTERM);
        QVERIFY(Child.Process.waitForFinished(Wait));
        QCOMPARE(Child.Process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(Child.Process.exitCode(), 0);
        QVERIFY(ReadBytes(Child.Log()).endsWith("\t\t\t\r\n"));
    }

    void aSecondSignalEndsTheProgramAtOnce()
    {
        TChild Child;
        // The close waits a minute after the log is closed.
        Start(Child, 0, 60000);
        Signal(Child, SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(ReadBytes(Child.Log()).endsWith("\r\nE\r\n"), Wait);
        Signal(Child, SIGINT);
        QVERIFY(Child.Process.waitForFinished(Wait));
        QCOMPARE(Child.Process.exitStatus(), QProcess::CrashExit);
    }
};

int main(int Argc, char** Argv)
{
    if (qEnvironmentVariableIsSet("KELVALOG_STOP_CHILD"))
        return RunChild(Argc, Argv);
    QApplication App(Argc, Argv);
    TStopSignalsTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "stopsignals_test.moc"
