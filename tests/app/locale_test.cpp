// The program under the user's own locale, as the test command starts it
// (LC_ALL and LANG set, so that both the toolkit and the C library see it):
// the fields, the logs and the settings file with the locale's separator,
// the SYLK log with its point; and a port's failure told in the user's terms.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/systemlocale.h"
#include "appfixture.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "link/port/comport.h"
#include "ptyboard.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <clocale>
#include <cmath>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {
constexpr int SimulatorCom = 6;
constexpr int BoardCom = 8;
constexpr int Wait = 8000;

// The separator the locale named in the environment must give; 0 when the
// test runs without one.
char ExpectedSeparator()
{
    const QString Name = qEnvironmentVariable("LC_ALL");
    if (Name.startsWith(QLatin1String("de_DE")) || Name.startsWith(QLatin1String("nl_NL")))
        return ',';
    if (Name.startsWith(QLatin1String("en_US")))
        return '.';
    return 0;
}

TMainFormOptions SystemOptions(const QString& SettingsPath)
{
    TMainFormOptions Options = QuickOptions(SettingsPath);
    Options.Locale = LocaleFactsFrom(QLocale::system());
    SetDefaultDecimalSeparator(QChar(QLatin1Char(Options.Locale.DecimalSeparator)));
    return Options;
}

// The live lines of the 5 V board, with their sampled fields live.
void GoOnLine(TMainForm& Form, int Com)
{
    TCustomComPort::SetPortPromptHook([Com](QObject*) { return std::uint16_t(Com); });
    Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
    Form.UsedBoardComboBoxClick();
    Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
    Form.IntervalFieldChange();
    Form.OnLineActionExecute();
    TCustomComPort::SetPortPromptHook(nullptr);
}

} // namespace

class TLocaleTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;
    char Sep = '.';
    QString IniPath() const { return Dir.filePath(QStringLiteral("Kelvalog.INI")); }
    QString Dec(const char* Dotted) const
    {
        return QString::fromLatin1(Dotted).replace(QLatin1Char('.'), QLatin1Char(Sep));
    }

private slots:
    void initTestCase()
    {
        Sep = LocaleFactsFrom(QLocale::system()).DecimalSeparator;
        if (const char Expected = ExpectedSeparator()) {
            // A locale that is not installed falls back to C without a word:
            // the test would prove nothing.
            QCOMPARE(Sep, Expected);
            QCOMPARE(std::localeconv()->decimal_point[0], Expected);
        }
    }
    void init() { QFile::remove(IniPath()); }

    void simulatorValuesShowWithTheLocaleSeparator()
    {
        QTemporaryDir Ports;
        QProcess Simulator;
        Simulator.setProgram(QStringLiteral(KELVALOG_BOARDSIM));
        Simulator.setArguments({QStringLiteral("--ports"), Ports.path(), QStringLiteral("--com"),
                                QString::number(SimulatorCom), QStringLiteral("--board"),
                                QStringLiteral("5v"), QStringLiteral("--rate"), QStringLiteral("5"),
                                QStringLiteral("--seed"), QStringLiteral("11")});
        Simulator.start();
        QVERIFY(Simulator.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(Ports.filePath(QStringLiteral("COM%1").arg(SimulatorCom))), Wait);
        qputenv("KELVALOG_PORTS", Ports.path().toLocal8Bit());

        TErrorBoxes Boxes;
        {
            TMainForm Form(SystemOptions(IniPath()));
            Form.show();
            GoOnLine(Form, SimulatorCom);
            QVERIFY(Form.OnLine);
            const QRegularExpression Decimal(
                QStringLiteral("^-?[0-9]{1,3}[%1][0-9]{2}$").arg(QLatin1Char(Sep)));
            const QRegularExpression Whole(QStringLiteral("^[0-9]{1,5}$"));
            for (int I = 0; I < 5; ++I) {
                const auto Row = static_cast<TFieldRow>(I);
                QTRY_VERIFY_WITH_TIMEOUT(
                    Form.ValuePanel().Field(Row, TFieldKind::Sampled)->Color() ==
                        Form.palette().color(QPalette::Base),
                    Wait);
            }
            for (int I = 0; I < 5; ++I) {
                const auto Row = static_cast<TFieldRow>(I);
                for (TFieldKind Kind : {TFieldKind::Actual, TFieldKind::Sampled}) {
                    const TNumericField* F = Form.ValuePanel().Field(Row, Kind);
                    const QString Text = F->Text();
                    const bool Pressure = Row == TFieldRow::T51;
                    QVERIFY2((Pressure ? Whole : Decimal).match(Text).hasMatch(), qPrintable(Text));
                    // The digits are those of the value, not zeros.
                    const double Read =
                        QString(Text).replace(QLatin1Char(Sep), QLatin1Char('.')).toDouble();
                    QVERIFY2(std::fabs(Read - F->FloatValue()) <= (Pressure ? 0.5 : 0.005),
                             qPrintable(Text));
                    QVERIFY2(Read != 0.0, qPrintable(Text));
                }
            }
            QVERIFY(QTest::qWaitForWindowExposed(&Form));
            const QString Output = qEnvironmentVariable("KELVALOG_TEST_OUTPUT");
            if (!Output.isEmpty()) {
                QDir().mkpath(Output);
                const QString Name =
                    QStringLiteral("mainwindow-%1.png").arg(QLocale::system().name());
                QVERIFY(Form.grab().save(QDir(Output).filePath(Name)));
            }
            Form.OnLineActionExecute();
            QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
            QVERIFY(Form.close());
        }
        QVERIFY(Boxes.Texts.empty());
        Simulator.terminate();
        QVERIFY(Simulator.waitForFinished(5000));
        qunsetenv("KELVALOG_PORTS");
    }

    void exactLinesLogsAndSettingsFollowTheLocale()
    {
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        TErrorBoxes Boxes;
        const QString TabPath = Dir.filePath(QStringLiteral("log.txt"));
        const QString SylkPath = Dir.filePath(QStringLiteral("log.slk"));
        {
            TMainForm Form(SystemOptions(IniPath()));
            GoOnLine(Form, BoardCom);
            QVERIFY(Form.OnLine);
            QTimer Feeder;
            connect(&Feeder, &QTimer::timeout, &Form,
                    [&] { Pty.SendLine("16384 23.45 22.10 21.00 20.50 "); });
            Feeder.start(200);

            const QStringList Shown = {QStringLiteral("813"), Dec("23.45"), Dec("22.10"),
                                       Dec("21.00"), Dec("20.50")};
            for (int I = 0; I < Shown.size(); ++I) {
                const auto Row = static_cast<TFieldRow>(I);
                QTRY_COMPARE_WITH_TIMEOUT(Form.ValuePanel().Field(Row, TFieldKind::Actual)->Text(),
                                          Shown[I], Wait);
                QTRY_COMPARE_WITH_TIMEOUT(
                    Form.ValuePanel().Field(Row, TFieldKind::Filtered)->Text(), Shown[I], Wait);
            }

            auto RunLog = [&](int Kind, TButtonEdit* Edit, const QString& Path) {
                Form.LogPanel().LoggingType()->setItemIndex(Kind);
                Form.LoggingTypeClick();
                Edit->setText(Path);
                Form.LogOnActionExecute();
                QVERIFY(Form.Logging());
                QTRY_VERIFY_WITH_TIMEOUT(
                    Form.LogPanel().LogRecordsWritten()->GetIntegerValue() >= 2, 3 * Wait);
                Form.LogOnActionExecute();
                QVERIFY(!Form.LogOpen());
            };
            RunLog(1, Form.LogPanel().TABFileEdit(), TabPath);
            RunLog(0, Form.LogPanel().SylkFileEdit(), SylkPath);
            Feeder.stop();

            Form.TambRhSpan = 1.25;
            Form.RhOffset = -0.5;
            Form.OnLineActionExecute();
            QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
            QVERIFY(Form.close());
        }
        QVERIFY(Boxes.Texts.empty());

        // TAB: the locale's date and separator.
        QFile TabFile(TabPath);
        QVERIFY(TabFile.open(QIODevice::ReadOnly));
        QStringList Tab = QString::fromUtf8(TabFile.readAll()).split(QStringLiteral("\r\n"));
        QCOMPARE(Tab.takeLast(), QString());
        QVERIFY(Tab.size() >= 2);
        const QString DateFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
        const QStringList Today = {QDate::currentDate().toString(DateFormat),
                                   QDate::currentDate().addDays(-1).toString(DateFormat)};
        for (const QString& Line : Tab) {
            const QStringList Fields = Line.split(QLatin1Char('\t'));
            QCOMPARE(Fields.size(), 9);
            const QString Date = Fields[0].section(QLatin1Char(' '), 0, 0);
            QVERIFY2(Today.contains(Date), qPrintable(Line));
            if (QLocale::system().name() == QLatin1String("de_DE"))
                QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d(\\d\\d)?$"))
                             .match(Date)
                             .hasMatch(),
                         qPrintable(Date));
            QCOMPARE(Fields.mid(1),
                     (QStringList{Dec("812.50"), Dec("23.45"), Dec("22.10"), Dec("21.00"),
                                  Dec("20.50"), QString(), QString(), QString()}));
        }

        // SYLK: always a point.
        const QStringList Sylk = ReadLines(SylkPath);
        for (const char* Cell :
             {"C;X2;K812.50", "C;X3;K23.45", "C;X4;K22.10", "C;X5;K21.00", "C;X6;K20.50"})
            QVERIFY2(Sylk.contains(QLatin1String(Cell)), Cell);
        for (const QString& Line : Sylk)
            QVERIFY2(!Line.contains(QLatin1Char(',')), qPrintable(Line));

        // The calibration numbers: written with the locale's separator, read back.
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Tamb RH sensor/Span adjust")), Dec("1.25"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("RH sensor/Offset adjust")), Dec("-0.5"));
        TMainForm Again(SystemOptions(IniPath()));
        QCOMPARE(Again.TambRhSpan, 1.25);
        QCOMPARE(Again.RhOffset, -0.5);
        QCOMPARE(Again.TambRhOffset, 0.0);
        QCOMPARE(Again.RhSpan, 1.0);
    }

    // Whatever the locale, a port that does not open says why below the
    // window's own message.
    void aPortInUseIsExplainedBelowTheMessage()
    {
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        const QString Device =
            QFileInfo(Pty.PortsFolder() + QStringLiteral("/COM%1").arg(BoardCom)).symLinkTarget();
        TErrorBoxes Boxes;
        QStringList Details;
        SetMessageDetailHook(
            [&](TMessageKind, const QString&, const QString& Detail) { Details << Detail; });
        TMainForm Holder(SystemOptions(IniPath()));
        GoOnLine(Holder, BoardCom);
        QVERIFY(Holder.OnLine);
        TMainForm Second(SystemOptions(IniPath()));
        GoOnLine(Second, BoardCom);
        SetMessageDetailHook(nullptr);
        QVERIFY(!Second.OnLine);
        QCOMPARE(Boxes.Texts,
                 (std::vector<QString>{QStringLiteral("Unable to open the serial port.")}));
        QCOMPARE(Details,
                 QStringList{Device + QStringLiteral(": in use by another program. Close that "
                                                     "program and try again.")});
        Holder.OnLineActionExecute();
        QTRY_VERIFY(!Holder.ComPort->Open()); // a close may wait for a hand-off to end
    }

    void cleanupTestCase() { SetDefaultDecimalSeparator(QLatin1Char('.')); }
};

int main(int argc, char* argv[])
{
    TKelvalogApplication Application(argc, argv);
    TLocaleTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "locale_test.moc"
