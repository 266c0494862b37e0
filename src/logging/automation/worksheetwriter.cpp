#include "logging/automation/worksheetwriter.h"

#include "common/datetimetext.h"
#include "common/numbertext.h"
#include "logging/automation/automationregistry.h"

#include <algorithm>
#include <limits>

namespace kelvalog {

TWorksheetWriter::TWorksheetWriter(TLocaleFacts facts, TLocalClock clock, std::string progId)
    : Facts(std::move(facts)), Clock(std::move(clock)), ProgId(std::move(progId))
{
    if (!Clock)
        Clock = LocalNow;
}

TWorksheetWriter::~TWorksheetWriter() = default;

void TWorksheetWriter::Open(const std::string& /*target*/)
{
    Sheet = {};
    try {
        const TVariant application = CreateOleObject(ProgId);
        SetProperty(application, "Visible", {true});
        const TVariant workbooks = GetProperty(application, "Workbooks");
        CallMethod(workbooks, "Add");
        const std::string name = "Kelvalog " + FormatShortDate(Clock(), Facts);
        const TVariant activeSheet = GetProperty(application, "ActiveSheet");
        SetProperty(activeSheet, "Name", {name});
        Sheet = GetProperty(application, "ActiveSheet");
        const TVariant dateColumn = GetProperty(Sheet, "Columns", {1});
        SetProperty(dateColumn, "NumberFormat", {std::string(DateTimeFormat)});
        const TVariant widthColumn = GetProperty(Sheet, "Columns", {1});
        SetProperty(widthColumn, "ColumnWidth", {DateTimeColumnWidth});
    } catch (const std::exception& error) {
        // What the server already did stays; we keep no reference.
        Sheet = {};
        throw ELogError(std::string("the worksheet could not be prepared: ") + error.what());
    }
}

void TWorksheetWriter::WriteRecord(const TLogRecordValues& values, std::int32_t recordsWritten)
{
    try {
        const TLocalDateTime now = Clock();
        const std::int64_t nextRow = static_cast<std::int64_t>(recordsWritten) + 1;
        if (nextRow < 1 || nextRow > std::numeric_limits<std::int32_t>::max())
            throw EAutomationError("no row left for the record");
        const auto row = static_cast<std::int32_t>(nextRow);
        SetProperty(Sheet, "Cells", {row, 1, DateTimeText(now, Facts.DecimalSeparator)});
        for (int channel = 0; channel < LogChannelCount; ++channel) {
            const TLogChannelValue& value = values.Channels[channel];
            if (!value.Valid)
                continue;
            SetProperty(Sheet, "Cells",
                        {row, channel + 2, ValueText(value.Filtered, Facts.DecimalSeparator)});
        }
    } catch (const std::exception& error) {
        // Cells already put stay; the rest of the row is not tried.
        throw ELogError(std::string("the record could not be transferred: ") + error.what());
    }
}

void TWorksheetWriter::Close()
{
    try {
        const TVariant application = GetProperty(Sheet, "Application");
        CallMethod(application, "Quit");
    } catch (const std::exception& error) {
        Sheet = {};
        throw ELogError(std::string("the worksheet application could not be closed: ") +
                        error.what());
    }
    Sheet = {};
}

std::string TWorksheetWriter::DateTimeText(const TLocalDateTime& now, char decimalSeparator)
{
    std::string text = FormatGeneral(SerialDate(now), decimalSeparator);
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

std::string TWorksheetWriter::ValueText(float value, char decimalSeparator)
{
    return FormatTwoDecimals(static_cast<double>(value), decimalSeparator);
}

TLogWriterFactory WorksheetWriterFactory(TLocaleFacts facts, TLocalClock clock)
{
    return [facts = std::move(facts), clock = std::move(clock)]() -> std::unique_ptr<ILogWriter> {
        return std::make_unique<TWorksheetWriter>(facts, clock);
    };
}

} // namespace kelvalog
