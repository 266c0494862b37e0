// The window on a line that sends more than it can take: the bytes it cannot
// take in time are dropped and said so, memory stays bounded, and the values
// shown afterwards are those of the newest lines.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "appfixture.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "link/port/comport.h"
#include "link/ui/statuslight.h"
#include "ptyboard.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <thread>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {
constexpr int BoardCom = 6;
} // namespace

class TOverloadTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;

private slots:
    void init()
    {
        TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(BoardCom); });
    }
    void cleanup() { TCustomComPort::SetPortPromptHook(nullptr); }

    void aWindowThatCannotKeepUpDropsTheOldestInputAndSaysSo()
    {
        TPtyBoard Pty(BoardCom);
        QVERIFY(Pty.Ready());
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(Dir.filePath(QStringLiteral("Kelvalog.INI"))));
        Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
        Form.UsedBoardComboBoxClick();
        Form.OnLineActionExecute();
        QVERIFY(Form.OnLine);
        QVERIFY(Pty.SendLine("16384 20.00 22.10 21.00 20.50 "));
        QTRY_COMPARE_WITH_TIMEOUT(
            Form.ValuePanel().Field(TFieldRow::T52, TFieldKind::Actual)->Text(),
            QStringLiteral("20.00"), 5000);
        QVERIFY(!Form.StatusPanel().ErrorStatusLight()->Lit());

        // The window thread is busy while far more than its backlog arrives,
        // random bytes mixed in.
        std::atomic<bool> Done{false};
        std::thread Board([&] {
            std::string Chunk;
            for (int I = 0; I < 2000; ++I)
                Chunk += "\n16384 21.00 22.10 21.00 20.50 \r\x01\xfe";
            for (int Round = 0; Round < 60; ++Round)
                Pty.SendRaw(Chunk);
            Done = true;
        });
        QTest::qSleep(1500);
        Board.join();
        QVERIFY(Done);
        // Lit as for a line error, for a while.
        QTRY_VERIFY_WITH_TIMEOUT(Form.StatusPanel().ErrorStatusLight()->Lit(), 3000);
        QVERIFY(Pty.SendLine("16384 23.45 22.10 21.00 20.50 "));
        // The newest line shows, within about a second of arriving.
        QTRY_COMPARE_WITH_TIMEOUT(
            Form.ValuePanel().Field(TFieldRow::T52, TFieldKind::Actual)->Text(),
            QStringLiteral("23.45"), 5000);
        const QString Said = Form.StatusPanel().StatusBar()->Panel(1).Text;
        const QRegularExpression Overrun(QStringLiteral("^Input overrun: (\\d+) bytes dropped$"));
        const auto Match = Overrun.match(Said);
        QVERIFY2(Match.hasMatch(), qPrintable(Said));
        QVERIFY(Match.captured(1).toULongLong() > 0);
        QVERIFY(Form.OnLine);
        QVERIFY(Boxes.Texts.empty());
        Form.OnLineActionExecute();
        QVERIFY(!Form.OnLine);
        QTRY_VERIFY(!Form.ComPort->Open());
    }
};

extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Test.so.6\n";
}

int main(int argc, char* argv[])
{
    TKelvalogApplication Application(argc, argv);
    TOverloadTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "overload_test.moc"
