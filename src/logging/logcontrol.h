#pragma once

#include "common/localefacts.h"
#include "common/serialdate.h"
#include "logging/logwriter.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kelvalog {

// Item indexes of LoggingType, and the pages of LoggingPages in that order.
enum class TLogKind : int {
    Sylk = 0,      // "Spreadsheet compatible file"
    Tab = 1,       // "TAB-delimited text file"
    Worksheet = 2, // "Excel worksheet"
};

enum class TLogMessageKind { Error, Warning };

inline constexpr const char* LogCreateFailedText = "The logfile could not be created.";
inline constexpr const char* LogCloseFailedText = "There were errors while the log was closed.";
inline constexpr const char* WorksheetTransferFailedText =
    "Unable to transfer data: Excel was probably closed.";

// A file-open dialog of a file edit. Filter: entries separated by "|", each a
// description followed by its pattern.
struct TLogFileDialog
{
    const char* Title;
    const char* Filter;
    const char* DefaultExtension;
};

inline constexpr TLogFileDialog OpenSylkDialog{
    "Select a symbolic link file", "symbolic link files *.slk|*.slk|all files *.*|*.*", "slk"};
inline constexpr TLogFileDialog OpenTabDialog{"Select a text file",
                                              "text files *.txt|*.txt|all files *.*|*.*", "txt"};

// The window side of logging. The main window implements it:
//   LoggingTypeIndex    LoggingType's selected item index
//   FileName/SetFileName  text of SylkFileEdit (Sylk) or TABFileEdit (Tab)
//   LogInterval         IntervalField's integer value (0 when not a valid
//                       number in its range), read afresh at every tick
//   ShowRecordsWritten  LogRecordsWritten's value, set by the program
//   ShowLoggingPage     LoggingPages shows the page of this index
//   ShowMessage         a modal box with one OK button, caption "Error" or
//                       "Warning" and the matching icon; returns when closed
//   ChooseFile          the modal file-open dialog: title, filter (first
//                       entry preselected the first time), default
//                       extension added to a name without one, the folder
//                       must exist, the file need not, read-only box hidden,
//                       resizable; starts at `Initial`; returns the full path
//                       when confirmed, nothing when cancelled
//   ShowRecordFailures  the status bar says how many records of the open log
//                       could not be written and why; `First` marks the
//                       first failure of a log
//   UpdateControls      the window's UpdateControls (LogOnAction pressed
//                       exactly while Logging(), enabled only on line, LogGroup
//                       disabled while Logging())
class ILogView
{
public:
    virtual ~ILogView() = default;
    virtual int LoggingTypeIndex() const = 0;
    virtual std::string FileName(TLogKind Kind) const = 0;
    virtual void SetFileName(TLogKind Kind, const std::string& Name) = 0;
    virtual std::int32_t LogInterval() const = 0;
    virtual void ShowRecordsWritten(std::int32_t Count) = 0;
    virtual void ShowLoggingPage(int Index) = 0;
    virtual void ShowMessage(TLogMessageKind Kind, const std::string& Text) = 0;
    virtual std::optional<std::string> ChooseFile(const TLogFileDialog& Dialog,
                                                  const std::string& Initial) = 0;
    virtual void UpdateControls() = 0;
    virtual void ShowRecordFailures(const std::string& /*Text*/, bool /*First*/) {}
};

enum class TLogState {
    Idle,             // Logging and LogOpen false
    Logging,          // both set; no ticks come while off line, the log stays open
    FailingWorksheet, // the worksheet failed: its message is up, its close follows
};

// The log interval display: seconds per sample x samples per record as
// "%d:%.2d:%.2d" (hours unlimited, minutes and seconds with two digits).
std::string FormatLogInterval(std::int32_t SampleSeconds, std::int32_t SamplesPerRecord);

// "Log: 20 records could not be written (No space left on device)".
std::string FormatRecordFailures(std::int32_t Count, const std::string& Cause);

// The logging run: switching on and off, the record cadence in samples, the
// record counter and the messages. Everything runs on the window thread; the
// view's modal boxes may let ticks in while they are shown.
class TLogControl
{
public:
    // `Facts` and `Clock` go to the built-in SYLK and TAB writers.
    TLogControl(ILogView& View, TLocaleFacts Facts, TLocalClock Clock = LocalNow);
    ~TLogControl();
    TLogControl(const TLogControl&) = delete;
    TLogControl& operator=(const TLogControl&) = delete;

    // Replaces the writer of a kind; the worksheet kind has none until one is
    // registered, and opening it fails until then. A writer's failed record
    // of the worksheet kind switches logging off (see WriteLogRecord).
    void SetWriterFactory(TLogKind Kind, TLogWriterFactory Factory);

    // Click of LogOnAction: switches logging on or off, shows the error or
    // warning box on failure, then calls UpdateControls.
    void LogOnActionExecute();

    // Zeroes the counter and opens a new log of the chosen kind. Raises on
    // any failure; LogOpen() is set only on success.
    void OpenLog();

    // Marks the log closed and closes it; raises after releasing the log when
    // closing failed. The window's close query calls it while LogOpen().
    void CloseLog();

    // Writes one record while Logging() and counts it when it reached the log.
    // A failed file record leaves nothing in the file and is counted apart
    // (RecordsFailed, shown by the view); logging goes on, so records resume
    // by themselves once the cause is gone. A file record that could not be
    // cut back out of the file switches logging off, closes the log and shows
    // the warning of a failed close. A failed worksheet record switches logging off,
    // calls UpdateControls, shows its error and closes the log quietly.
    // Raises nothing.
    void WriteLogRecord(const TLogRecordValues& Values);

    // The last step of every sampling tick: counts the tick while LogOpen()
    // and writes a record every LogInterval() ticks (0 counts as 1).
    void SampleTick(const TLogRecordValues& Values);

    // Click of LoggingType: shows the page of the chosen kind.
    void LoggingTypeClick();

    // Button clicks of SylkFileEdit and TABFileEdit.
    void SylkFileEditButtonClick() { ChooseLogFile(TLogKind::Sylk, OpenSylkDialog); }
    void TABFileEditButtonClick() { ChooseLogFile(TLogKind::Tab, OpenTabDialog); }

    bool Logging() const { return FLogging; }
    bool LogOpen() const { return FLogOpen; }
    std::int32_t RecordsWritten() const { return FRecordsWritten; }
    std::int32_t RecordsFailed() const { return FRecordsFailed; }
    std::int32_t SamplesSinceRecord() const { return FSamplesSinceRecord; }
    TLogState State() const;

private:
    void ChooseLogFile(TLogKind Kind, const TLogFileDialog& Dialog);
    void SetRecordsWritten(std::int32_t Count);
    void CountFailure(const std::string& Cause);

    ILogView& FView;
    std::array<TLogWriterFactory, 3> FFactories;
    std::unique_ptr<ILogWriter> FWriter; // the open log's writer
    TLogKind FWriterKind = TLogKind::Sylk;
    bool FLogging = false;
    bool FLogOpen = false;
    std::int32_t FRecordsWritten = 0;
    std::int32_t FRecordsFailed = 0;
    std::int32_t FSamplesSinceRecord = 0;
};

} // namespace kelvalog
