// The window's controls, their places, captions, items and hints.

#include "app/applicationevents.h"
#include "app/glyphs.h"
#include "app/mainform.h"
#include "app/widgets.h"
#include "controls/attachedlabel.h"
#include "controls/buttonedit.h"
#include "controls/digitalclock.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "controls/simplefield.h"
#include "controls/slider.h"
#include "controls/spinner.h"
#include "link/ui/statuslight.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>

#include <limits>

namespace kelvalog {

namespace {

constexpr std::int32_t MinInt = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t MaxInt = std::numeric_limits<std::int32_t>::max();
constexpr double MaxSingle = 3.4e38;

// The row of page buttons of a page control lies under its drop-down list,
// so a page's content starts this far below the page control's top.
constexpr int PageTop = 27;

template <class T> T* Place(T* Control, const char* Name, int Left, int Top, int Width, int Height)
{
    Control->setObjectName(QString::fromLatin1(Name));
    Control->setGeometry(Left, Top, Width, Height);
    return Control;
}

QGroupBox* Group(QWidget* Parent, const char* Name, QRect R, const char* Caption, const char* Hint)
{
    auto* Box = Place(new TGroupFrame(QString::fromUtf8(Caption), Parent), Name, R.x(), R.y(),
                      R.width(), R.height());
    SetHint(Box, QString::fromUtf8(Hint));
    return Box;
}

QLabel* Label(QWidget* Parent, const char* Name, QRect R, const char* Caption, bool Centred = false)
{
    auto* L = Place(new QLabel(QString::fromUtf8(Caption), Parent), Name, R.x(), R.y(), R.width(),
                    R.height());
    L->setAlignment((Centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    return L;
}

TAttachedLabel* Caption(QWidget* Parent, const char* Name, QRect R, const char* Text,
                        QWidget* Control)
{
    auto* L = Place(new TAttachedLabel(QString::fromUtf8(Text), Parent), Name, R.x(), R.y(),
                    R.width(), R.height());
    // Offsets that keep the label where the layout puts it.
    L->setControl(Control, {R.x() - Control->x(), R.bottom() + 1 - Control->y(), true});
    return L;
}

TNumericField* IntegerField(QWidget* Parent, const char* Name, QRect R, const char* Mask,
                            std::int32_t Low, std::int32_t High, bool ReadOnly, const char* Hint)
{
    auto* F = Place(new TNumericField(Parent), Name, R.x(), R.y(), R.width(), R.height());
    F->setDataType(TNumericDataType::nftLongInt);
    F->setPictureMask(QString::fromLatin1(Mask));
    F->setRange(Low, High);
    F->setReadOnly(ReadOnly);
    if (Hint)
        SetHint(F, QString::fromUtf8(Hint));
    return F;
}

TNumericField* ValueField(QWidget* Parent, const std::string& Name, int Left, int Top,
                          const char* Hint, bool Pressure)
{
    auto* F = Place(new TNumericField(Parent), Name.c_str(), Left, Top, 41, 21);
    F->setDataType(TNumericDataType::nftSingle);
    F->setPictureMask(QString::fromLatin1(Pressure ? "#####" : "###.##"));
    F->setRange(-MaxSingle, MaxSingle);
    F->setReadOnly(true);
    SetHint(F, QString::fromUtf8(Hint));
    return F;
}

QFrame* Panel(QWidget* Parent, const char* Name, QRect R)
{
    auto* P = Place(new QFrame(Parent), Name, R.x(), R.y(), R.width(), R.height());
    P->setFrameStyle(QFrame::Panel | QFrame::Raised);
    P->setLineWidth(1);
    return P;
}

struct TRow
{
    TFieldRow Row;
    const char* CaptionName;
    const char* Caption;
    QRect CaptionRect;
    QPoint Actual;
    QPoint Sampled;
    const char* Hint;
};

struct TFilteredRow
{
    TFieldRow Row;
    const char* CaptionName;
    const char* Caption;
    QRect CaptionRect;
    QPoint Filtered;
    const char* Hint;
};

} // namespace

QFont TMainForm::WindowFont()
{
    QFont Font;
    Font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Sans Serif")});
    Font.setPixelSize(11);
    // The layout's captions were measured with a narrower face.
    Font.setStretch(90);
    return Font;
}

void TMainForm::BuildLayout()
{
    setWindowTitle(QStringLiteral("Kelvalog: Dravon I2C logger"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(641, 365);
    setWindowIcon(ApplicationIcon());
    setFont(WindowFont());
    QPalette Colours = palette();
    Colours.setColor(QPalette::Window, Colours.color(QPalette::Button));
    setPalette(Colours);
    setAutoFillBackground(true);

    // Top bar
    Panel1 = Place(new QFrame(this), "Panel1", 0, 0, 641, 33);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel1->setLineWidth(1);
    OnLineAction = Place(new QToolButton(Panel1), "OnLineAction", 8, 3, 89, 22);
    LogOnAction = Place(new QToolButton(Panel1), "LogOnAction", 104, 4, 89, 22);
    OnLineAction->setText(QStringLiteral("&On line"));
    LogOnAction->setText(QStringLiteral("&Write logfile"));
    OnLineAction->setIcon(OnLineGlyph());
    LogOnAction->setIcon(WriteLogGlyph());
    for (QToolButton* B : {OnLineAction, LogOnAction}) {
        B->setCheckable(true);
        B->setAutoRaise(true);
        B->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        B->setIconSize(QSize(16, 16));
        B->setFocusPolicy(Qt::NoFocus);
    }
    SetHint(OnLineAction, QStringLiteral("On line|Switch the board on line or off line"));
    SetHint(LogOnAction, QStringLiteral("Write|Write to the selected log file or excel sheet"));

    UsedBoardComboBox = Place(new QComboBox(Panel1), "UsedBoardComboBox", 216, 4, 145, 21);
    UsedBoardComboBox->setEditable(true);
    UsedBoardComboBox->setInsertPolicy(QComboBox::NoInsert);
    UsedBoardComboBox->addItems({QStringLiteral("I2C (5V)"), QStringLiteral("I2C (3,3V)")});
    UsedBoardComboBox->setCurrentIndex(Board5V);
    SetHint(UsedBoardComboBox, QStringLiteral("Type|The type of board you use"));

    PSensorLowerRange = IntegerField(Panel1, "PSensorLowerRange", {541, 5, 41, 21}, "iiiiiiiiiii",
                                     MinInt, MaxInt, false, "P|Pressure sensor minimum value");
    PSensorUpperRange = IntegerField(Panel1, "PSensorUpperRange", {588, 5, 41, 21}, "iiiiiiiiiii",
                                     0, MaxInt, false, "P|Pressure sensor maximum value");
    AttachedLabel23 = Caption(Panel1, "AttachedLabel23", {424, 7, 111, 13},
                              "Pressure sensor range ", PSensorLowerRange);

    // Sampling
    GroupBox1 = Group(this, "GroupBox1", {1, 32, 201, 82}, "Sampling",
                      "Sample parameters|Data sampling parameters");
    SampleIntervalField =
        IntegerField(GroupBox1, "SampleIntervalField", {8, 32, 89, 21}, "iiiiiiiiiii", 1, 1000,
                     false, "Sample speed|The time (in seconds) between two samples");
    Caption(GroupBox1, "AttachedLabel1", {8, 19, 89, 13}, "Interval (seconds)",
            SampleIntervalField);
    AverageSamplesCheckBox = Place(new QCheckBox(QStringLiteral("Average"), GroupBox1),
                                   "AverageSamplesCheckBox", 8, 56, 89, 17);
    AverageSamplesCheckBox->setChecked(true);
    SetHint(AverageSamplesCheckBox,
            QStringLiteral("Average|Average the temperature over the sampling interval"));
    WarningLabel = Label(GroupBox1, "WarningLabel", {104, 16, 89, 57},
                         "Selected hardware will not provide a new sample each second");
    WarningLabel->setWordWrap(true);
    {
        QPalette P = WarningLabel->palette();
        P.setColor(QPalette::WindowText, P.color(QPalette::Link));
        WarningLabel->setPalette(P);
    }

    // Values of the two boards
    const char* SampleHint = "Sample parameters|Data sampling parameters";
    SampleGroupBox5V =
        Group(this, "SampleGroupBox5V", {1, 120, 201, 225}, "5V I2C interface", SampleHint);
    SampleGroupBox3V =
        Group(this, "SampleGroupBox3V", {1, 120, 201, 225}, "3.3V I2C interface", SampleHint);
    const TRow Rows5V[] = {
        {TFieldRow::T51,
         "NumericField1Label1",
         "Pressure",
         {12, 46, 50, 13},
         {68, 47},
         {124, 47},
         "P|Pressure sensor"},
        {TFieldRow::T52,
         "AttachedLabel2",
         "Tobj (°C)",
         {12, 84, 50, 13},
         {68, 85},
         {124, 84},
         "IR|Temperature from IR sensor"},
        {TFieldRow::T53,
         "AttachedLabel3",
         "Tamb (°C)",
         {12, 109, 50, 13},
         {68, 106},
         {124, 106},
         "Tamb|Ambient temperature from IR sensor"},
        {TFieldRow::T54,
         "AttachedLabel4",
         "T1 (°C)",
         {12, 145, 50, 13},
         {68, 145},
         {124, 145},
         "T1|Ostrel sensor"},
        {TFieldRow::T55,
         "AttachedLabel5",
         "T2 (°C)",
         {12, 170, 50, 13},
         {68, 167},
         {124, 167},
         "T2|Ostrel sensor"},
    };
    const TRow Rows3V[] = {
        {TFieldRow::T31,
         "AttachedLabel6",
         "Tobj (°C)",
         {12, 46, 50, 13},
         {68, 47},
         {124, 47},
         "IR ("},
        {TFieldRow::T32,
         "AttachedLabel7",
         "Tamb (°C)",
         {12, 67, 50, 13},
         {68, 68},
         {124, 68},
         "Tamb|Ambient temperature from IR sensor"},
        {TFieldRow::T33,
         "AttachedLabel8",
         "RH(%)",
         {12, 98, 50, 13},
         {68, 95},
         {124, 95},
         "Tamb|Ambient temperature from IR sensor"},
        {TFieldRow::T34,
         "AttachedLabel11",
         "Tamb (°C)",
         {12, 118, 50, 13},
         {68, 118},
         {124, 118},
         "Tamb|Ambient temperature from RH sensor"},
        {TFieldRow::T35,
         "AttachedLabel9",
         "T1 (°C)",
         {12, 143, 50, 13},
         {68, 143},
         {124, 145},
         "T1|Ostrel sensor"},
        {TFieldRow::T36,
         "AttachedLabel10",
         "T2 (°C)",
         {12, 170, 50, 13},
         {68, 167},
         {124, 167},
         "T2|Ostrel sensor"},
    };
    auto BuildSampleGroup = [this](QGroupBox* Box, const char* Heading1, const char* Heading2,
                                   const char* BevelName, auto& Rows) {
        Label(Box, Heading1, {28, 19, 81, 13}, "Actual values", true);
        Label(Box, Heading2, {115, 19, 81, 13}, "Sampled values", true);
        Place(new TBevelLine(Box), BevelName, 115, 31, 10, 181);
        for (const TRow& R : Rows) {
            const bool Pressure = R.Row == TFieldRow::T51;
            auto* Actual = ValueField(Box, FieldName({R.Row, TFieldKind::Actual}), R.Actual.x(),
                                      R.Actual.y(), R.Hint, Pressure);
            auto* Sampled = ValueField(Box, FieldName({R.Row, TFieldKind::Sampled}), R.Sampled.x(),
                                       R.Sampled.y(), R.Hint, Pressure);
            DisplayFields[FieldIndex({R.Row, TFieldKind::Actual})] = Actual;
            DisplayFields[FieldIndex({R.Row, TFieldKind::Sampled})] = Sampled;
            Caption(Box, R.CaptionName, R.CaptionRect, R.Caption, Actual);
        }
    };
    BuildSampleGroup(SampleGroupBox5V, "Label1", "Label2", "Bevel1", Rows5V);
    BuildSampleGroup(SampleGroupBox3V, "Label6", "Label7", "Bevel2", Rows3V);

    // Filtering
    FilterBox = Group(this, "FilterBox", {208, 32, 225, 313}, "Filtering",
                      "Filter|The filtering to be applied to the measured values");
    FilterPages =
        Place(new QStackedWidget(FilterBox), "FilterPages", 8, 32 + PageTop, 121, 273 - PageTop);
    SetHint(FilterPages, QStringLiteral("Filter type"));
    auto AddPage = [](QStackedWidget* Pages, const char* Name, const char* Hint) {
        auto* Page = new QWidget;
        Page->setObjectName(QString::fromLatin1(Name));
        SetHint(Page, QString::fromUtf8(Hint));
        Pages->addWidget(Page);
        return Page;
    };
    AddPage(FilterPages, "TabSheet1", "No filtering|Measured values will not be filtered");
    QWidget* TabSheet2 =
        AddPage(FilterPages, "TabSheet2",
                "Moving average filtering|Measured values will be filtered using a moving average");
    QWidget* TabSheet3 =
        AddPage(FilterPages, "TabSheet3",
                "Low pass filtering|Measured values will be filtered using a low pass");
    MarFilterSizeField =
        IntegerField(TabSheet2, "MarFilterSizeField", {0, 48, 65, 21}, "iiiiiiiiiii", 1, 1000,
                     false, "Size|The length of the MAR filter buffer");
    Caption(TabSheet2, "MarSizeFieldLabel", {0, 35, 65, 13}, "MAR size", MarFilterSizeField);

    FilterSliderEdit = IntegerField(TabSheet3, "FilterSliderEdit", {0, 40, 33, 17}, "iiiiiiiiiii",
                                    MinInt, MaxInt, true, "Filtering|The amount of filtering");
    FilterSliderEdit->setEnabled(false);
    FilterSlider = Place(new TSlider(TabSheet3), "FilterSlider", 8, 64, 20, 177);
    FilterSlider->setMin(1);
    FilterSlider->setMax(99);
    FilterSlider->setStep(1);
    FilterSlider->setPosition(1);
    SetHint(FilterSlider, QStringLiteral("Filtering|The amount of filtering"));
    Caption(TabSheet3, "Slider1Label1", {0, 19, 53, 13}, "Filtering (%)", FilterSlider);
    Label(TabSheet3, "Label5", {36, 80, 65, 13}, "Very low pass");
    Label(TabSheet3, "Label4", {32, 216, 45, 13}, "Low pass");

    FilterType = Place(new TDropDownList(FilterBox), "FilterType", 8, 32, 209, 22);
    FilterType->addItems({QStringLiteral("No filtering"), QStringLiteral("Moving Average"),
                          QStringLiteral("Low Pass")});
    SetHint(FilterType,
            QStringLiteral("Filtering|The type of filtering to do on the sampled values"));
    Caption(FilterBox, "FileTypeLabel1", {8, 19, 209, 13}, "Filtering", FilterType);

    FilteredPanel5V = Panel(FilterBox, "FilteredPanel5V", {124, 88, 98, 213});
    FilteredPanel3V = Panel(FilterBox, "FilteredPanel3V", {124, 88, 98, 213});
    Label(FilteredPanel5V, "Label3", {8, 8, 81, 13}, "Filtered values", true);
    Label(FilteredPanel3V, "Label8", {8, 8, 81, 13}, "Filtered values", true);
    const TFilteredRow Filtered5V[] = {
        {TFieldRow::T51,
         "AttachedLabel17",
         "Press",
         {7, 46, 50, 13},
         {55, 46},
         "P|Pressure (mbar)"},
        {TFieldRow::T52,
         "AttachedLabel18",
         "Tobj (°C)",
         {7, 85, 50, 13},
         {55, 84},
         "IR|Temperature from IR sensor"},
        {TFieldRow::T53,
         "AttachedLabel19",
         "Tamb (°C)",
         {7, 105, 50, 13},
         {55, 104},
         "Tamb|Ambient temperature from IR sensor"},
        {TFieldRow::T54,
         "AttachedLabel20",
         "T1 (°C)",
         {7, 145, 50, 13},
         {55, 144},
         "T1|Ostrel sensor"},
        {TFieldRow::T55,
         "AttachedLabel21",
         "T2 (°C)",
         {7, 165, 50, 13},
         {55, 164},
         "T2|Ostrel sensor"},
    };
    const TFilteredRow Filtered3V[] = {
        {TFieldRow::T31, "AttachedLabel22", "Tobj(°C)", {3, 48, 50, 13}, {53, 47}, "IR ("},
        {TFieldRow::T32,
         "AttachedLabel16",
         "Tamb (°C)",
         {3, 67, 50, 13},
         {53, 68},
         "Tamb|Ambient temperature from IR sensor"},
        {TFieldRow::T33,
         "AttachedLabel15",
         "RH(%)",
         {3, 99, 50, 13},
         {53, 95},
         "Tamb|Ambient temperature from IR sensor"},
        {TFieldRow::T34,
         "AttachedLabel14",
         "Tamb (°C)",
         {3, 118, 50, 13},
         {53, 118},
         "Tamb|Ambient temperature from RH sensor"},
        {TFieldRow::T35,
         "AttachedLabel13",
         "T1 (°C)",
         {3, 145, 50, 13},
         {53, 145},
         "T1|Ostrel sensor"},
        {TFieldRow::T36,
         "AttachedLabel12",
         "T2 (°C)",
         {3, 168, 50, 13},
         {53, 164},
         "T2|Ostrel sensor"},
    };
    auto BuildFilteredPanel = [this](QFrame* Box, auto& Rows) {
        for (const TFilteredRow& R : Rows) {
            auto* F = ValueField(Box, FieldName({R.Row, TFieldKind::Filtered}), R.Filtered.x(),
                                 R.Filtered.y(), R.Hint, R.Row == TFieldRow::T51);
            DisplayFields[FieldIndex({R.Row, TFieldKind::Filtered})] = F;
            Caption(Box, R.CaptionName, R.CaptionRect, R.Caption, F);
        }
    };
    BuildFilteredPanel(FilteredPanel5V, Filtered5V);
    BuildFilteredPanel(FilteredPanel3V, Filtered3V);

    // Logging
    LogGroup = Group(this, "LogGroup", {440, 32, 201, 313}, "Logging",
                     "Log parameters|Data logging parameters");
    LoggingPages =
        Place(new QStackedWidget(LogGroup), "LoggingPages", 8, 32 + PageTop, 185, 81 - PageTop);
    SetHint(LoggingPages, QStringLiteral("Log type"));
    QWidget* TabSheet4 = AddPage(LoggingPages, "TabSheet4", "sylk|Log data to symbolic link file");
    QWidget* TabSheet5 =
        AddPage(LoggingPages, "TabSheet5", "Tab delimited|Log data to tab-delimited text file");
    AddPage(LoggingPages, "TabSheet6", "Excel sheet|Lof data immediately into an Excel worksheet");
    SylkFileEdit = Place(new TButtonEdit(TabSheet4), "SylkFileEdit", 0, 16, 177, 21);
    TABFileEdit = Place(new TButtonEdit(TabSheet5), "TABFileEdit", 0, 16, 177, 21);
    for (TButtonEdit* E : {SylkFileEdit, TABFileEdit}) {
        E->setShowButton(true);
        SetHint(E, QStringLiteral("File|The file to log the data to"));
    }
    Caption(TabSheet4, "ButtonEdit1Label1", {0, 3, 177, 13}, "File", SylkFileEdit);
    Caption(TabSheet5, "AttachedLabel25", {0, 3, 177, 13}, "File", TABFileEdit);

    LoggingType = Place(new TDropDownList(LogGroup), "LoggingType", 8, 32, 185, 22);
    LoggingType->addItems({QStringLiteral("Spreadsheet compatible file"),
                           QStringLiteral("TAB-delimited text file"),
                           QStringLiteral("Excel worksheet")});
    SetHint(LoggingType, QStringLiteral("Log type|Select what kind of log should be made"));
    Caption(LogGroup, "LoggingTypeLabel1", {8, 19, 185, 13}, "Log data to", LoggingType);
    // Each list lies above its pages but is made after them: Tab reaches it
    // before the pages' fields, as the eye does.
    QWidget::setTabOrder(FilterType, MarFilterSizeField);
    QWidget::setTabOrder(MarFilterSizeField, FilterSliderEdit);
    QWidget::setTabOrder(FilterSliderEdit, FilterSlider);
    QWidget::setTabOrder(LoggingType, SylkFileEdit);
    QWidget::setTabOrder(SylkFileEdit, TABFileEdit);

    IntervalField =
        IntegerField(LogGroup, "IntervalField", {16, 128, 97, 21}, "9999999999", 1, 32767, false,
                     "Interval|The number of samples between two log records");
    Caption(LogGroup, "NumericField1Label2", {16, 115, 113, 13}, "Log interval (in samples)",
            IntervalField);
    Spinner1 = Place(new TSpinner(LogGroup), "Spinner1", 112, 128, 16, 21);
    Spinner1->setFocusedControl(IntervalField);

    LogIntervalHMS = Place(new TSimpleField(LogGroup), "LogIntervalHMS", 16, 176, 113, 21);
    Spinner1->setDelta(1);
    Spinner1->setAutoRepeat(true);
    Spinner1->setDelayTime(200);
    Spinner1->setAcceleration(1);
    SetHint(LogIntervalHMS, QStringLiteral("Interval|The resulting log interval"));
    Caption(LogGroup, "SimpleField1Label1", {16, 163, 108, 13}, "Log interval (hh:mm:ss)",
            LogIntervalHMS);

    LogRecordsWritten =
        IntegerField(LogGroup, "LogRecordsWritten", {16, 240, 113, 21}, "9999999999", 0, MaxInt,
                     true, "Recordcount|Shows how many records were written to the logfile");
    Caption(LogGroup, "AttachedLabel26", {16, 227, 137, 13}, "Nr. of records written to log",
            LogRecordsWritten);

    Clock1 = Place(new TDigitalClock(LogGroup), "Clock1", 16, 272, 136, 30);
    Clock1->setSize(2);
    Clock1->setOnColor(palette().color(QPalette::ButtonText));
    Clock1->setOffColor(palette().color(QPalette::Button));
    Clock1->setBgColor(palette().color(QPalette::Button));
    Clock1->setActive(true);

    // Status bar
    StatusBar = Place(new TPanelStatusBar(this), "StatusBar", 0, 346, 641, 19);
    Container0 = new QWidget;
    Container0->setObjectName(QStringLiteral("Container0"));
    OnLineStatusLight = Place(new TStatusLight(Container0), "OnLineStatusLight", 0, 0, 17, 14);
    RecveiveStatusLight = Place(new TStatusLight(Container0), "RecveiveStatusLight", 16, 0, 17, 14);
    ErrorStatusLight = Place(new TStatusLight(Container0), "ErrorStatusLight", 32, 0, 17, 14);
    OnLineStatusLight->SetLitColor(QColor(0, 255, 0));
    RecveiveStatusLight->SetLitColor(QColor(255, 255, 0));
    RecveiveStatusLight->SetNotLitColor(QColor(128, 128, 0));
    ErrorStatusLight->SetNotLitColor(QColor(128, 0, 0));
    SetHint(OnLineStatusLight,
            QStringLiteral("On Line|Is lit whenever the datalogger hardware is on line"));
    SetHint(RecveiveStatusLight, QStringLiteral("Receive Data|Lights up when data is received"));
    SetHint(
        ErrorStatusLight,
        QStringLiteral("Receive Error|Lights up when an error is detected in the received data"));
    StatusBar->AddContainerPanel(50, Container0);
    StatusBar->AddTextPanel(50);
}

} // namespace kelvalog
