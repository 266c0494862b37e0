#pragma once

#include "common/serialdate.h"
#include "logging/logfile.h"
#include "logging/logwriter.h"

namespace kelvalog {

// Log kind 0: a SYLK spreadsheet file, created anew at every open. Row r
// holds the record with recordsWritten = r - 1: column 1 the serial
// date-time, columns 2 to 9 the valid channels' values. Numbers always use
// "." whatever the locale.
class TSylkLogWriter final : public ILogWriter
{
public:
    explicit TSylkLogWriter(TLocalClock Clock = LocalNow);

    void Open(const std::string& FileName) override;
    void WriteRecord(const TLogRecordValues& Values, std::int32_t RecordsWritten) override;
    void Close() override;

private:
    TLocalClock FClock;
    TLogFile FFile;
};

} // namespace kelvalog
