#include "logging/tabwriter.h"

#include "common/datetimetext.h"
#include "common/numbertext.h"

#include <utility>

namespace kelvalog {

TTabLogWriter::TTabLogWriter(TLocaleFacts Facts, TLocalClock Clock)
    : FFacts(std::move(Facts)), FClock(std::move(Clock))
{
}

void TTabLogWriter::Open(const std::string& FileName)
{
    FFile.Open(FileName, TLogFileMode::Append);
}

void TTabLogWriter::WriteRecord(const TLogRecordValues& Values, std::int32_t /*recordsWritten*/)
{
    if (!FFile.IsOpen()) {
        throw ELogError("TAB log not open");
    }
    const TLocalDateTime Now = FClock();
    // One write per record, line end included: readers and an abrupt end
    // never see a line without its end, and a failed record leaves nothing.
    // A file whose last line has no end gets one first.
    std::string Record(FFile.LineStartGap());
    Record += FormatDateTime(Now, FFacts);
    for (int Channel = 0; Channel < LogChannelCount; ++Channel) {
        Record += '\t';
        const TLogChannelValue& Value = Values.Channels[static_cast<std::size_t>(Channel)];
        if (Value.Valid) {
            Record += FormatTwoDecimals(Value.Filtered, FFacts.DecimalSeparator);
        }
    }
    Record += "\r\n";
    FFile.WriteWhole(Record);
}

void TTabLogWriter::Close()
{
    FFile.Close();
}

} // namespace kelvalog
