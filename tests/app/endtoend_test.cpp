// The program as a user meets it: the board simulator on a pseudo-terminal,
// the port chosen in the real port dialog, values arriving, the settings
// written at close and found again at the next start.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "appfixture.h"
#include "controls/numericfield.h"
#include "link/port/comport.h"
#include "link/ui/comselectform.h"
#include "link/ui/statuslight.h"

#include <QComboBox>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {
constexpr int SimulatorCom = 4;
constexpr int Wait = 8000;
} // namespace

class TEndToEndTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;
    QString IniPath() const { return Dir.filePath(QStringLiteral("Kelvalog.INI")); }

private slots:
    void simulatedBoardsShowPlausibleValues_data()
    {
        QTest::addColumn<QString>("Variant");
        QTest::addColumn<int>("Board");
        QTest::newRow("5V") << QStringLiteral("5v") << Board5V;
        QTest::newRow("3.3V") << QStringLiteral("3v3") << Board3V;
    }
    void simulatedBoardsShowPlausibleValues()
    {
        QFETCH(QString, Variant);
        QFETCH(int, Board);
        QFile::remove(IniPath());
        QTemporaryDir Ports;
        QProcess Simulator;
        Simulator.setProgram(QStringLiteral(KELVALOG_BOARDSIM));
        Simulator.setArguments({QStringLiteral("--ports"), Ports.path(), QStringLiteral("--com"),
                                QString::number(SimulatorCom), QStringLiteral("--board"), Variant,
                                QStringLiteral("--rate"), QStringLiteral("5"),
                                QStringLiteral("--seed"), QStringLiteral("11")});
        Simulator.start();
        QVERIFY(Simulator.waitForStarted());
        const QString Link = Ports.filePath(QStringLiteral("COM%1").arg(SimulatorCom));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Link), Wait);
        qputenv("KELVALOG_PORTS", Ports.path().toLocal8Bit());

        TErrorBoxes Boxes;
        {
            TMainForm Form(QuickOptions(IniPath()));
            Form.show();
            Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board);
            Form.UsedBoardComboBoxClick();
            Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
            Form.IntervalFieldChange();

            // Answer the port dialog as a user would: pick the port, press OK.
            bool Answered = false;
            QTimer Answer;
            connect(&Answer, &QTimer::timeout, &Form, [&] {
                if (AnswerPortDialog(SimulatorCom))
                    Answered = true;
            });
            Answer.start(50);
            QTest::mouseClick(Form.TopPanel().OnLineAction(), Qt::LeftButton);
            Answer.stop();
            QVERIFY(Answered);
            QVERIFY(Form.OnLine);
            QVERIFY(Form.TopPanel().OnLineAction()->isChecked());
            QCOMPARE(Form.ComPort->ComNumber(), SimulatorCom);

            const TFieldRow First = Board == Board5V ? TFieldRow::T51 : TFieldRow::T31;
            const int Rows = Board == Board5V ? 5 : 6;
            auto Live = [&](TFieldRow Row, TFieldKind Kind) {
                return Form.ValuePanel().Field(Row, Kind)->Color() ==
                       Form.palette().color(QPalette::Base);
            };
            // Two ticks with readings in every row.
            for (int Tick = 0; Tick < 2; ++Tick) {
                for (int I = 0; I < Rows; ++I) {
                    const auto Row = static_cast<TFieldRow>(static_cast<int>(First) + I);
                    QTRY_VERIFY_WITH_TIMEOUT(Live(Row, TFieldKind::Sampled), Wait);
                }
                if (Tick == 0)
                    QTest::qWait(1100);
            }
            for (int I = 0; I < Rows; ++I) {
                const auto Row = static_cast<TFieldRow>(static_cast<int>(First) + I);
                const float Actual = Form.ValuePanel().Field(Row, TFieldKind::Actual)->FloatValue();
                const float Sampled =
                    Form.ValuePanel().Field(Row, TFieldKind::Sampled)->FloatValue();
                const float Filtered =
                    Form.ValuePanel().Field(Row, TFieldKind::Filtered)->FloatValue();
                const bool Pressure = Row == TFieldRow::T51;
                const bool Humidity = Row == TFieldRow::T33;
                const float Low = Pressure ? 600.0f : Humidity ? 0.0f : -10.0f;
                const float High = Pressure ? 1025.0f : Humidity ? 100.0f : 60.0f;
                QVERIFY2(Actual >= Low && Actual <= High, qPrintable(QString::number(Actual)));
                QVERIFY2(Sampled >= Low && Sampled <= High, qPrintable(QString::number(Sampled)));
                // Without filtering the filtered value is the sample.
                QCOMPARE(Filtered, Sampled);
            }
            QVERIFY(Form.StatusPanel().OnLineStatusLight()->Lit());
            QTRY_VERIFY_WITH_TIMEOUT(Form.StatusPanel().RecveiveStatusLight()->Lit(), Wait);

            QTest::mouseClick(Form.TopPanel().OnLineAction(), Qt::LeftButton);
            QVERIFY(!Form.OnLine);
            QTRY_VERIFY(!Form.ComPort->Open()); // a close may wait for a hand-off to end
            Form.TopPanel().PSensorLowerRange()->SetIntegerValue(650);
            QVERIFY(Form.close());
        }
        QCOMPARE(KeysInOrder(IniPath()), TwelveKeys);
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Board selection/Board")),
                 QString::number(Board));
        {
            TMainForm Again(QuickOptions(IniPath()));
            QCOMPARE(Again.Board(), Board);
            QCOMPARE(Again.TopPanel().PSensorLowerRange()->GetIntegerValue(), 650);
            QCOMPARE(Again.TopPanel().PSensorUpperRange()->GetIntegerValue(), 1025);
            QCOMPARE(Again.TambRhSpan, 1.0);
        }
        QVERIFY(Boxes.Texts.empty());
        Simulator.terminate();
        QVERIFY(Simulator.waitForFinished(5000));
    }
};

int main(int argc, char* argv[])
{
    TKelvalogApplication Application(argc, argv);
    TEndToEndTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "endtoend_test.moc"
