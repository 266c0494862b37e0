#include "logging/tabwriter.h"

#include "common/datetimetext.h"
#include "common/numbertext.h"

#include <utility>

namespace kelvalog {

TTabLogWriter::TTabLogWriter(TLocaleFacts facts, TLocalClock clock)
    : Facts(std::move(facts)), Clock(std::move(clock))
{
}

void TTabLogWriter::Open(const std::string& fileName)
{
    File.Open(fileName, TLogFileMode::Append);
}

void TTabLogWriter::WriteRecord(const TLogRecordValues& values, std::int32_t /*recordsWritten*/)
{
    if (!File.IsOpen()) {
        throw ELogError("TAB log not open");
    }
    const TLocalDateTime now = Clock();
    // One write per record, line end included: readers and an abrupt end
    // never see a line without its end, and a failed record leaves nothing.
    // A file whose last line has no end gets one first.
    std::string record(File.LineStartGap());
    record += FormatDateTime(now, Facts);
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        record += '\t';
        const TLogChannelValue& value = values.Channels[static_cast<std::size_t>(channel)];
        if (value.Valid) {
            record += FormatTwoDecimals(value.Filtered, Facts.DecimalSeparator);
        }
    }
    record += "\r\n";
    File.WriteWhole(record);
}

void TTabLogWriter::Close()
{
    File.Close();
}

} // namespace kelvalog
