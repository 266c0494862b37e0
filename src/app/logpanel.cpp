#include "app/logpanel.h"

#include "app/applicationevents.h"
#include "app/layoutparts.h"
#include "controls/attachedlabel.h"
#include "controls/buttonedit.h"
#include "controls/digitalclock.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/simplefield.h"
#include "controls/spinner.h"

#include <QGroupBox>
#include <QStackedWidget>

namespace kelvalog {

TLogPanel::TLogPanel(QWidget& Form)
{
    FLogGroup = Group(&Form, "LogGroup", {440, 32, 201, 313}, "Logging",
                      "Log parameters|Data logging parameters");
    FLoggingPages =
        Place(new QStackedWidget(FLogGroup), "LoggingPages", 8, 32 + PageTop, 185, 81 - PageTop);
    SetHint(FLoggingPages, QStringLiteral("Log type"));
    QWidget* TabSheet4 = AddPage(FLoggingPages, "TabSheet4", "sylk|Log data to symbolic link file");
    QWidget* TabSheet5 =
        AddPage(FLoggingPages, "TabSheet5", "Tab delimited|Log data to tab-delimited text file");
    AddPage(FLoggingPages, "TabSheet6", "Excel sheet|Lof data immediately into an Excel worksheet");
    FSylkFileEdit = Place(new TButtonEdit(TabSheet4), "SylkFileEdit", 0, 16, 177, 21);
    FTABFileEdit = Place(new TButtonEdit(TabSheet5), "TABFileEdit", 0, 16, 177, 21);
    for (TButtonEdit* Edit : {FSylkFileEdit, FTABFileEdit}) {
        Edit->setShowButton(true);
        SetHint(Edit, QStringLiteral("File|The file to log the data to"));
    }
    Caption(TabSheet4, "ButtonEdit1Label1", {0, 3, 177, 13}, "File", FSylkFileEdit);
    Caption(TabSheet5, "AttachedLabel25", {0, 3, 177, 13}, "File", FTABFileEdit);

    FLoggingType = Place(new TDropDownList(FLogGroup), "LoggingType", 8, 32, 185, 22);
    FLoggingType->addItems({QStringLiteral("Spreadsheet compatible file"),
                            QStringLiteral("TAB-delimited text file"),
                            QStringLiteral("Excel worksheet")});
    SetHint(FLoggingType, QStringLiteral("Log type|Select what kind of log should be made"));
    Caption(FLogGroup, "LoggingTypeLabel1", {8, 19, 185, 13}, "Log data to", FLoggingType);
    // As in the Filtering group: the list first, then its pages' fields.
    QWidget::setTabOrder(FLoggingType, FSylkFileEdit);
    QWidget::setTabOrder(FSylkFileEdit, FTABFileEdit);

    FIntervalField =
        IntegerField(FLogGroup, "IntervalField", {16, 128, 97, 21}, "9999999999", 1, 32767, false,
                     "Interval|The number of samples between two log records");
    Caption(FLogGroup, "NumericField1Label2", {16, 115, 113, 13}, "Log interval (in samples)",
            FIntervalField);
    FSpinner1 = Place(new TSpinner(FLogGroup), "Spinner1", 112, 128, 16, 21);
    FSpinner1->setFocusedControl(FIntervalField);

    FLogIntervalHMS = Place(new TSimpleField(FLogGroup), "LogIntervalHMS", 16, 176, 113, 21);
    FSpinner1->setDelta(1);
    FSpinner1->setAutoRepeat(true);
    FSpinner1->setDelayTime(200);
    FSpinner1->setAcceleration(1);
    SetHint(FLogIntervalHMS, QStringLiteral("Interval|The resulting log interval"));
    Caption(FLogGroup, "SimpleField1Label1", {16, 163, 108, 13}, "Log interval (hh:mm:ss)",
            FLogIntervalHMS);

    FLogRecordsWritten =
        IntegerField(FLogGroup, "LogRecordsWritten", {16, 240, 113, 21}, "9999999999", 0, MaxInt,
                     true, "Recordcount|Shows how many records were written to the logfile");
    Caption(FLogGroup, "AttachedLabel26", {16, 227, 137, 13}, "Nr. of records written to log",
            FLogRecordsWritten);

    FClock1 = Place(new TDigitalClock(FLogGroup), "Clock1", 16, 272, 136, 30);
    FClock1->SetSize(2);
    FClock1->SetOnColor(Form.palette().color(QPalette::ButtonText));
    FClock1->SetOffColor(Form.palette().color(QPalette::Button));
    FClock1->SetBgColor(Form.palette().color(QPalette::Button));
    FClock1->SetActive(true);
}

} // namespace kelvalog
