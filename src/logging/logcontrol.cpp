#include "logging/logcontrol.h"

#include "logging/sylkwriter.h"
#include "logging/tabwriter.h"

#include <cstdio>
#include <limits>
#include <system_error>
#include <utility>

namespace kelvalog {

std::string FormatLogInterval(std::int32_t sampleSeconds, std::int32_t samplesPerRecord)
{
    // The fields' ranges keep the product within 32 bits; wider arithmetic
    // keeps any other input defined.
    const long long total = static_cast<long long>(sampleSeconds) * samplesPerRecord;
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%.2lld:%.2lld", total / 3600, total % 3600 / 60,
                  total % 3600 % 60);
    return text;
}

std::string FormatRecordFailures(std::int32_t count, const std::string& cause)
{
    return "Log: " + std::to_string(count) + (count == 1 ? " record" : " records") +
           " could not be written (" + cause + ")";
}

TLogControl::TLogControl(ILogView& view, TLocaleFacts facts, TLocalClock clock) : View(view)
{
    Factories[static_cast<std::size_t>(TLogKind::Sylk)] = [clock] {
        return std::make_unique<TSylkLogWriter>(clock);
    };
    Factories[static_cast<std::size_t>(TLogKind::Tab)] = [facts = std::move(facts), clock] {
        return std::make_unique<TTabLogWriter>(facts, clock);
    };
}

TLogControl::~TLogControl() = default;

void TLogControl::SetWriterFactory(TLogKind kind, TLogWriterFactory factory)
{
    Factories.at(static_cast<std::size_t>(kind)) = std::move(factory);
}

TLogState TLogControl::State() const
{
    if (FLogging) {
        return TLogState::Logging;
    }
    return FLogOpen ? TLogState::FailingWorksheet : TLogState::Idle;
}

void TLogControl::SetRecordsWritten(std::int32_t count)
{
    FRecordsWritten = count;
    View.ShowRecordsWritten(count);
}

void TLogControl::LogOnActionExecute()
{
    if (FLogging) {
        FLogging = false;
        try {
            CloseLog();
        } catch (...) {
            View.ShowMessage(TLogMessageKind::Warning, LogCloseFailedText);
        }
    } else {
        FSamplesSinceRecord = 0;
        try {
            OpenLog();
            FLogging = true;
        } catch (...) {
            View.ShowMessage(TLogMessageKind::Error, LogCreateFailedText);
        }
    }
    View.UpdateControls();
}

void TLogControl::CountFailure(const std::string& cause)
{
    if (FRecordsFailed < std::numeric_limits<std::int32_t>::max()) {
        ++FRecordsFailed;
    }
    View.ShowRecordFailures(FormatRecordFailures(FRecordsFailed, cause), FRecordsFailed == 1);
}

void TLogControl::OpenLog()
{
    SetRecordsWritten(0);
    FRecordsFailed = 0;
    const int index = View.LoggingTypeIndex();
    if (index < 0 || index >= static_cast<int>(Factories.size())) {
        throw ELogError("no log kind chosen");
    }
    const auto kind = static_cast<TLogKind>(index);
    const TLogWriterFactory& factory = Factories[static_cast<std::size_t>(index)];
    if (!factory) {
        throw ELogError("this log kind is not available");
    }
    std::unique_ptr<ILogWriter> writer = factory();
    if (!writer) {
        throw ELogError("this log kind is not available");
    }
    const std::string target = kind == TLogKind::Worksheet ? std::string() : View.FileName(kind);
    writer->Open(target);
    // A log left open by an earlier run is released before it is replaced.
    if (Writer) {
        try {
            Writer->Close();
        } catch (...) {
        }
    }
    Writer = std::move(writer);
    WriterKind = kind;
    FLogOpen = true;
}

void TLogControl::CloseLog()
{
    FLogOpen = false;
    // The writer is dropped whatever its close does.
    const std::unique_ptr<ILogWriter> writer = std::move(Writer);
    if (writer) {
        writer->Close();
    }
}

void TLogControl::WriteLogRecord(const TLogRecordValues& values)
{
    if (!FLogging) {
        return;
    }
    if (!Writer) {
        return;
    }
    std::string failure;
    bool partial = false;
    try {
        Writer->WriteRecord(values, FRecordsWritten);
    } catch (const ELogPartialRecord& error) {
        failure = std::generic_category().message(error.SystemError());
        partial = true;
    } catch (const ELogError& error) {
        failure = error.SystemError() != 0 ? std::generic_category().message(error.SystemError())
                                           : error.what();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown error";
    }
    if (failure.empty()) {
        // Only records that reached the log count, so SYLK rows stay
        // consecutive in the file.
        const auto next = static_cast<std::uint32_t>(FRecordsWritten) + 1u;
        SetRecordsWritten(static_cast<std::int32_t>(next));
        return;
    }
    // Whatever a writer or the server behind it raises stays here: a record
    // failure must not reach the tick.
    if (WriterKind == TLogKind::Worksheet) {
        FLogging = false;
        View.UpdateControls();
        View.ShowMessage(TLogMessageKind::Error, WorksheetTransferFailedText);
        try {
            CloseLog();
        } catch (...) {
        }
        // The worksheet keeps counting its failed record, as before.
        const auto next = static_cast<std::uint32_t>(FRecordsWritten) + 1u;
        SetRecordsWritten(static_cast<std::int32_t>(next));
        return;
    }
    CountFailure(failure);
    if (partial) {
        // The next record would join the part left in the file: the log ends
        // here, as a switch-off whose close went wrong.
        FLogging = false;
        try {
            CloseLog();
        } catch (...) {
        }
        View.UpdateControls();
        View.ShowMessage(TLogMessageKind::Warning, LogCloseFailedText);
    }
}

void TLogControl::SampleTick(const TLogRecordValues& values)
{
    if (!FLogOpen) {
        return;
    }
    if (FSamplesSinceRecord < std::numeric_limits<std::int32_t>::max()) {
        ++FSamplesSinceRecord;
    }
    if (FSamplesSinceRecord >= View.LogInterval()) {
        WriteLogRecord(values);
        FSamplesSinceRecord = 0;
    }
}

void TLogControl::LoggingTypeClick()
{
    View.ShowLoggingPage(View.LoggingTypeIndex());
}

void TLogControl::ChooseLogFile(TLogKind kind, const TLogFileDialog& dialog)
{
    if (const auto chosen = View.ChooseFile(dialog, View.FileName(kind))) {
        View.SetFileName(kind, *chosen);
    }
}

} // namespace kelvalog
