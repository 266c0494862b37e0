#pragma once

class QGroupBox;
class QStackedWidget;
class QWidget;

namespace kelvalog {

class TButtonEdit;
class TDigitalClock;
class TDropDownList;
class TNumericField;
class TSimpleField;
class TSpinner;

// The Logging group: where the log goes, how often it gets a record, how
// many it got, and the clock.
class TLogPanel
{
public:
    explicit TLogPanel(QWidget& Form);

    QGroupBox* LogGroup() const { return FLogGroup; }
    QStackedWidget* LoggingPages() const { return FLoggingPages; }
    TDropDownList* LoggingType() const { return FLoggingType; }
    TButtonEdit* SylkFileEdit() const { return FSylkFileEdit; }
    TButtonEdit* TABFileEdit() const { return FTABFileEdit; }
    TNumericField* IntervalField() const { return FIntervalField; }
    TSpinner* Spinner1() const { return FSpinner1; }
    TSimpleField* LogIntervalHMS() const { return FLogIntervalHMS; }
    TNumericField* LogRecordsWritten() const { return FLogRecordsWritten; }
    TDigitalClock* Clock1() const { return FClock1; }

private:
    QGroupBox* FLogGroup = nullptr;
    QStackedWidget* FLoggingPages = nullptr;
    TDropDownList* FLoggingType = nullptr;
    TButtonEdit* FSylkFileEdit = nullptr;
    TButtonEdit* FTABFileEdit = nullptr;
    TNumericField* FIntervalField = nullptr;
    TSpinner* FSpinner1 = nullptr;
    TSimpleField* FLogIntervalHMS = nullptr;
    TNumericField* FLogRecordsWritten = nullptr;
    TDigitalClock* FClock1 = nullptr;
};

} // namespace kelvalog
