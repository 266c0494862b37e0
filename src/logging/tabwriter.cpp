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
    // After a record that failed half way, or on a file whose last line has
    // no end, the record starts a line of its own instead of continuing it.
    File.Write(File.LineStartGap());
    File.Write(FormatDateTime(now, Facts));
    File.Write("\t");
    File.Flush();
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        const TLogChannelValue& value = values.Channels[static_cast<std::size_t>(channel)];
        if (value.Valid) {
            File.Write(FormatTwoDecimals(value.Filtered, Facts.DecimalSeparator));
            File.Flush();
        }
        if (channel < LogChannelCount - 1) {
            File.Write("\t");
            File.Flush();
        }
    }
    File.Write("\r\n");
}

void TTabLogWriter::Close()
{
    File.Close();
}

} // namespace kelvalog
