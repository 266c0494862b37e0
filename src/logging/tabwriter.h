#pragma once

#include "common/localefacts.h"
#include "common/serialdate.h"
#include "logging/logfile.h"
#include "logging/logwriter.h"

namespace kelvalog {

// Log kind 1: a TAB-delimited text file, continued when it exists. One line
// per record: the locale's date-time text and the eight channels (empty when
// not valid), separated by TABs. Every field reaches the operating system at
// once; a record's line end follows with the next record or at close.
class TTabLogWriter final : public ILogWriter
{
public:
    explicit TTabLogWriter(TLocaleFacts Facts, TLocalClock Clock = LocalNow);

    void Open(const std::string& FileName) override;
    void WriteRecord(const TLogRecordValues& Values, std::int32_t RecordsWritten) override;
    void Close() override;

private:
    TLocaleFacts FFacts;
    TLocalClock FClock;
    TLogFile FFile;
};

} // namespace kelvalog
