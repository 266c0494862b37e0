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

TSylkLogWriter::TSylkLogWriter(TLocalClock Clock) : FClock(std::move(Clock)) {}

void TSylkLogWriter::Open(const std::string& FileName)
{
    FFile.Open(FileName, TLogFileMode::Create);
    try {
        std::string Text;
        for (const char* Line : Header) {
            Text += Line;
            Text += LineEnd;
        }
        FFile.WriteWhole(Text);
    } catch (...) {
        FFile.Release();
        throw;
    }
}

void TSylkLogWriter::WriteRecord(const TLogRecordValues& Values, std::int32_t RecordsWritten)
{
    if (!FFile.IsOpen()) {
        throw ELogError("SYLK log not open");
    }
    const double Now = SerialDate(FClock());
    // The whole row goes to the file in one write, or none of it does.
    std::string Record;
    Record += "C;Y";
    Record += std::to_string(static_cast<long long>(RecordsWritten) + 1);
    Record += ";X1;K";
    Record += FormatGeneral(Now, '.');
    Record += LineEnd;
    for (int Channel = 0; Channel < LogChannelCount; ++Channel) {
        const TLogChannelValue& Value = Values.Channels[static_cast<std::size_t>(Channel)];
        if (!Value.Valid) {
            continue;
        }
        Record += "C;X";
        Record += std::to_string(Channel + 2);
        Record += ";K";
        Record += FormatTwoDecimals(Value.Filtered, '.');
        Record += LineEnd;
    }
    FFile.WriteWhole(Record);
}

void TSylkLogWriter::Close()
{
    if (!FFile.IsOpen()) {
        return;
    }
    try {
        // After a record that could not be cut back, the end record starts
        // a line of its own.
        FFile.WriteWhole(std::string(FFile.LineStartGap()) + "E\r\n");
    } catch (...) {
        FFile.Release();
        throw;
    }
    FFile.Close();
}

} // namespace kelvalog
