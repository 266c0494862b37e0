// The window on a live serial line: a pseudo-terminal stands in for the
// board, so the lines and the values they must give are known exactly.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "appfixture.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/simplefield.h"
#include "link/port/comport.h"
#include "ptyboard.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {
constexpr int BoardCom = 7;
constexpr int TickWait = 6000;
} // namespace

class TOnlineTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;
    QString IniPath() const { return Dir.filePath(QStringLiteral("Kelvalog.INI")); }

    static QString Shown(TMainForm& Form, TFieldRow Row, TFieldKind Kind)
    {
        return Form.ValuePanel().Field(Row, Kind)->Text();
    }

private slots:
    void init()
    {
        QFile::remove(IniPath());
        TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(BoardCom); });
    }
    void cleanup() { TCustomComPort::SetPortPromptHook(nullptr); }

    void linesAndTicksReachTheFields_data()
    {
        QTest::addColumn<int>("Board");
        QTest::addColumn<QString>("Line");
        QTest::addColumn<QStringList>("Expected"); // per row, in row order
        QTest::newRow("5V") << Board5V << QStringLiteral("16384 23.45 22.10 21.00 20.50 ")
                            << QStringList{"813", "23.45", "22.10", "21.00", "20.50"};
        QTest::newRow("3.3V") << Board3V << QStringLiteral("23.45 22.10 24994 39919 21.00 20.50 ")
                              << QStringList{"23.45", "22.10", "55.00", "25.00", "21.00", "20.50"};
    }
    void linesAndTicksReachTheFields()
    {
        QFETCH(int, Board);
        QFETCH(QString, Line);
        QFETCH(QStringList, Expected);
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(IniPath()));
        Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board);
        Form.UsedBoardComboBoxClick();
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
        Form.IntervalFieldChange();

        Form.OnLineActionExecute();
        QVERIFY(Form.OnLine);
        QVERIFY(Form.ComPort->Open());
        QCOMPARE(Form.ComPort->Baud(), 9600);
        QVERIFY(Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(!Form.TopPanel().UsedBoardComboBox()->isEnabled());
        QVERIFY(Form.TopPanel().LogOnAction()->isEnabled());
        for (TNumericField* F : Form.ValuePanel().DisplayFields())
            QCOMPARE(F->FloatValue(), 0.0f);

        const TFieldRow First = Board == Board5V ? TFieldRow::T51 : TFieldRow::T31;
        QVERIFY(Pty.SendLine(Line.toStdString()));
        for (int I = 0; I < Expected.size(); ++I) {
            const auto Row = static_cast<TFieldRow>(static_cast<int>(First) + I);
            QTRY_COMPARE_WITH_TIMEOUT(Shown(Form, Row, TFieldKind::Actual), Expected[I], TickWait);
        }
        for (int I = 0; I < Expected.size(); ++I) {
            const auto Row = static_cast<TFieldRow>(static_cast<int>(First) + I);
            QTRY_COMPARE_WITH_TIMEOUT(Shown(Form, Row, TFieldKind::Sampled), Expected[I], TickWait);
            QCOMPARE(Shown(Form, Row, TFieldKind::Filtered), Expected[I]);
            QCOMPARE(Form.ValuePanel().Field(Row, TFieldKind::Sampled)->Color(),
                     Form.palette().color(QPalette::Base));
        }
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        const QString Output = qEnvironmentVariable("KELVALOG_TEST_OUTPUT");
        if (!Output.isEmpty()) {
            QDir().mkpath(Output);
            const QString Name = Board == Board5V ? QStringLiteral("mainwindow.png")
                                                  : QStringLiteral("mainwindow-3v3.png");
            QVERIFY(Form.grab().save(QDir(Output).filePath(Name)));
        }

        // Without further lines the next tick greys the values.
        QTRY_COMPARE_WITH_TIMEOUT(Form.ValuePanel().Field(First, TFieldKind::Sampled)->Color(),
                                  Form.palette().color(QPalette::Button), TickWait);

        Form.OnLineActionExecute();
        QVERIFY(!Form.OnLine);
        QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
        QVERIFY(!Form.SampleTimerRunning());
        QVERIFY(!Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(Form.TopPanel().UsedBoardComboBox()->isEnabled());
        QVERIFY(Boxes.Texts.empty());
        QVERIFY(Form.close());
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Board selection/Board")),
                 QString::number(Board));
    }

    void aCancelledPortChoiceIsReported()
    {
        TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(0); });
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(IniPath()));
        Form.OnLineActionExecute();
        QVERIFY(!Form.OnLine);
        QVERIFY(!Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(!Form.SampleTimerRunning());
        QCOMPARE(Boxes.Texts.size(), std::size_t(1));
        QCOMPARE(Boxes.Texts.front(), QStringLiteral("Unable to open the serial port."));
    }

    void anErrorInATickTakesTheLinkOffLineWithoutAMessage()
    {
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(IniPath()));
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
        Form.IntervalFieldChange();
        Form.OnLineActionExecute();
        QVERIFY(Form.OnLine);
        // A fault of the tick: it escapes the tick's own handling and must
        // end in the application-wide handler.
        bool Thrown = false;
        const auto Fault = connect(&Form.SampleIntervalTimer, &QTimer::timeout, &Form, [&] {
            Thrown = true;
            throw std::runtime_error("fault in the tick");
        });
        QTRY_VERIFY_WITH_TIMEOUT(Thrown, TickWait);
        QTRY_VERIFY(!Form.OnLine);
        QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
        QVERIFY(!Form.SampleTimerRunning());
        QVERIFY(!Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(Boxes.Texts.empty());

        // The user can go on line again.
        disconnect(Fault);
        Form.OnLineActionExecute();
        QVERIFY(Form.OnLine);
        QVERIFY(Form.close());
        QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
    }

    void logsToTabAndSylkFilesWhatTheWindowShows()
    {
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(IniPath(), ','));
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
        Form.LogPanel().IntervalField()->SetIntegerValue(2);
        Form.IntervalFieldChange();
        QCOMPARE(Form.LogPanel().LogIntervalHMS()->Text(), QStringLiteral("0:00:02"));
        Form.OnLineActionExecute();
        QVERIFY(Form.OnLine);
        // The board keeps sending the same line.
        QTimer Feeder;
        connect(&Feeder, &QTimer::timeout, &Form,
                [&] { Pty.SendLine("16384 23.45 22.10 21.00 20.50 "); });
        Feeder.start(200);

        auto RunLog = [&](int Kind, TButtonEdit* Edit, const QString& Path) {
            Form.LogPanel().LoggingType()->setItemIndex(Kind);
            Form.LoggingTypeClick();
            QCOMPARE(Form.LogPanel().LoggingPages()->currentIndex(), Kind);
            Edit->setText(Path);
            Form.LogOnActionExecute();
            QVERIFY(Form.Logging());
            QVERIFY(Form.TopPanel().LogOnAction()->isChecked());
            QVERIFY(!Form.LogPanel().LogGroup()->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(Form.LogPanel().LogRecordsWritten()->GetIntegerValue() >= 2,
                                     4 * TickWait);
        };
        // What the filtered fields show, as numbers.
        auto Shown = [&] {
            QList<float> Values;
            for (int Row = 0; Row < 5; ++Row)
                Values << Form.ValuePanel()
                              .Field(static_cast<TFieldRow>(Row), TFieldKind::Filtered)
                              ->FloatValue();
            return Values;
        };

        const QString TabPath = Dir.filePath(QStringLiteral("log.txt"));
        RunLog(1, Form.LogPanel().TABFileEdit(), TabPath);
        Form.LogOnActionExecute();
        QVERIFY(!Form.Logging());
        QVERIFY(!Form.LogOpen());
        QVERIFY(Form.LogPanel().LogGroup()->isEnabled());
        const QList<float> Expected = Shown();
        QCOMPARE(Expected.front(), 812.5f);

        QFile Tab(TabPath);
        QVERIFY(Tab.open(QIODevice::ReadOnly));
        const QList<QByteArray> TabLines = Tab.readAll().split('\n');
        int TabRecords = 0;
        for (QByteArray Line : TabLines) {
            if (Line.isEmpty())
                continue;
            QVERIFY(Line.endsWith('\r'));
            Line.chop(1);
            const QList<QByteArray> Fields = Line.split('\t');
            QCOMPARE(Fields.size(), 9);
            for (int Channel = 0; Channel < 8; ++Channel) {
                const QByteArray Field = Fields[Channel + 1];
                if (Channel >= 5) {
                    QVERIFY(Field.isEmpty());
                    continue;
                }
                QVERIFY2(Field.contains(','), Field.constData()); // the locale's separator
                QCOMPARE(QByteArray(Field).replace(',', '.').toFloat(), Expected[Channel]);
            }
            ++TabRecords;
        }
        QCOMPARE(TabRecords, Form.LogPanel().LogRecordsWritten()->GetIntegerValue());

        const QString SylkPath = Dir.filePath(QStringLiteral("log.slk"));
        RunLog(0, Form.LogPanel().SylkFileEdit(), SylkPath);
        const int SylkRecords = Form.LogPanel().LogRecordsWritten()->GetIntegerValue();
        // Closing the window closes the log first.
        Feeder.stop();
        QVERIFY(Form.close());
        QVERIFY(!Form.LogOpen());
        QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
        QVERIFY(Boxes.Texts.empty());

        QFile Sylk(SylkPath);
        QVERIFY(Sylk.open(QIODevice::ReadOnly));
        QList<QByteArray> SylkLines = Sylk.readAll().split('\n');
        QVERIFY(SylkLines.takeLast().isEmpty());
        QCOMPARE(SylkLines.first(), QByteArray("ID;PKelvalog\r"));
        QCOMPARE(SylkLines.last(), QByteArray("E\r"));
        int Rows = 0;
        for (const QByteArray& Bytes : SylkLines) {
            const QStringList Line = QString::fromLatin1(Bytes.chopped(1)).split(QLatin1Char(';'));
            if (Line.size() == 4 && Line[0] == QLatin1String("C") &&
                Line[1].startsWith(QLatin1Char('Y'))) {
                ++Rows;
                QCOMPARE(Line[1], QStringLiteral("Y") + QString::number(Rows));
            } else if (Line.size() == 3 && Line[0] == QLatin1String("C")) {
                const int Column = Line[1].mid(1).toInt();
                QVERIFY(Column >= 2 && Column <= 6);
                QCOMPARE(Line[2].mid(1).toFloat(), Expected[Column - 2]);
            }
        }
        QCOMPARE(Rows, SylkRecords);
        SetDefaultDecimalSeparator(QLatin1Char('.'));
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
    TOnlineTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "online_test.moc"
