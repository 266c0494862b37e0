#include "logging/automation/automationregistry.h"
#include "logging/automation/recordingserver.h"
#include "logging/automation/worksheetwriter.h"
#include "logging/logcontrol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace kelvalog {
namespace {

using ::testing::ElementsAre;

// The window side, set to the worksheet kind and a record per tick.
class TWorksheetView : public ILogView
{
public:
    int LoggingTypeIndex() const override { return static_cast<int>(TLogKind::Worksheet); }
    std::string FileName(TLogKind) const override { return {}; }
    void SetFileName(TLogKind, const std::string&) override {}
    std::int32_t LogInterval() const override { return 1; }
    void ShowRecordsWritten(std::int32_t count) override { Shown = count; }
    void ShowLoggingPage(int) override {}
    void ShowMessage(TLogMessageKind, const std::string& text) override
    {
        Messages.push_back(text);
        if (OnMessage)
            OnMessage();
    }
    std::optional<std::string> ChooseFile(const TLogFileDialog&, const std::string&) override
    {
        return std::nullopt;
    }
    void UpdateControls() override { ++Updates; }

    std::vector<std::string> Messages;
    std::function<void()> OnMessage;
    std::int32_t Shown = -1;
    int Updates = 0;
};

class WorksheetLogging : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterRecordingServer(TWorksheetWriter::DefaultProgId, Journal);
        Control.SetWriterFactory(TLogKind::Worksheet, WorksheetWriterFactory(TLocaleFacts{}, [] {
                                     return TLocalDateTime{2024, 12, 8, 12, 0, 0, 0};
                                 }));
    }
    void TearDown() override { UnregisterAutomationServer(TWorksheetWriter::DefaultProgId); }

    std::size_t Count(const std::string& line) const
    {
        const auto lines = Journal->Lines();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }

    std::shared_ptr<TRecordingJournal> Journal = std::make_shared<TRecordingJournal>();
    TWorksheetView View;
    TLogControl Control{View, TLocaleFacts{}};
    TLogRecordValues Values = [] {
        TLogRecordValues values;
        values.Channels[0] = {true, 1.0f};
        values.Channels[1] = {true, 2.0f};
        return values;
    }();
};

TEST_F(WorksheetLogging, FailedCellPutSwitchesOffOnceAsksToQuitAndCounts)
{
    Control.LogOnActionExecute();
    ASSERT_TRUE(Control.Logging());
    Control.SampleTick(Values);
    ASSERT_EQ(Control.RecordsWritten(), 1);

    // The date cell of the second record fails, and so would everything
    // after it but the close.
    Journal->FailAt(static_cast<int>(Journal->Calls.size()) + 1);
    bool loggingDuringBox = true;
    bool openDuringBox = false;
    View.OnMessage = [&] {
        loggingDuringBox = Control.Logging();
        openDuringBox = Control.LogOpen();
        // Ticks that fall due while the box is up write nothing.
        Control.SampleTick(Values);
    };
    Control.SampleTick(Values);

    EXPECT_THAT(View.Messages, ElementsAre(WorksheetTransferFailedText));
    EXPECT_FALSE(loggingDuringBox);
    EXPECT_TRUE(openDuringBox);
    EXPECT_EQ(Control.State(), TLogState::Idle);
    EXPECT_EQ(Control.RecordsWritten(), 2);
    EXPECT_EQ(View.Shown, 2);
    EXPECT_EQ(Count("Application1 call Quit()"), 1u);
    // One failed cell, no other cell of that row.
    EXPECT_EQ(Count("ActiveSheet2 put Cells(2, 1, \"45634.5\") !"), 1u);
    EXPECT_EQ(Count("ActiveSheet2 put Cells(2, 2, \"1.00\")"), 0u);
}

TEST_F(WorksheetLogging, FailureWhileQuittingIsDroppedInTheFailurePath)
{
    Control.LogOnActionExecute();
    Journal->FailAt(static_cast<int>(Journal->Calls.size()) + 1, true);
    Control.SampleTick(Values);
    EXPECT_THAT(View.Messages, ElementsAre(WorksheetTransferFailedText));
    EXPECT_EQ(Control.State(), TLogState::Idle);
    EXPECT_EQ(Control.RecordsWritten(), 1);
}

TEST_F(WorksheetLogging, NoSpreadsheetMeansTheLogfileCannotBeCreated)
{
    UnregisterAutomationServer(TWorksheetWriter::DefaultProgId);
    Control.LogOnActionExecute();
    EXPECT_THAT(View.Messages, ElementsAre(LogCreateFailedText));
    EXPECT_EQ(Control.State(), TLogState::Idle);
}

TEST_F(WorksheetLogging, FailedSetUpLeavesTheApplicationRunning)
{
    Journal->FailAt(6); // the sheet's name
    Control.LogOnActionExecute();
    EXPECT_THAT(View.Messages, ElementsAre(LogCreateFailedText));
    EXPECT_EQ(Count("Application1 call Quit()"), 0u);
    EXPECT_EQ(Journal->Calls.size(), 6u);
}

TEST_F(WorksheetLogging, OffAndOnAgainStartsASecondApplication)
{
    Control.LogOnActionExecute();
    Control.SampleTick(Values);
    Control.SampleTick(Values);
    Control.LogOnActionExecute();
    EXPECT_FALSE(Control.LogOpen());
    EXPECT_EQ(Count("Application1 call Quit()"), 1u);

    Control.LogOnActionExecute();
    Control.SampleTick(Values);
    EXPECT_EQ(Count("create Excel.Application -> App2"), 1u);
    EXPECT_EQ(Count("ActiveSheet4 put Cells(1, 1, \"45634.5\")"), 1u);
    EXPECT_TRUE(View.Messages.empty());
}

} // namespace
} // namespace kelvalog
