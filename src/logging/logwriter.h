#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace kelvalog {

// Number of channels a record carries (channels 0 to 7).
inline constexpr int LogChannelCount = 8;

// What one record reads of a channel: whether it was valid in the tick and
// its filtered value.
struct TLogChannelValue
{
    bool Valid = false;
    float Filtered = 0.0f;
};

// The channel snapshot of one sampling tick, channels 0 to 7 in order. The
// window fills it from its channel table.
struct TLogRecordValues
{
    std::array<TLogChannelValue, LogChannelCount> Channels{};
};

// A failure of a log writer (open, record or close). SystemError is the
// operating system's error number when one caused it, else 0.
class ELogError : public std::runtime_error
{
public:
    explicit ELogError(const std::string& What, int SystemError = 0)
        : std::runtime_error(What), FSystemError(SystemError)
    {
    }
    int SystemError() const { return FSystemError; }

private:
    int FSystemError;
};

// A record failed part way and could not be cut back out of the file: the
// file ends in part of a record. The log must not take another record.
class ELogPartialRecord : public ELogError
{
public:
    using ELogError::ELogError;
};

// The three operations every log kind offers. Each raises ELogError (or
// another std::exception) on failure. A writer is opened at most once:
// the logging control makes a fresh one for every log.
class ILogWriter
{
public:
    virtual ~ILogWriter() = default;

    // Opens the log. `Target` is the text of the kind's file edit; kinds
    // without a file get an empty text and ignore it. A failed open leaves
    // nothing open.
    virtual void Open(const std::string& Target) = 0;

    // Writes one record. `RecordsWritten` is the logging control's counter
    // before this record (row = recordsWritten + 1 for kinds with rows).
    virtual void WriteRecord(const TLogRecordValues& Values, std::int32_t RecordsWritten) = 0;

    // Closes the log. Releases everything even when it raises.
    virtual void Close() = 0;
};

// Makes a fresh, unopened writer of one kind.
using TLogWriterFactory = std::function<std::unique_ptr<ILogWriter>()>;

} // namespace kelvalog
