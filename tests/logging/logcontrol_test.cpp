#include "logging/logcontrol.h"

#include "logtestfiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <vector>

using namespace kelvalog;
using namespace kelvalog::testing;

namespace {

// The window as the control sees it; records what it is asked to show.
class TFakeView : public ILogView
{
public:
    int Kind = 0;
    std::string SylkName;
    std::string TabName;
    std::int32_t Interval = 0;
    std::vector<std::int32_t> Shown;
    std::vector<std::pair<TLogMessageKind, std::string>> Messages;
    std::vector<int> Pages;
    int UpdateControlsCalls = 0;
    std::optional<std::string> DialogAnswer;
    std::vector<std::pair<std::string, std::string>> Dialogs; // title, initial name
    // Runs while a message box is up, as the ticks of a live window would.
    std::function<void()> DuringMessage;

    int LoggingTypeIndex() const override { return Kind; }
    std::string FileName(TLogKind kind) const override
    {
        return kind == TLogKind::Sylk ? SylkName : TabName;
    }
    void SetFileName(TLogKind kind, const std::string& name) override
    {
        (kind == TLogKind::Sylk ? SylkName : TabName) = name;
    }
    std::int32_t LogInterval() const override { return Interval; }
    void ShowRecordsWritten(std::int32_t count) override { Shown.push_back(count); }
    void ShowLoggingPage(int index) override { Pages.push_back(index); }
    void ShowMessage(TLogMessageKind kind, const std::string& text) override
    {
        Messages.emplace_back(kind, text);
        if (DuringMessage) {
            DuringMessage();
        }
    }
    std::optional<std::string> ChooseFile(const TLogFileDialog& dialog,
                                          const std::string& initial) override
    {
        Dialogs.emplace_back(dialog.Title, initial);
        return DialogAnswer;
    }
    void UpdateControls() override { ++UpdateControlsCalls; }
    void ShowRecordFailures(const std::string& text, bool first) override
    {
        Failures.emplace_back(text, first);
    }
    std::vector<std::pair<std::string, bool>> Failures;
};

// A writer that counts calls and fails on request.
struct TScriptedLog
{
    int Opens = 0;
    int Records = 0;
    int Closes = 0;
    std::vector<std::int32_t> Rows;
    bool FailOpen = false;
    bool FailRecord = false;
    bool FailClose = false;
    // Failures that are no std::exception, as a foreign server may raise.
    bool Foreign = false;
};

class TScriptedWriter : public ILogWriter
{
public:
    explicit TScriptedWriter(TScriptedLog& log) : Log(log) {}
    void Fail(const char* what) const
    {
        if (Log.Foreign) {
            throw 42;
        }
        throw ELogError(what);
    }
    void Open(const std::string&) override
    {
        if (Log.FailOpen) {
            Fail("open");
        }
        ++Log.Opens;
    }
    void WriteRecord(const TLogRecordValues&, std::int32_t recordsWritten) override
    {
        ++Log.Records;
        Log.Rows.push_back(recordsWritten + 1);
        if (Log.FailRecord) {
            if (!Log.Foreign) {
                throw ELogError("record", ENOSPC);
            }
            Fail("record");
        }
    }
    void Close() override
    {
        ++Log.Closes;
        if (Log.FailClose) {
            Fail("close");
        }
    }

private:
    TScriptedLog& Log;
};

TLogWriterFactory Scripted(TScriptedLog& log)
{
    return [&log] { return std::make_unique<TScriptedWriter>(log); };
}

TLocalClock FixedClock()
{
    return [] { return TLocalDateTime{2024, 12, 8, 14, 3, 7, 0}; };
}

TLogRecordValues OneChannel()
{
    TLogRecordValues v;
    v.Channels[0] = {true, 1.0f};
    return v;
}

using Message = std::pair<TLogMessageKind, std::string>;

} // namespace

TEST(LogControl, CadenceWritesEveryNthTickAndCountsRecords)
{
    TFakeView view;
    TScriptedLog log;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    control.SetWriterFactory(TLogKind::Sylk, Scripted(log));
    view.Interval = 3;
    control.LogOnActionExecute();
    ASSERT_EQ(control.State(), TLogState::Logging);
    std::vector<int> recordTicks;
    for (int tick = 1; tick <= 10; ++tick) {
        const int before = log.Records;
        control.SampleTick(OneChannel());
        if (log.Records != before) {
            recordTicks.push_back(tick);
        }
    }
    EXPECT_EQ(recordTicks, (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(view.Shown, (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(log.Rows, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(control.SamplesSinceRecord(), 1);

    // The interval is read afresh at every tick; 0 (not yet entered) acts as 1.
    view.Interval = 0;
    control.SampleTick(OneChannel());
    view.Interval = -5;
    control.SampleTick(OneChannel());
    EXPECT_EQ(control.RecordsWritten(), 5);
    EXPECT_EQ(view.UpdateControlsCalls, 1);
    EXPECT_TRUE(view.Messages.empty());
}

TEST(LogControl, SwitchingOffClosesAndKeepsTheCount)
{
    TFakeView view;
    TScriptedLog log;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    control.SetWriterFactory(TLogKind::Sylk, Scripted(log));
    view.Interval = 1;
    control.LogOnActionExecute();
    control.SampleTick(OneChannel());
    control.SampleTick(OneChannel());
    control.LogOnActionExecute();
    EXPECT_EQ(control.State(), TLogState::Idle);
    EXPECT_EQ(log.Closes, 1);
    EXPECT_EQ(control.RecordsWritten(), 2);
    EXPECT_EQ(view.UpdateControlsCalls, 2);
    // No ticks are counted while closed.
    control.SampleTick(OneChannel());
    EXPECT_EQ(log.Records, 2);

    // A failing close still leaves the log closed, with a warning.
    control.LogOnActionExecute();
    log.FailClose = true;
    control.LogOnActionExecute();
    EXPECT_EQ(control.State(), TLogState::Idle);
    EXPECT_EQ(view.Messages,
              (std::vector<Message>{{TLogMessageKind::Warning, LogCloseFailedText}}));
    EXPECT_NO_THROW(control.CloseLog()); // nothing left to close
    EXPECT_EQ(log.Closes, 2);
}

TEST(LogControl, FailedOpenShowsErrorAndZeroesTheCounter)
{
    TFakeView view;
    TScriptedLog log;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    control.SetWriterFactory(TLogKind::Sylk, Scripted(log));
    control.LogOnActionExecute();
    control.SampleTick(OneChannel());
    control.SampleTick(OneChannel());
    control.LogOnActionExecute();
    ASSERT_EQ(control.RecordsWritten(), 2);

    log.FailOpen = true;
    control.LogOnActionExecute();
    EXPECT_EQ(control.State(), TLogState::Idle);
    EXPECT_EQ(control.RecordsWritten(), 0);
    EXPECT_EQ(view.Shown.back(), 0);
    EXPECT_EQ(view.Messages, (std::vector<Message>{{TLogMessageKind::Error, LogCreateFailedText}}));
    EXPECT_EQ(view.UpdateControlsCalls, 3);
    EXPECT_EQ(log.Closes, 1); // nothing was open to close after the failure

    // Empty file names and the worksheet without a registered writer fail the same way.
    TLogControl real(view, TLocaleFacts{}, FixedClock());
    view.Messages.clear();
    for (const int kind : {0, 1, 2, 3, -1}) {
        view.Kind = kind;
        real.LogOnActionExecute();
        EXPECT_FALSE(real.Logging()) << kind;
        EXPECT_FALSE(real.LogOpen()) << kind;
    }
    EXPECT_EQ(view.Messages.size(), 5u);
    EXPECT_THROW(real.OpenLog(), ELogError);
}

TEST(LogControl, FailedFileRecordsAreCountedApartAndSaidInTheStatusBar)
{
    TFakeView view;
    TScriptedLog log;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    control.SetWriterFactory(TLogKind::Tab, Scripted(log));
    view.Kind = 1;
    view.Interval = 1;
    control.LogOnActionExecute();
    log.FailRecord = true;
    control.SampleTick(OneChannel());
    control.SampleTick(OneChannel());
    log.FailRecord = false;
    control.SampleTick(OneChannel());
    // No box; the records that reached the file are counted, the others
    // apart, and the next good record takes the row the failed ones left.
    EXPECT_TRUE(view.Messages.empty());
    EXPECT_TRUE(control.Logging());
    EXPECT_EQ(log.Rows, (std::vector<std::int32_t>{1, 1, 1}));
    EXPECT_EQ(control.RecordsWritten(), 1);
    EXPECT_EQ(control.RecordsFailed(), 2);
    ASSERT_EQ(view.Failures.size(), 2u);
    EXPECT_EQ(view.Failures[0], std::make_pair(std::string("Log: 1 record could not be written "
                                                           "(No space left on device)"),
                                               true));
    EXPECT_EQ(view.Failures[1].second, false);
    EXPECT_EQ(view.Shown.back(), 1);
    // A new log starts its failure count afresh.
    control.LogOnActionExecute();
    control.LogOnActionExecute();
    EXPECT_EQ(control.RecordsFailed(), 0);
}

TEST(LogControl, FailureTextNamesTheSystemCause)
{
    EXPECT_EQ(FormatRecordFailures(20, "No space left on device"),
              "Log: 20 records could not be written (No space left on device)");
}

TEST(LogControl, FailedWorksheetRecordSwitchesLoggingOffOnce)
{
    TFakeView view;
    TScriptedLog log;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    control.SetWriterFactory(TLogKind::Worksheet, Scripted(log));
    view.Kind = 2;
    view.Interval = 1;
    control.LogOnActionExecute();
    ASSERT_EQ(log.Opens, 1);
    log.FailRecord = true;
    log.FailClose = true; // dropped without a message
    // Ticks that come while the message is up write nothing.
    std::vector<TLogState> statesDuringMessage;
    view.DuringMessage = [&] {
        statesDuringMessage.push_back(control.State());
        control.SampleTick(OneChannel());
        control.SampleTick(OneChannel());
    };
    control.SampleTick(OneChannel());
    EXPECT_EQ(statesDuringMessage, (std::vector<TLogState>{TLogState::FailingWorksheet}));
    EXPECT_EQ(view.Messages,
              (std::vector<Message>{{TLogMessageKind::Error, WorksheetTransferFailedText}}));
    EXPECT_EQ(view.UpdateControlsCalls, 2);
    EXPECT_EQ(control.State(), TLogState::Idle);
    EXPECT_EQ(log.Records, 1);
    EXPECT_EQ(log.Closes, 1);
    EXPECT_EQ(control.RecordsWritten(), 1);
    control.SampleTick(OneChannel());
    EXPECT_EQ(log.Records, 1);
}

TEST(LogControl, OffLinePauseContinuesTheSameSylkFile)
{
    TLogTestFolder dir;
    TFakeView view;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    view.SylkName = dir.File("run.slk");
    view.Interval = 2;
    control.LogOnActionExecute();
    control.SampleTick(OneChannel());
    control.SampleTick(OneChannel());
    control.SampleTick(OneChannel());
    // Off line: no ticks arrive, the log stays open with its counters.
    EXPECT_EQ(control.State(), TLogState::Logging);
    EXPECT_EQ(control.SamplesSinceRecord(), 1);
    // On line again: the pending sample count carries on.
    control.SampleTick(OneChannel());
    EXPECT_EQ(control.RecordsWritten(), 2);
    control.LogOnActionExecute();
    const std::string text = ReadAll(view.SylkName);
    EXPECT_NE(text.find("C;Y1;X1;K45634.5854976852\r\nC;X2;K1.00\r\n"
                        "C;Y2;X1;K45634.5854976852\r\nC;X2;K1.00\r\nE\r\n"),
              std::string::npos);

    // Switching on again restarts the counter and replaces a SYLK log, while a
    // TAB log of the same name is continued.
    control.LogOnActionExecute();
    control.SampleTick(OneChannel());
    control.SampleTick(OneChannel());
    control.LogOnActionExecute();
    EXPECT_EQ(control.RecordsWritten(), 1);
    EXPECT_EQ(ReadAll(view.SylkName).find("C;Y2"), std::string::npos);

    view.Kind = 1;
    view.TabName = dir.File("run.txt");
    for (int run = 0; run < 2; ++run) {
        control.LogOnActionExecute();
        control.SampleTick(OneChannel());
        control.SampleTick(OneChannel());
        control.LogOnActionExecute();
    }
    EXPECT_EQ(ReadAll(view.TabName), "12/8/2024 2:03:07 PM\t1.00\t\t\t\t\t\t\t\r\n"
                                     "12/8/2024 2:03:07 PM\t1.00\t\t\t\t\t\t\t\r\n");
    EXPECT_TRUE(view.Messages.empty());
}

TEST(LogControl, PagesAndFileDialogs)
{
    TFakeView view;
    TLogControl control(view, TLocaleFacts{}, FixedClock());
    view.Kind = 1;
    control.LoggingTypeClick();
    EXPECT_EQ(view.Pages, (std::vector<int>{1}));

    view.SylkName = "typed";
    control.SylkFileEditButtonClick(); // cancelled
    EXPECT_EQ(view.SylkName, "typed");
    view.DialogAnswer = "/data/run.txt";
    control.TABFileEditButtonClick();
    EXPECT_EQ(view.TabName, "/data/run.txt");
    EXPECT_EQ(view.SylkName, "typed");
    EXPECT_EQ(view.Dialogs,
              (std::vector<std::pair<std::string, std::string>>{
                  {"Select a symbolic link file", "typed"}, {"Select a text file", ""}}));
}

TEST(LogControl, IntervalText)
{
    EXPECT_EQ(FormatLogInterval(2, 30), "0:01:00");
    EXPECT_EQ(FormatLogInterval(1, 3600), "1:00:00");
    EXPECT_EQ(FormatLogInterval(59, 1), "0:00:59");
    EXPECT_EQ(FormatLogInterval(1, 1), "0:00:01");
    EXPECT_EQ(FormatLogInterval(1, 0), "0:00:00");
    EXPECT_EQ(FormatLogInterval(1000, 32767), "9101:56:40");
}

TEST(LogControl, FailuresOfAnyTypeAreHandledLikeLogErrors)
{
    for (const int kind : {0, 2}) {
        TFakeView view;
        TScriptedLog log;
        log.Foreign = true;
        TLogControl control(view, TLocaleFacts{}, FixedClock());
        control.SetWriterFactory(static_cast<TLogKind>(kind), Scripted(log));
        view.Kind = kind;
        view.Interval = 1;
        log.FailOpen = true;
        EXPECT_NO_THROW(control.LogOnActionExecute());
        EXPECT_EQ(control.State(), TLogState::Idle);
        log.FailOpen = false;
        control.LogOnActionExecute();
        ASSERT_TRUE(control.Logging());
        log.FailRecord = true;
        EXPECT_NO_THROW(control.SampleTick(OneChannel()));
        // A file record that failed is not written; the worksheet's is.
        EXPECT_EQ(control.RecordsWritten(), kind == 0 ? 0 : 1);
        log.FailClose = true;
        if (kind == 0) {
            EXPECT_TRUE(control.Logging());
            EXPECT_NO_THROW(control.LogOnActionExecute());
        }
        EXPECT_EQ(control.State(), TLogState::Idle) << kind;
        ASSERT_EQ(view.Messages.size(), 2u) << kind;
        EXPECT_EQ(view.Messages[0].second, LogCreateFailedText);
        EXPECT_EQ(view.Messages[1].second,
                  kind == 0 ? LogCloseFailedText : WorksheetTransferFailedText);
    }
}
