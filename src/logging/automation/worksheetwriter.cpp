#include "logging/automation/worksheetwriter.h"

#include "common/datetimetext.h"
#include "common/numbertext.h"
#include "logging/automation/automationregistry.h"

#include <algorithm>
#include <limits>

namespace kelvalog {

TWorksheetWriter::TWorksheetWriter(TLocaleFacts Facts, TLocalClock Clock, std::string ProgId)
    : FFacts(std::move(Facts)), FClock(std::move(Clock)), FProgId(std::move(ProgId))
{
    if (!FClock)
        FClock = LocalNow;
}

TWorksheetWriter::~TWorksheetWriter() = default;

void TWorksheetWriter::Open(const std::string& /*target*/)
{
    FSheet = {};
    try {
        const TVariant Application = CreateOleObject(FProgId);
        SetProperty(Application, "Visible", {true});
        const TVariant Workbooks = GetProperty(Application, "Workbooks");
        CallMethod(Workbooks, "Add");
        const std::string Name = "Kelvalog " + FormatShortDate(FClock(), FFacts);
        const TVariant ActiveSheet = GetProperty(Application, "ActiveSheet");
        SetProperty(ActiveSheet, "Name", {Name});
        FSheet = GetProperty(Application, "ActiveSheet");
        const TVariant DateColumn = GetProperty(FSheet, "Columns", {1});
        SetProperty(DateColumn, "NumberFormat", {std::string(DateTimeFormat)});
        const TVariant WidthColumn = GetProperty(FSheet, "Columns", {1});
        SetProperty(WidthColumn, "ColumnWidth", {DateTimeColumnWidth});
    } catch (const std::exception& Error) {
        // What the server already did stays; we keep no reference.
        FSheet = {};
        throw ELogError(std::string("the worksheet could not be prepared: ") + Error.what());
    }
}

void TWorksheetWriter::WriteRecord(const TLogRecordValues& Values, std::int32_t RecordsWritten)
{
    try {
        const TLocalDateTime Now = FClock();
        const std::int64_t NextRow = static_cast<std::int64_t>(RecordsWritten) + 1;
        if (NextRow < 1 || NextRow > std::numeric_limits<std::int32_t>::max())
            throw EAutomationError("no row left for the record");
        const auto Row = static_cast<std::int32_t>(NextRow);
        SetProperty(FSheet, "Cells", {Row, 1, DateTimeText(Now, FFacts.DecimalSeparator)});
        for (int Channel = 0; Channel < LogChannelCount; ++Channel) {
            const TLogChannelValue& Value = Values.Channels[Channel];
            if (!Value.Valid)
                continue;
            SetProperty(FSheet, "Cells",
                        {Row, Channel + 2, ValueText(Value.Filtered, FFacts.DecimalSeparator)});
        }
    } catch (const std::exception& Error) {
        // Cells already put stay; the rest of the row is not tried.
        throw ELogError(std::string("the record could not be transferred: ") + Error.what());
    }
}

void TWorksheetWriter::Close()
{
    try {
        const TVariant Application = GetProperty(FSheet, "Application");
        CallMethod(Application, "Quit");
    } catch (const std::exception& Error) {
        FSheet = {};
        throw ELogError(std::string("the worksheet application could not be closed: ") +
                        Error.what());
    }
    FSheet = {};
}

std::string TWorksheetWriter::DateTimeText(const TLocalDateTime& Now, char DecimalSeparator)
{
    std::string Text = FormatGeneral(SerialDate(Now), DecimalSeparator);
    std::replace(Text.begin(), Text.end(), ',', '.');
    return Text;
}

std::string TWorksheetWriter::ValueText(float Value, char DecimalSeparator)
{
    return FormatTwoDecimals(static_cast<double>(Value), DecimalSeparator);
}

TLogWriterFactory WorksheetWriterFactory(TLocaleFacts Facts, TLocalClock Clock)
{
    return [Facts = std::move(Facts), Clock = std::move(Clock)]() -> std::unique_ptr<ILogWriter> {
        return std::make_unique<TWorksheetWriter>(Facts, Clock);
    };
}

} // namespace kelvalog
