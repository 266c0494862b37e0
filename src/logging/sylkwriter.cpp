#include "logging/sylkwriter.h"

#include "common/numbertext.h"

#include <utility>

namespace kelvalog {

namespace {

constexpr const char* Header[] = {
    "ID;PKelvalog", "P;PGeneral", "P;Pd/mmm/yyyy\\ hh:mm:ss", "F;P0;DG0G8", "F;P1;FG0G;C1",
    "F;W1 1 20",    "F;W2 9 8",
};

constexpr std::string_view LineEnd = "\r\n";

} // namespace

TSylkLogWriter::TSylkLogWriter(TLocalClock clock) : Clock(std::move(clock)) {}

void TSylkLogWriter::Open(const std::string& fileName)
{
    File.Open(fileName, TLogFileMode::Create);
    try {
        for (const char* line : Header) {
            File.Write(line);
            File.Write(LineEnd);
        }
        File.Flush();
    } catch (...) {
        File.Release();
        throw;
    }
}

void TSylkLogWriter::WriteRecord(const TLogRecordValues& values, std::int32_t recordsWritten)
{
    if (!File.IsOpen()) {
        throw ELogError("SYLK log not open");
    }
    const double now = SerialDate(Clock());
    // A record that failed half way may have left a broken line.
    File.Write(File.LineStartGap());
    File.Write("C;Y");
    File.Write(std::to_string(static_cast<long long>(recordsWritten) + 1));
    File.Write(";X1;K");
    File.Write(FormatGeneral(now, '.'));
    File.Write(LineEnd);
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        const TLogChannelValue& value = values.Channels[static_cast<std::size_t>(channel)];
        if (!value.Valid) {
            continue;
        }
        File.Write("C;X");
        File.Write(std::to_string(channel + 2));
        File.Write(";K");
        File.Write(FormatTwoDecimals(value.Filtered, '.'));
        File.Write(LineEnd);
    }
    // Each finished record goes to the operating system, so a killed
    // program loses no more than the end line.
    File.Flush();
}

void TSylkLogWriter::Close()
{
    if (!File.IsOpen()) {
        return;
    }
    File.Write(File.LineStartGap());
    File.Write("E");
    File.Write(LineEnd);
    File.Close();
}

} // namespace kelvalog
