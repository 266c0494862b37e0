// The window while the worksheet's office starts or quits: it paints, its
// timers run and board lines are decoded in order, the status bar and the
// cursor say what is going on, clicks and keys are dropped, and it cannot be
// closed half-way: a close asked for meanwhile waits for the step's end.

#include "app/applicationevents.h"
#include "app/officebusy.h"
#include "controls/panelstatusbar.h"
#include "link/ui/guibridge.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <thread>
#include <vector>

namespace kelvalog {
namespace {

// Lets the window work for `ms` milliseconds through the waiter.
void PumpFor(TOfficeBusy& Busy, int Ms)
{
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    while (std::chrono::steady_clock::now() < Deadline) {
        Busy.Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TEST(OfficeBusy, BoardLinesGoOnWhileTheOfficeStartsAndACloseWaitsForIt)
{
    TPanelStatusBar Bar;
    Bar.AddTextPanel(50);
    Bar.AddTextPanel(200);
    Bar.setPanelText(1, QStringLiteral("a hint"));
    QWidget Window;
    QPushButton Button(&Window);
    int Clicks = 0;
    QObject::connect(&Button, &QPushButton::clicked, [&] { ++Clicks; });
    Window.show();
    TOfficeBusy Busy;
    Busy.SetStatusBar(&Bar);

    int Ticks = 0;
    QTimer Timer;
    QObject::connect(&Timer, &QTimer::timeout, [&] { ++Ticks; });
    Timer.start(10);

    Busy.Begin(TServerActivity::Starting);
    EXPECT_EQ(Bar.Panel(1).Text, QStringLiteral("Starting LibreOffice Calc\u2026"));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // The dispatch thread hands over three lines, each waited for.
    std::vector<int> Lines;
    std::thread Dispatch([&] {
        for (int Line = 0; Line < 3; ++Line)
            TGuiBridge::Instance()->InvokeAndWait([&Lines, Line] { Lines.push_back(Line); });
    });
    int Closes = 0;
    Busy.WhenIdle([&] { ++Closes; });
    PumpFor(Busy, 300);
    EXPECT_EQ(Lines, (std::vector<int>{0, 1, 2})) << "lines waited for the office";
    EXPECT_GE(Ticks, 5) << "the window's timers did not run";
    EXPECT_FALSE(Window.close());
    EXPECT_TRUE(Window.isVisible());
    QTest::mouseClick(&Button, Qt::LeftButton);
    QTest::keyClick(&Button, Qt::Key_Space);
    PumpFor(Busy, 50);
    EXPECT_EQ(Clicks, 0) << "input was taken while the office was starting";

    Busy.Begin(TServerActivity::Closing);
    EXPECT_EQ(Bar.Panel(1).Text, QStringLiteral("Closing\u2026"));
    Busy.End();
    EXPECT_NE(QApplication::overrideCursor(), nullptr) << "the outer wait still runs";
    Busy.End();
    EXPECT_EQ(Bar.Panel(1).Text, QStringLiteral("a hint"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The close comes once the step's caller has returned; a second step
    // that begins first puts it off again.
    EXPECT_EQ(Closes, 0);
    Busy.Begin(TServerActivity::Starting);
    PumpFor(Busy, 50);
    EXPECT_EQ(Closes, 0);
    Busy.End();
    QApplication::processEvents();
    EXPECT_EQ(Closes, 1);
    Dispatch.join();
    EXPECT_EQ(Clicks, 0) << "input held back was replayed";
    QTest::mouseClick(&Button, Qt::LeftButton);
    EXPECT_EQ(Clicks, 1);
    EXPECT_TRUE(Window.close());
}

} // namespace
} // namespace kelvalog

int main(int argc, char* argv[])
{
    kelvalog::TKelvalogApplication Application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
