// The history with the whole window on a pty board, ticks injected with a
// clock of the test's own: a program killed with kill -9 loses at most its
// last tick and the restarted trend shows both stretches with a gap; a full
// disk under the store shows in the status bar while the SYLK log elsewhere
// keeps every record; the program's --export gives the logs' own TAB and
// SYLK files and a CSV file that Python's csv module reads back exactly, and
// the trend window's "Export…" the same CSV file.

#include "app/applicationevents.h"
#include "app/livefeeddialog.h"
#include "app/mainform.h"
#include "app/systemlocale.h"
#include "appfixture.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "history/historystore.h"
#include "link/port/comport.h"
#include "ptyboard.h"
#include "trend/trendwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/mount.h>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {

constexpr int BoardCom = 6;
constexpr int Wait = 20000;
constexpr std::int64_t Start = 1'733'666'400'000; // 8 December 2024, 14:00 UTC, in ms

std::string Line(int N)
{
    // Pressure, Tobj, Tamb, T1, T2 of a 5 V board, moving with N.
    return "16384 " + std::to_string(20 + N % 9) + ".25 22.10 21.00 " + std::to_string(10 + N % 4) +
           ".50 ";
}

// A window on line with a 5 V board on a pty, sampling only when told.
struct TRig
{
    TPtyBoard Pty{BoardCom};
    std::int64_t Now = Start;
    TMainForm* Form = nullptr;
    std::unique_ptr<TMainForm> Owned;

    TRig(const QString& Dir, const QString& History, std::int64_t From,
         const TLocaleFacts& Facts = {})
        : Now(From)
    {
        TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(BoardCom); });
        TMainFormOptions Options =
            QuickOptions(Dir + QStringLiteral("/Kelvalog.INI"), Facts.DecimalSeparator);
        Options.Locale = Facts;
        Options.HistoryPath = History;
        Options.TrendClock = [this] { return Now; };
        Owned = std::make_unique<TMainForm>(Options);
        Form = Owned.get();
        Form->TopPanel().PSensorLowerRange()->SetIntegerValue(612);
        Form->TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
        // Ticks come from the test alone.
        Form->SamplingPanel().SampleIntervalField()->SetIntegerValue(1000);
        Form->LogPanel().IntervalField()->SetIntegerValue(1);
        Form->IntervalFieldChange();
        Form->show();
    }
    ~TRig() { TCustomComPort::SetPortPromptHook(nullptr); }

    // One second later: the board's line for N (none when Silent), then the tick.
    bool Tick(int N, bool Silent = false)
    {
        Now += 1000;
        if (!Silent) {
            Pty.SendLine(Line(N));
            Pty.Drain();
            QElapsedTimer Waited;
            Waited.start();
            while (Form->Channels[3].Count == 0 && Waited.elapsed() < Wait)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (Form->Channels[3].Count == 0)
                return false;
        }
        Form->SampleIntervalTimerTimer();
        return true;
    }
};

// The child of the kill test: ticks every 30 ms, each one reported once shown.
int RunChild(int Argc, char** Argv)
{
    TKelvalogApplication App(Argc, Argv);
    const QString Dir = qEnvironmentVariable("KELVALOG_HISTORY_DIR");
    TRig Rig(Dir, Dir + QStringLiteral("/history.sqlite"), Start);
    if (!Rig.Pty.Ready())
        return 3;
    Rig.Form->OnLineActionExecute();
    if (!Rig.Form->OnLine)
        return 4;
    int N = 0;
    QTimer Ticker;
    QObject::connect(&Ticker, &QTimer::timeout, [&] {
        if (!Rig.Tick(N, N % 10 == 9))
            QCoreApplication::exit(5);
        std::printf("shown %d\n", ++N);
        std::fflush(stdout);
    });
    Ticker.start(30);
    return QApplication::exec();
}

std::uint64_t Rows(const QString& History)
{
    THistoryStore Store(History.toStdString(), THistoryStore::TMode::Read);
    return Store.Rows(0);
}

struct TExpected
{
    std::int64_t Time = 0; // microseconds
    std::array<bool, 8> Valid{};
    std::array<float, 8> Sample{};
    std::array<float, 8> Filtered{};
};

TExpected Snapshot(const TMainForm& Form, std::int64_t NowMs)
{
    TExpected E;
    E.Time = NowMs * 1000;
    for (int I = 0; I < 8; ++I) {
        E.Valid[I] = Form.Channels[I].Valid;
        E.Sample[I] = Form.Channels[I].Sample;
        E.Filtered[I] = Form.Channels[I].Filtered;
    }
    return E;
}

QString IsoUtc(std::int64_t Ms)
{
    return QDateTime::fromMSecsSinceEpoch(Ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

// The program's --export, as a script runs it: German locale, Berlin time,
// no display.
bool Export(const QString& History, const char* Format, std::int64_t From, std::int64_t To,
            const QString& Out)
{
    QProcess Program;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    Env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    Env.remove(QStringLiteral("DISPLAY"));
    Env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    Program.setProcessEnvironment(Env);
    Program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Program.start(QStringLiteral(KELVALOG_PROGRAM),
                  {QStringLiteral("--history"), History, QStringLiteral("--export"), IsoUtc(From),
                   IsoUtc(To), QStringLiteral("--format"), QString::fromLatin1(Format),
                   QStringLiteral("--out"), Out});
    return Program.waitForFinished(Wait) && Program.exitStatus() == QProcess::NormalExit &&
           Program.exitCode() == 0;
}

} // namespace

class THistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void killedProgramLosesAtMostOneTickAndTheTrendShowsTheGap()
    {
        QTemporaryDir Dir;
        const QString History = Dir.filePath(QStringLiteral("history.sqlite"));
        QProcess Child;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("KELVALOG_HISTORY_CHILD"), QStringLiteral("1"));
        Env.insert(QStringLiteral("KELVALOG_HISTORY_DIR"), Dir.path());
        Child.setProcessEnvironment(Env);
        Child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(Child.waitForStarted());
        // Three minutes of ticks, then kill -9.
        int Shown = 0;
        QByteArray Out;
        while (Shown < 180) {
            QVERIFY2(Child.waitForReadyRead(Wait), "the child stopped ticking");
            Out += Child.readAllStandardOutput();
            const qsizetype Last = Out.lastIndexOf("shown ");
            const qsizetype End = Out.indexOf('\n', Last);
            if (Last >= 0 && End > Last)
                Shown = Out.mid(Last + 6, End - Last - 6).toInt();
        }
        // A script exports while the window writes.
        const QString Running = Dir.filePath(QStringLiteral("running.csv"));
        QVERIFY(Export(History, "csv", Start, Start + 86'400'000, Running));
        QVERIFY(ReadBytes(Running).count('\n') > 100);
        QVERIFY(::kill(static_cast<pid_t>(Child.processId()), SIGKILL) == 0);
        QVERIFY(Child.waitForFinished(Wait));
        Out += Child.readAllStandardOutput();
        const qsizetype Last = Out.lastIndexOf("shown ");
        Shown = Out.mid(Last + 6, Out.indexOf('\n', Last) - Last - 6).toInt();
        const std::uint64_t Kept = Rows(History);
        // The kill may fall between a tick's hand-over to the store and its
        // report, so one tick more than reported may be kept.
        QVERIFY2(Kept + 1 >= std::uint64_t(Shown) && Kept <= std::uint64_t(Shown) + 1,
                 qPrintable(QStringLiteral("%1 shown, %2 kept").arg(Shown).arg(Kept)));

        // Restarted an hour later: the old stretch, a gap, the new one.
        const std::int64_t Later = Start + (Shown + 3600) * 1000LL;
        TRig Rig(Dir.path(), History, Later);
        QVERIFY(Rig.Pty.Ready());
        QCOMPARE(Rig.Form->TrendStore().TickCount(), Kept);
        Rig.Form->OnLineActionExecute();
        QVERIFY(Rig.Form->OnLine);
        for (int N = 0; N < 20; ++N)
            QVERIFY(Rig.Tick(N));
        const TTrendStore& Trend = Rig.Form->TrendStore();
        QCOMPARE(Trend.TickCount(), Kept + 20);
        std::vector<TTrendPoint> Points;
        Trend.Extract(3, TTrendSeries::Sample, Start, Rig.Now, 2000, Points);
        int Before = 0, Gaps = 0, After = 0;
        for (const TTrendPoint& P : Points) {
            if (std::isnan(P.Value))
                Gaps += P.Time < Later ? 1 : 0;
            else
                (P.Time < Later ? Before : After) += 1;
        }
        QVERIFY(Before > 10);
        QVERIFY(After > 10);
        QVERIFY(Gaps > 0);
        // Ends with a gap before the first new point.
        auto FirstNew = std::find_if(Points.begin(), Points.end(),
                                     [Later](const TTrendPoint& P) { return P.Time > Later; });
        QVERIFY(FirstNew != Points.begin() && std::isnan(std::prev(FirstNew)->Value));
    }

    // The feeds with nothing listening: each shows its text once while the
    // ticks go on; "Live feed…" switches one off and no secret reaches the INI.
    void liveFeedsShowTheirFaultsAndKeepNoSecret()
    {
        QTemporaryDir Dir;
        const QString Ini = Dir.filePath(QStringLiteral("Kelvalog.INI"));
        WriteText(Dir.filePath(QStringLiteral("password")), QStringLiteral("Sesame42\n"));
        WriteText(Ini, QStringLiteral("[MQTT]\nEnabled=1\nHost=127.0.0.1\nPort=1\nUser=lab\n"
                                      "PasswordFile=%1/password\n[Influx]\nEnabled=1\n"
                                      "URL=http://127.0.0.1:1\n")
                           .arg(Dir.path()));
        QStringList Seen;
        {
            TRig Rig(Dir.path(), Dir.filePath(QStringLiteral("history.sqlite")), Start);
            QVERIFY(Rig.Pty.Ready());
            Rig.Form->OnLineActionExecute();
            QVERIFY(Rig.Form->OnLine);
            for (int N = 0; N < 100 && Seen.size() < 2; ++N) {
                QVERIFY(Rig.Tick(N));
                QElapsedTimer Waited;
                Waited.start();
                while (Waited.elapsed() < 100) {
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                    const QString Notice = Rig.Form->Notice();
                    if (Notice.contains(QStringLiteral("trying again")) && !Seen.contains(Notice))
                        Seen << Notice;
                }
            }
            Rig.Form->TrendActionExecute();
            auto* Button = Rig.Form->TrendWindow()->LiveFeedButton;
            QVERIFY(Button->isVisible());
            QTimer::singleShot(0, [] {
                for (QWidget* W : QApplication::topLevelWidgets())
                    if (auto* Dialog = qobject_cast<TLiveFeedDialog*>(W)) {
                        Dialog->MqttOn->setChecked(false);
                        Dialog->accept();
                    }
            });
            Button->click();
            Rig.Form->OnLineActionExecute();
        }
        Seen.sort();
        QCOMPARE(Seen, (QStringList{QStringLiteral("Influx: the database cannot be reached "
                                                   "(Connection refused); trying again"),
                                    QStringLiteral("MQTT: the broker cannot be reached "
                                                   "(Connection refused); trying again")}));
        const QByteArray Settings = ReadBytes(Ini);
        QVERIFY(Settings.contains("[MQTT]"));
        QVERIFY(Settings.contains("Enabled=0"));
        QVERIFY(Settings.contains("PasswordFile="));
        QVERIFY(!Settings.contains("Sesame42"));
    }

    void fullDiskUnderTheStoreShowsWhileTheLogKeepsEveryRecord()
    {
        QTemporaryDir Dir;
        const QString Disk = Dir.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(Disk));
        if (::mount("tmpfs", QFile::encodeName(Disk).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("cannot mount a tmpfs here");
        struct TUnmount
        {
            QByteArray Path;
            ~TUnmount() { ::umount2(Path.constData(), MNT_DETACH); }
        } Unmount{QFile::encodeName(Disk)};
        const QString History = Disk + QStringLiteral("/history.sqlite");
        const QString Log = Dir.filePath(QStringLiteral("log.slk"));
        {
            TRig Rig(Dir.path(), History, Start);
            QVERIFY(Rig.Pty.Ready());
            Rig.Form->LogPanel().SylkFileEdit()->setText(Log);
            Rig.Form->OnLineActionExecute();
            Rig.Form->LogOnActionExecute();
            QVERIFY(Rig.Form->Logging());
            int N = 0;
            for (; N < 5; ++N)
                QVERIFY(Rig.Tick(N));
            QTRY_COMPARE_WITH_TIMEOUT(Rows(History), std::uint64_t(5), Wait);
            // Whatever room is left goes to a filler.
            const QString Filler = Disk + QStringLiteral("/filler");
            {
                QFile F(Filler);
                QVERIFY(F.open(QIODevice::WriteOnly));
                const QByteArray Block(4096, 'x');
                while (F.write(Block) == Block.size() && F.flush()) {
                }
            }
            const QRegularExpression Full(QStringLiteral(
                "^History: \\d+ ticks waiting to be stored \\(No space left on device\\)$"));
            for (; N < 200 && !Full.match(Rig.Form->Notice()).hasMatch(); ++N) {
                QVERIFY(Rig.Tick(N));
                QTest::qWait(20);
            }
            QVERIFY2(Full.match(Rig.Form->Notice()).hasMatch(), qPrintable(Rig.Form->Notice()));
            QVERIFY(Rig.Form->Logging());
            QCOMPARE(ReadBytes(Log).count("C;Y"), N);
            // Room again: what waited is written, the notice says so.
            QFile::remove(Filler);
            for (int More = 0; More < 3; ++More, ++N) {
                QVERIFY(Rig.Tick(N));
                QTest::qWait(20);
            }
            QTRY_COMPARE_WITH_TIMEOUT(Rig.Form->Notice(),
                                      QStringLiteral("History: every tick stored again"), Wait);
            QCOMPARE(Rows(History), std::uint64_t(N));
            QCOMPARE(ReadBytes(Log).count("C;Y"), N);
        }
    }

    void exportsGiveTheLogsAndTheTicks()
    {
        QTemporaryDir Dir;
        const QString History = Dir.filePath(QStringLiteral("history.sqlite"));
        const QString SylkLog = Dir.filePath(QStringLiteral("log.slk"));
        const QString TabLog = Dir.filePath(QStringLiteral("log.txt"));
        // The user's conditions: a German locale and a zone away from UTC.
        const QByteArray OldZone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        const TLocaleFacts German = LocaleFactsFrom(QLocale(QStringLiteral("de_DE")));
        std::vector<TExpected> Ticks;
        std::int64_t SylkFrom = 0, SylkTo = 0, TabFrom = 0, TabTo = 0;
        {
            TRig Rig(Dir.path(), History, Start, German);
            QVERIFY(Rig.Pty.Ready());
            Rig.Form->LogPanel().SylkFileEdit()->setText(SylkLog);
            Rig.Form->LogPanel().TABFileEdit()->setText(TabLog);
            Rig.Form->FilterPanel().FilterType()->setItemIndex(1);
            Rig.Form->FilterTypeClick();
            Rig.Form->FilterPanel().MarFilterSizeField()->SetIntegerValue(3);
            int N = 0;
            auto Run = [&](int Kind, int Count, std::int64_t& From, std::int64_t& To) {
                Rig.Form->OnLineActionExecute();
                QVERIFY(Rig.Form->OnLine);
                QVERIFY(Rig.Tick(N));
                Ticks.push_back(Snapshot(*Rig.Form, Rig.Now));
                ++N;
                Rig.Form->LogPanel().LoggingType()->setItemIndex(Kind);
                Rig.Form->LoggingTypeClick();
                Rig.Form->LogOnActionExecute();
                QVERIFY(Rig.Form->Logging());
                From = Rig.Now + 1000;
                for (int I = 0; I < Count; ++I, ++N) {
                    QVERIFY(Rig.Tick(N, N % 7 == 6));
                    Ticks.push_back(Snapshot(*Rig.Form, Rig.Now));
                }
                To = Rig.Now;
                Rig.Form->LogOnActionExecute();
                QVERIFY(!Rig.Form->Logging());
                Rig.Form->OnLineActionExecute();
                Rig.Now += 600'000; // ten minutes off line
            };
            Run(0, 30, SylkFrom, SylkTo);
            Run(1, 25, TabFrom, TabTo);
            // "Export…" of the trend window, of the stretch it shows.
            QTRY_COMPARE_WITH_TIMEOUT(Rows(History), std::uint64_t(Ticks.size()), Wait);
            Rig.Form->TrendActionExecute();
            QVERIFY(Rig.Form->TrendWindow()->ExportButton->isVisible());
            SetFileDialogHook([&Dir](const TFileDialogRequest&) {
                return std::optional<QString>(Dir.filePath(QStringLiteral("window.csv")));
            });
            QTimer::singleShot(0, [] {
                if (auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    Dialog->accept();
            });
            Rig.Form->TrendWindow()->ExportButton->click();
            SetFileDialogHook(nullptr);
        }
        const QString SylkOut = Dir.filePath(QStringLiteral("export.slk"));
        const QString TabOut = Dir.filePath(QStringLiteral("export.txt"));
        const QString CsvOut = Dir.filePath(QStringLiteral("export.csv"));
        QVERIFY(Export(History, "sylk", SylkFrom, SylkTo, SylkOut));
        QCOMPARE(ReadBytes(SylkOut), ReadBytes(SylkLog));
        QVERIFY(Export(History, "tab", TabFrom, TabTo, TabOut));
        QVERIFY(ReadBytes(TabLog).contains(','));
        QCOMPARE(ReadBytes(TabOut), ReadBytes(TabLog));

        // Every tick, back through Python's csv module.
        QVERIFY(Export(History, "csv", Start, Start + 86'400'000, CsvOut));
        QCOMPARE(ReadBytes(Dir.filePath(QStringLiteral("window.csv"))), ReadBytes(CsvOut));
        QProcess Python;
        Python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Python.start(
            QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "import csv, sys, datetime\n"
                 "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8', newline='')))\n"
                 "head = rows[0]\n"
                 "assert head[:3] == ['time_utc', 'time_local', 'board'], head\n"
                 "assert head[3] == 'Pressure sampled (mbar)' and head[7] == 'Tobj filtered "
                 "(\\u00b0C)', head\n"
                 "for r in rows[1:]:\n"
                 "    u = datetime.datetime.fromisoformat(r[0].replace('Z', '+00:00'))\n"
                 "    l = datetime.datetime.fromisoformat(r[1])\n"
                 "    assert u == l and l.utcoffset() == datetime.timedelta(hours=1), r[:2]\n"
                 "    us = int(u.timestamp()) * 1000000 + u.microsecond\n"
                 "    print('|'.join([str(us), r[2]] + [repr(float(v)) if v else '-' for v in "
                 "r[3:]]))\n"),
             CsvOut});
        QVERIFY(Python.waitForFinished(Wait));
        QCOMPARE(Python.exitCode(), 0);
        const QStringList Lines =
            QString::fromUtf8(Python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(Lines.size(), qsizetype(Ticks.size()));
        for (std::size_t T = 0; T < Ticks.size(); ++T) {
            const QStringList F = Lines[qsizetype(T)].split('|');
            const TExpected& E = Ticks[T];
            QCOMPARE(F.value(0).toLongLong(), E.Time);
            QCOMPARE(F.value(1), QStringLiteral("I2C (5V)"));
            for (int C = 0; C < 5; ++C) {
                const QString Sample = F.value(2 + 3 * C), Filtered = F.value(3 + 3 * C);
                QCOMPARE(F.value(4 + 3 * C),
                         E.Valid[C] ? QStringLiteral("1.0") : QStringLiteral("0.0"));
                if (!E.Valid[C]) {
                    QCOMPARE(Sample, QStringLiteral("-"));
                    continue;
                }
                QCOMPARE(float(Sample.toDouble()), E.Sample[C]);
                QCOMPARE(float(Filtered.toDouble()), E.Filtered[C]);
            }
        }
        if (OldZone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", OldZone);
        ::tzset();
    }
};

int main(int Argc, char** Argv)
{
    if (qEnvironmentVariableIsSet("KELVALOG_HISTORY_CHILD"))
        return RunChild(Argc, Argv);
    TKelvalogApplication App(Argc, Argv);
    THistoryTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "history_test.moc"
