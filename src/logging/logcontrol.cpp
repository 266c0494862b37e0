#include "logging/logcontrol.h"

#include "logging/sylkwriter.h"
#include "logging/tabwriter.h"

#include <cstdio>
#include <limits>
#include <system_error>
#include <utility>

namespace kelvalog {

std::string FormatLogInterval(std::int32_t SampleSeconds, std::int32_t SamplesPerRecord)
{
    // The fields' ranges keep the product within 32 bits; wider arithmetic
    // keeps any other input defined.
    const long long Total = static_cast<long long>(SampleSeconds) * SamplesPerRecord;
    char Text[64];
    std::snprintf(Text, sizeof Text, "%lld:%.2lld:%.2lld", Total / 3600, Total % 3600 / 60,
                  Total % 3600 % 60);
    return Text;
}

std::string FormatRecordFailures(std::int32_t Count, const std::string& Cause)
{
    return "Log: " + std::to_string(Count) + (Count == 1 ? " record" : " records") +
           " could not be written (" + Cause + ")";
}

TLogControl::TLogControl(ILogView& View, TLocaleFacts Facts, TLocalClock Clock) : FView(View)
{
    FFactories[static_cast<std::size_t>(TLogKind::Sylk)] = [Clock] {
        return std::make_unique<TSylkLogWriter>(Clock);
    };
    FFactories[static_cast<std::size_t>(TLogKind::Tab)] = [Facts = std::move(Facts), Clock] {
        return std::make_unique<TTabLogWriter>(Facts, Clock);
    };
}

TLogControl::~TLogControl() = default;

void TLogControl::SetWriterFactory(TLogKind Kind, TLogWriterFactory Factory)
{
    FFactories.at(static_cast<std::size_t>(Kind)) = std::move(Factory);
}

TLogState TLogControl::State() const
{
    if (FLogging) {
        return TLogState::Logging;
    }
    return FLogOpen ? TLogState::FailingWorksheet : TLogState::Idle;
}

void TLogControl::SetRecordsWritten(std::int32_t Count)
{
    FRecordsWritten = Count;
    FView.ShowRecordsWritten(Count);
}

void TLogControl::LogOnActionExecute()
{
    if (FLogging) {
        FLogging = false;
        try {
            CloseLog();
        } catch (...) {
            FView.ShowMessage(TLogMessageKind::Warning, LogCloseFailedText);
        }
    } else {
        FSamplesSinceRecord = 0;
        try {
            OpenLog();
            FLogging = true;
        } catch (...) {
            FView.ShowMessage(TLogMessageKind::Error, LogCreateFailedText);
        }
    }
    FView.UpdateControls();
}

void TLogControl::CountFailure(const std::string& Cause)
{
    if (FRecordsFailed < std::numeric_limits<std::int32_t>::max()) {
        ++FRecordsFailed;
    }
    FView.ShowRecordFailures(FormatRecordFailures(FRecordsFailed, Cause), FRecordsFailed == 1);
}

void TLogControl::OpenLog()
{
    SetRecordsWritten(0);
    FRecordsFailed = 0;
    const int Index = FView.LoggingTypeIndex();
    if (Index < 0 || Index >= static_cast<int>(FFactories.size())) {
        throw ELogError("no log kind chosen");
    }
    const auto Kind = static_cast<TLogKind>(Index);
    const TLogWriterFactory& Factory = FFactories[static_cast<std::size_t>(Index)];
    if (!Factory) {
        throw ELogError("this log kind is not available");
    }
    std::unique_ptr<ILogWriter> Writer = Factory();
    if (!Writer) {
        throw ELogError("this log kind is not available");
    }
    const std::string Target = Kind == TLogKind::Worksheet ? std::string() : FView.FileName(Kind);
    Writer->Open(Target);
    // A log left open by an earlier run is released before it is replaced.
    if (FWriter) {
        try {
            FWriter->Close();
        } catch (...) {
            // The new log is open: how the old one ended changes nothing for it.
        }
    }
    FWriter = std::move(Writer);
    FWriterKind = Kind;
    FLogOpen = true;
}

void TLogControl::CloseLog()
{
    FLogOpen = false;
    // The writer is dropped whatever its close does.
    const std::unique_ptr<ILogWriter> Writer = std::move(FWriter);
    if (Writer) {
        Writer->Close();
    }
}

void TLogControl::WriteLogRecord(const TLogRecordValues& Values)
{
    if (!FLogging) {
        return;
    }
    if (!FWriter) {
        return;
    }
    std::string Failure;
    bool Partial = false;
    try {
        FWriter->WriteRecord(Values, FRecordsWritten);
    } catch (const ELogPartialRecord& Error) {
        Failure = std::generic_category().message(Error.SystemError());
        Partial = true;
    } catch (const ELogError& Error) {
        Failure = Error.SystemError() != 0 ? std::generic_category().message(Error.SystemError())
                                           : Error.what();
    } catch (const std::exception& Error) {
        Failure = Error.what();
    } catch (...) {
        Failure = "unknown error";
    }
    if (Failure.empty()) {
        // Only records that reached the log count, so SYLK rows stay
        // consecutive in the file.
        const auto Next = static_cast<std::uint32_t>(FRecordsWritten) + 1u;
        SetRecordsWritten(static_cast<std::int32_t>(Next));
        return;
    }
    // Whatever a writer or the server behind it raises stays here: a record
    // failure must not reach the tick.
    if (FWriterKind == TLogKind::Worksheet) {
        FLogging = false;
        FView.UpdateControls();
        FView.ShowMessage(TLogMessageKind::Error, WorksheetTransferFailedText);
        try {
            CloseLog();
        } catch (...) {
            // The transfer error is shown already; this close only tidies up.
        }
        // The worksheet keeps counting its failed record, as before.
        const auto Next = static_cast<std::uint32_t>(FRecordsWritten) + 1u;
        SetRecordsWritten(static_cast<std::int32_t>(Next));
        return;
    }
    CountFailure(Failure);
    if (Partial) {
        // The next record would join the part left in the file: the log ends
        // here, as a switch-off whose close went wrong.
        FLogging = false;
        try {
            CloseLog();
        } catch (...) {
            // The warning below is the one for a failed close as well.
        }
        FView.UpdateControls();
        FView.ShowMessage(TLogMessageKind::Warning, LogCloseFailedText);
    }
}

void TLogControl::SampleTick(const TLogRecordValues& Values)
{
    if (!FLogOpen) {
        return;
    }
    if (FSamplesSinceRecord < std::numeric_limits<std::int32_t>::max()) {
        ++FSamplesSinceRecord;
    }
    if (FSamplesSinceRecord >= FView.LogInterval()) {
        WriteLogRecord(Values);
        FSamplesSinceRecord = 0;
    }
}

void TLogControl::LoggingTypeClick()
{
    FView.ShowLoggingPage(FView.LoggingTypeIndex());
}

void TLogControl::ChooseLogFile(TLogKind Kind, const TLogFileDialog& Dialog)
{
    if (const auto Chosen = FView.ChooseFile(Dialog, FView.FileName(Kind))) {
        FView.SetFileName(Kind, *Chosen);
    }
}

} // namespace kelvalog
