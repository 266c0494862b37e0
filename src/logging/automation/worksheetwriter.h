#pragma once

#include "common/localefacts.h"
#include "common/serialdate.h"
#include "logging/automation/automation.h"
#include "logging/logwriter.h"

#include <string>

namespace kelvalog {

// The live worksheet log: each log starts a new spreadsheet application
// object with a new workbook, names the active sheet after the program and
// the date, formats column 1 for dates, and fills one row per record
// (column 1 the serial date-time, column channel + 2 each valid channel's
// filtered value). Closing asks the application to quit; the workbook is
// never saved by us.
class TWorksheetWriter : public ILogWriter
{
public:
    static constexpr const char* DefaultProgId = "Excel.Application";
    static constexpr const char* DateTimeFormat = "d-mmm-yyyy hh:mm:ss";
    static constexpr std::int32_t DateTimeColumnWidth = 20;

    TWorksheetWriter(TLocaleFacts Facts, TLocalClock Clock, std::string ProgId = DefaultProgId);
    ~TWorksheetWriter() override;

    // Raises on any failed call; then no reference is left.
    void Open(const std::string& Target) override;
    // A failed cell put stops the row there (cells already put stay) and
    // raises ELogError; the logging control then switches logging off.
    void WriteRecord(const TLogRecordValues& Values, std::int32_t RecordsWritten) override;
    // Asks the application to quit; the sheet reference is dropped also
    // when that fails, and the failure is passed on.
    void Close() override;

    // The worksheet, held from a successful open until close; empty else.
    const TVariant& LogSheet() const { return FSheet; }

    // The texts of one record: column 1, and one value.
    static std::string DateTimeText(const TLocalDateTime& Now, char DecimalSeparator);
    static std::string ValueText(float Value, char DecimalSeparator);

private:
    TLocaleFacts FFacts;
    TLocalClock FClock;
    std::string FProgId;
    TVariant FSheet;
};

// The factory the logging control takes for the worksheet kind.
TLogWriterFactory WorksheetWriterFactory(TLocaleFacts Facts, TLocalClock Clock = LocalNow);

} // namespace kelvalog
