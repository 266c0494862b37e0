#include "logging/automation/automationregistry.h"
#include "logging/automation/recordingserver.h"
#include "logging/automation/worksheetwriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace kelvalog {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const TLocalDateTime Morning{2024, 12, 8, 14, 3, 5, 250};

TLocaleFacts Facts(char separator)
{
    TLocaleFacts facts;
    facts.DecimalSeparator = separator;
    facts.ShortDatePattern = "d-M-yyyy";
    return facts;
}

TLogRecordValues FirstChannels(int count, float base)
{
    TLogRecordValues values;
    for (int channel = 0; channel < count; ++channel)
        values.Channels[channel] = {true, base + static_cast<float>(channel)};
    return values;
}

// The writer talks to the recording server as if it were the spreadsheet.
class WorksheetWriter : public ::testing::Test
{
protected:
    void SetUp() override { RegisterRecordingServer(TWorksheetWriter::DefaultProgId, Journal); }
    void TearDown() override { UnregisterAutomationServer(TWorksheetWriter::DefaultProgId); }

    TWorksheetWriter NewWriter(char separator = '.')
    {
        return TWorksheetWriter(Facts(separator), [this] { return Now; });
    }

    std::vector<std::string> LinesFrom(std::size_t first) const
    {
        const auto lines = Journal->Lines();
        return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, lines.size())),
                lines.end()};
    }

    std::shared_ptr<TRecordingJournal> Journal = std::make_shared<TRecordingJournal>();
    TLocalDateTime Now = Morning;
};

const std::vector<std::string> OpenCalls{
    "create Excel.Application -> App1",
    "App1 put Visible(true)",
    "App1 get Workbooks() -> Workbooks1",
    "Workbooks1 call Add()",
    "App1 get ActiveSheet() -> ActiveSheet1",
    "ActiveSheet1 put Name(\"Kelvalog 8-12-2024\")",
    "App1 get ActiveSheet() -> ActiveSheet2",
    "ActiveSheet2 get Columns(1) -> Columns1",
    "Columns1 put NumberFormat(\"d-mmm-yyyy hh:mm:ss\")",
    "ActiveSheet2 get Columns(1) -> Columns2",
    "Columns2 put ColumnWidth(20)",
};

TEST_F(WorksheetWriter, OpenTwoRecordsAndCloseMakeExactlyTheseCalls)
{
    auto writer = NewWriter();
    writer.Open("");
    EXPECT_THAT(Journal->Lines(), ElementsAreArray(OpenCalls));
    EXPECT_EQ(DescribeVariant(writer.LogSheet()), "ActiveSheet2");

    writer.WriteRecord(FirstChannels(5, 21.5f), 0);
    Now.Hour = 15;
    writer.WriteRecord(FirstChannels(5, -0.004f), 1);
    writer.Close();

    EXPECT_THAT(
        LinesFrom(OpenCalls.size()),
        ElementsAre(
            "ActiveSheet2 put Cells(1, 1, \"45634.5854774306\")",
            "ActiveSheet2 put Cells(1, 2, \"21.50\")", "ActiveSheet2 put Cells(1, 3, \"22.50\")",
            "ActiveSheet2 put Cells(1, 4, \"23.50\")", "ActiveSheet2 put Cells(1, 5, \"24.50\")",
            "ActiveSheet2 put Cells(1, 6, \"25.50\")",
            "ActiveSheet2 put Cells(2, 1, \"45634.6271440972\")",
            "ActiveSheet2 put Cells(2, 2, \"0.00\")", "ActiveSheet2 put Cells(2, 3, \"1.00\")",
            "ActiveSheet2 put Cells(2, 4, \"2.00\")", "ActiveSheet2 put Cells(2, 5, \"3.00\")",
            "ActiveSheet2 put Cells(2, 6, \"4.00\")",
            "ActiveSheet2 get Application() -> Application1", "Application1 call Quit()"));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(writer.LogSheet()));
}

TEST_F(WorksheetWriter, CommaLocaleKeepsPointsInTheDateAndCommasInValues)
{
    auto writer = NewWriter(',');
    writer.Open("");
    TLogRecordValues values;
    values.Channels[7] = {true, 1013.255f};
    values.Channels[2] = {true, -21.5f};
    writer.WriteRecord(values, 41);
    EXPECT_THAT(LinesFrom(OpenCalls.size()),
                ElementsAre("ActiveSheet2 put Cells(42, 1, \"45634.5854774306\")",
                            "ActiveSheet2 put Cells(42, 4, \"-21,50\")",
                            "ActiveSheet2 put Cells(42, 9, \"1013,26\")"));
}

TEST_F(WorksheetWriter, RecordWithoutValidChannelPutsOnlyTheDate)
{
    auto writer = NewWriter();
    writer.Open("");
    Now = {2024, 12, 9, 9, 0, 0, 0};
    writer.WriteRecord(TLogRecordValues{}, 0);
    EXPECT_THAT(LinesFrom(OpenCalls.size()),
                ElementsAre("ActiveSheet2 put Cells(1, 1, \"45635.375\")"));
}

TEST_F(WorksheetWriter, SheetNameCarriesTheDateOfTheOpen)
{
    Now = {2024, 1, 31, 23, 59, 59, 999};
    auto writer = NewWriter();
    writer.Open("");
    EXPECT_EQ(Journal->Lines()[5], "ActiveSheet1 put Name(\"Kelvalog 31-1-2024\")");
}

TEST_F(WorksheetWriter, FailingCellPutStopsTheRowAndRaises)
{
    auto writer = NewWriter();
    writer.Open("");
    // The third cell of the row fails; the rest of the row is not tried.
    Journal->FailAt(static_cast<int>(OpenCalls.size()) + 3);
    EXPECT_THROW(writer.WriteRecord(FirstChannels(5, 1.0f), 0), ELogError);
    EXPECT_THAT(LinesFrom(OpenCalls.size()),
                ElementsAre("ActiveSheet2 put Cells(1, 1, \"45634.5854774306\")",
                            "ActiveSheet2 put Cells(1, 2, \"1.00\")",
                            "ActiveSheet2 put Cells(1, 3, \"2.00\") !"));
    // The logging control then closes the log: the quit is still asked.
    writer.Close();
    EXPECT_THAT(
        LinesFrom(OpenCalls.size() + 3),
        ElementsAre("ActiveSheet2 get Application() -> Application1", "Application1 call Quit()"));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(writer.LogSheet()));
}

TEST_F(WorksheetWriter, FailedCloseStillDropsTheSheet)
{
    for (const int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        Journal->Calls.clear();
        Journal->ClearFailure();
        auto writer = NewWriter();
        writer.Open("");
        Journal->FailAt(static_cast<int>(OpenCalls.size()) + failing);
        EXPECT_THROW(writer.Close(), ELogError);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(writer.LogSheet()));
        EXPECT_EQ(Journal->Calls.size(), OpenCalls.size() + failing);
    }
}

TEST_F(WorksheetWriter, FailedOpenStopsAtTheStepAndKeepsNoSheet)
{
    for (int failing = 1; failing <= static_cast<int>(OpenCalls.size()); ++failing) {
        SCOPED_TRACE(failing);
        Journal->Calls.clear();
        Journal->FailAt(failing);
        auto writer = NewWriter();
        EXPECT_THROW(writer.Open(""), ELogError);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(writer.LogSheet()));
        // Nothing after the failing step, and no quit of what was started.
        EXPECT_EQ(Journal->Calls.size(), static_cast<std::size_t>(failing));
        // A record after a failed open reaches no server.
        EXPECT_THROW(writer.WriteRecord(FirstChannels(1, 0.0f), 0), ELogError);
        EXPECT_EQ(Journal->Calls.size(), static_cast<std::size_t>(failing));
    }
}

TEST_F(WorksheetWriter, OpenFailsWhenNoSpreadsheetIsRegistered)
{
    UnregisterAutomationServer(TWorksheetWriter::DefaultProgId);
    auto writer = NewWriter();
    EXPECT_THROW(writer.Open(""), ELogError);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(writer.LogSheet()));
}

TEST_F(WorksheetWriter, EveryLogStartsItsOwnApplicationAndRowsRestart)
{
    for (int log = 1; log <= 2; ++log) {
        const std::size_t before = Journal->Calls.size();
        auto writer = NewWriter();
        writer.Open("");
        writer.WriteRecord(TLogRecordValues{}, 0);
        writer.Close();
        const auto lines = LinesFrom(before);
        EXPECT_EQ(lines.front(), "create Excel.Application -> App" + std::to_string(log));
        EXPECT_EQ(lines[OpenCalls.size()].substr(0, 29),
                  "ActiveSheet" + std::to_string(2 * log) + " put Cells(1, 1, ");
    }
}

TEST_F(WorksheetWriter, LastRowNumberDoesNotWrapAround)
{
    auto writer = NewWriter();
    writer.Open("");
    writer.WriteRecord(TLogRecordValues{}, std::numeric_limits<std::int32_t>::max() - 1);
    EXPECT_EQ(Journal->Lines().back(),
              "ActiveSheet2 put Cells(2147483647, 1, \"45634.5854774306\")");
    EXPECT_THROW(writer.WriteRecord(TLogRecordValues{}, std::numeric_limits<std::int32_t>::max()),
                 ELogError);
    EXPECT_EQ(Journal->Calls.size(), OpenCalls.size() + 1);
}

} // namespace
} // namespace kelvalog
