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
        std::string header;
        for (const char* line : Header) {
            header += line;
            header += LineEnd;
        }
        File.WriteWhole(header);
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
    // The whole row goes to the file in one write, or none of it does.
    std::string record;
    record += "C;Y";
    record += std::to_string(static_cast<long long>(recordsWritten) + 1);
    record += ";X1;K";
    record += FormatGeneral(now, '.');
    record += LineEnd;
    for (int channel = 0; channel < LogChannelCount; ++channel) {
        const TLogChannelValue& value = values.Channels[static_cast<std::size_t>(channel)];
        if (!value.Valid) {
            continue;
        }
        record += "C;X";
        record += std::to_string(channel + 2);
        record += ";K";
        record += FormatTwoDecimals(value.Filtered, '.');
        record += LineEnd;
    }
    File.WriteWhole(record);
}

void TSylkLogWriter::Close()
{
    if (!File.IsOpen()) {
        return;
    }
    try {
        // After a record that could not be cut back, the end record starts
        // a line of its own.
        File.WriteWhole(std::string(File.LineStartGap()) + "E\r\n");
    } catch (...) {
        File.Release();
        throw;
    }
    File.Close();
}

} // namespace kelvalog
