#include "app/mainform.h"
#include "app/mainformfeeds.h"

#include "app/framepacer.h"

#include "app/applicationevents.h"
#include "app/mainformhistory.h"
#include "app/mainformlogview.h"
#include "app/mainformtrend.h"
#include "app/messages.h"
#include "common/linkerror.h"
#include "controls/buttonedit.h"
#include "controls/controlenv.h"
#include "controls/digitalclock.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "controls/simplefield.h"
#include "controls/slider.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"
#include "link/ui/slcontroller.h"
#include "link/ui/statuslight.h"
#include "logging/logcontrol.h"
#include "settings/formstate.h"
#include "settings/inifile.h"
#include "settings/inifilestore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>

#include <cmath>

namespace kelvalog {

TMainForm::TMainForm(TMainFormOptions Options) : FOptions(std::move(Options))
{
    FLinePacer = std::make_unique<TFramePacer>(
        [this](const TFieldUpdate& Update) { Guarded([&] { Show(Update); }); });
    BuildLayout();
    CreateComponents();
    CreateLogControl();
    WireEvents();
    CreateTrend();
    TApplicationEvents::OnException = [this](std::exception_ptr Error) {
        ApplicationEventsException(Error);
    };
    TApplicationEvents::OnHint = [this](const QString& Hint) { ApplicationEventsHint(Hint); };

    if (const QScreen* Screen = screen()) {
        const QRect Area = Screen->availableGeometry();
        move(Area.center() - QPoint(width() / 2, height() / 2));
    }
    // The creation event: the window's own handler, then the saved placement,
    // from one reading of the settings file.
    Guarded([this] {
        TStoreUse Use(*IniFileStore);
        Guarded([this] { FormState->DoCreate(); });
        Guarded([this] { LoadHistorySettings(); });
        Guarded([this] { StartHistory(); });
        Guarded([this] { LoadFeedSettings(); });
        Guarded([this] { StartFeeds(); });
        Guarded([this] { LoadTrendSettings(); });
    });
}

TMainForm::~TMainForm()
{
    FFeeds.reset();
    SampleIntervalTimer.stop();
    ReconnectTimer.stop();
    // A log still open is released quietly with its control.
    LogControl.reset();
    DestroyComponents();
    TApplicationEvents::OnException = nullptr;
    TApplicationEvents::OnHint = nullptr;
}

int TMainForm::Board() const
{
    return FTopPanel->UsedBoardComboBox()->currentIndex();
}

void TMainForm::WireEvents()
{
    connect(FTopPanel->OnLineAction(), &QToolButton::clicked, this,
            [this] { Guarded([this] { OnLineActionExecute(); }); });
    connect(FTopPanel->LogOnAction(), &QToolButton::clicked, this,
            [this] { Guarded([this] { LogOnActionExecute(); }); });
    connect(FTopPanel->UsedBoardComboBox(), &QComboBox::activated, this,
            [this] { Guarded([this] { UsedBoardComboBoxClick(); }); });
    FFilterPanel->FilterType()->OnClick = [this](QObject*) {
        Guarded([this] { FilterTypeClick(); });
    };
    FLogPanel->LoggingType()->OnClick = [this](QObject*) {
        Guarded([this] { LoggingTypeClick(); });
    };
    FFilterPanel->FilterSlider()->OnChange = [this](QObject*) {
        Guarded([this] { FilterSliderChange(); });
    };
    auto IntervalChange = [this](QObject*) { Guarded([this] { IntervalFieldChange(); }); };
    FSamplingPanel->SampleIntervalField()->OnChange = IntervalChange;
    FLogPanel->IntervalField()->OnChange = IntervalChange;
    FLogPanel->LogRecordsWritten()->OnChange = IntervalChange;
    FLogPanel->SylkFileEdit()->OnButtonClick = [this](QObject*, QPoint) {
        Guarded([this] { SylkFileEditButtonClick(); });
    };
    FLogPanel->TABFileEdit()->OnButtonClick = [this](QObject*, QPoint) {
        Guarded([this] { TABFileEditButtonClick(); });
    };
    SampleIntervalTimer.setTimerType(Qt::PreciseTimer);
    connect(&SampleIntervalTimer, &QTimer::timeout, this,
            [this] { Guarded([this] { SampleIntervalTimerTimer(); }); });
    connect(&ReconnectTimer, &QTimer::timeout, this,
            [this] { Guarded([this] { ReconnectTimerTimer(); }); });
}

void TMainForm::FormCreate()
{
    OnLine = false;
    FSamplingPanel->SampleIntervalField()->SetIntegerValue(2);
    FFilterPanel->MarFilterSizeField()->SetIntegerValue(1);
    FFilterPanel->FilterType()->setItemIndex(0);
    FFilterPanel->FilterPages()->setCurrentIndex(0);
    FLogPanel->LoggingType()->setItemIndex(0);
    FLogPanel->LoggingPages()->setCurrentIndex(0);
    FilterSliderChange();
    IntervalFieldChange();
    DelayTimer.Delay(FOptions.StartDelay);
    LoadSettings();
    UpdateControls();
}

bool TMainForm::FormCloseQuery()
{
    StopReconnecting();
    if (LogOpen())
        CloseLog(); // a failure keeps the window open; LogOpen is already false then
    if (OnLine) {
        try {
            ArmFramer(false);
            ClosePort();
            OnLine = false;
            DelayTimer.Delay(FOptions.CloseDelay);
        } catch (...) {
            // A link that will not close must not hold the window open: the
            // components release it with the window.
        }
    }
    UpdateControls();
    try {
        SaveSettings();
    } catch (const EIniFileError& Error) {
        // The settings are lost either way; keeping the window open would
        // only trap the user in it.
        ShowMessage(this, TMessageKind::Error, QString::fromStdString(Error.what()));
    }
    return true;
}

void TMainForm::closeEvent(QCloseEvent* Event)
{
    bool CanClose = true;
    bool Failed = true;
    // The whole close writes the settings file once, at its end.
    TStoreUse Use(*IniFileStore);
    Guarded([&] {
        FormState->DoCloseQuery(CanClose);
        Failed = false;
    });
    if (!Failed && CanClose)
        CloseTrend();
    try {
        Use.Close();
    } catch (const EIniFileError& Error) {
        ShowMessage(this, TMessageKind::Error, QString::fromStdString(Error.what()));
    }
    if (Failed || !CanClose) {
        Event->ignore();
        return;
    }
    Event->accept();
}

void TMainForm::OnLineActionExecute()
{
    if (!OnLine && Reconnecting()) {
        // Off line by hand: the vanished port is no longer waited for.
        StopReconnecting();
    } else if (!OnLine) {
        try {
            const int Chosen = Board();
            if (Chosen == Board5V || Chosen == Board3V)
                SetBaudRate(9600);
            OpenPort();
            ArmFramer(true);
            OnLine = true;
            StartSampling();
        } catch (const EOpenComm& E) {
            ShowMessage(this, TMessageKind::Error,
                        QStringLiteral("Unable to open the serial port."),
                        QString::fromStdString(E.Detail()));
        }
    } else {
        GoOffLine();
    }
    UpdateControls();
}

void TMainForm::GoOffLine()
{
    try {
        StopSampling();
        ArmFramer(false);
        ClosePort();
        OnLine = false;
    } catch (...) {
        // Called while handling an error or a lost device: a second error
        // here would only hide the first. What stays open is released with
        // the components, and the controls show the state left.
    }
}

void TMainForm::StopSampling()
{
    SetTimerEnabled(false);
}

void TMainForm::StartSampling()
{
    TrendBreak();
    HistoryBeginRun();
    for (const TFieldUpdate& Update : Channels.StartSampling())
        Paint(Update);
    SetTimerInterval(FSamplingPanel->SampleIntervalField()->GetIntegerValue() * 1000);
    SetTimerEnabled(true);
}

void TMainForm::SetTimerInterval(int Milliseconds)
{
    if (Milliseconds == FTimerInterval)
        return;
    FTimerInterval = Milliseconds;
    ApplyTimer();
}

void TMainForm::SetTimerEnabled(bool Enabled)
{
    if (Enabled == FTimerEnabled)
        return;
    FTimerEnabled = Enabled;
    ApplyTimer();
}

void TMainForm::ApplyTimer()
{
    SampleIntervalTimer.stop();
    // An interval of 0 means no ticks at all, not a tick at every idle moment.
    if (FTimerEnabled && FTimerInterval > 0) {
        // The clock's half seconds and the ticks' whole seconds, begun
        // together, fall into the same wake-ups: on line with a silent board
        // each wake-up costs more than the work it does.
        FLogPanel->Clock1()->RestartPeriod();
        SampleIntervalTimer.start(FTimerInterval);
    }
}

void TMainForm::Paint(const TFieldUpdate& Update)
{
    FLinePacer->Drop(Update.Field);
    Show(Update);
}

void TMainForm::Show(const TFieldUpdate& Update)
{
    TNumericField* Target = FValuePanel->DisplayFields()[FieldIndex(Update.Field)];
    Target->SetFloatValue(Update.Value);
    Target->setColor(palette().color(Update.Live ? QPalette::Base : QPalette::Button));
}

void TMainForm::AddReading(unsigned Channel, float Value)
{
    if (const auto Update = Channels.AddReading(
            Channel, Value, FSamplingPanel->AverageSamplesCheckBox()->isChecked(), Board()))
        Paint(*Update);
}

void TMainForm::DataPacketStringPacket(std::string_view Data)
{
    TDecoderInputs Inputs;
    Inputs.Board = Board();
    Inputs.PressureLower = FTopPanel->PSensorLowerRange()->GetIntegerValue();
    Inputs.PressureUpper = FTopPanel->PSensorUpperRange()->GetIntegerValue();
    Inputs.TambRhSpan = TambRhSpan;
    Inputs.TambRhOffset = TambRhOffset;
    Inputs.RhSpan = RhSpan;
    Inputs.RhOffset = RhOffset;
    const bool Average = FSamplingPanel->AverageSamplesCheckBox()->isChecked();
    const int Chosen = Board();
    for (const TReading& Reading : DecodeLine(Data, Inputs))
        if (const auto Update =
                Channels.AddReading(Reading.Channel, Reading.Value, Average, Chosen))
            FLinePacer->Post(*Update);
    FLinePacer->Schedule();
}

void TMainForm::ShowInputOverrun(std::uint64_t Dropped)
{
    ShowNotice(QStringLiteral("Input overrun: %1 bytes dropped").arg(Dropped));
}

void TMainForm::SampleIntervalTimerTimer()
{
    FTickTime = FTrend->Clock();
    TFilterSettings Filter;
    Filter.FilterType = FFilterPanel->FilterType()->ItemIndex();
    Filter.MarSize = FFilterPanel->MarFilterSizeField()->GetIntegerValue();
    Filter.SliderPosition = FFilterPanel->FilterSlider()->Position();
    TTickUpdates Updates;
    try {
        Channels.SampleTick(Filter, Board(), Updates);
    } catch (...) {
        // The channels processed before the failure still show their values.
        for (const TFieldUpdate& Update : Updates)
            Paint(Update);
        throw;
    }
    for (const TFieldUpdate& Update : Updates)
        Paint(Update);
    TrendTick();
    HistoryTick();
    if (LogOpen())
        LogTick();
}

void TMainForm::DataPacketTimeout()
{
    ArmFramer(true);
}

void TMainForm::UsedBoardComboBoxClick()
{
    UpdateControls();
}

void TMainForm::FilterTypeClick()
{
    FFilterPanel->FilterPages()->setCurrentIndex(FFilterPanel->FilterType()->ItemIndex());
}

void TMainForm::FilterSliderChange()
{
    FFilterPanel->FilterSliderEdit()->SetIntegerValue(
        static_cast<std::int32_t>(std::lround(FFilterPanel->FilterSlider()->Position())));
}

void TMainForm::IntervalFieldChange()
{
    ShowLogInterval();
    SetTimerInterval(FSamplingPanel->SampleIntervalField()->GetIntegerValue() * 1000);
    UpdateControls();
}

void TMainForm::ApplicationEventsException(std::exception_ptr)
{
    if (OnLine)
        GoOffLine();
    UpdateControls();
}

void TMainForm::ApplicationEventsHint(const QString& LongHint)
{
    FStatusPanel->StatusBar()->setPanelText(1, LongHint.isEmpty() ? FNotice : LongHint);
}

void TMainForm::UpdateControls()
{
    const int Chosen = Board();
    FStatusPanel->OnLineStatusLight()->SetLit(OnLine);
    SetWatching(OnLine);
    SetEnabledKeepingFocus(FTopPanel->LogOnAction(), OnLine);
    SetEnabledKeepingFocus(FTopPanel->UsedBoardComboBox(), !OnLine);
    // Pressed also while a vanished port is being reopened: a click ends that.
    FTopPanel->OnLineAction()->setChecked(OnLine || Reconnecting());
    FTopPanel->LogOnAction()->setChecked(Logging());
    SetEnabledKeepingFocus(FLogPanel->LogGroup(), !Logging());
    FSamplingPanel->WarningLabel()->setVisible(
        FSamplingPanel->SampleIntervalField()->GetIntegerValue() <= 1);
    FValuePanel->ShowBoard(Chosen);
    FTopPanel->ShowBoard(Chosen);
}

void TMainForm::SetEnabledKeepingFocus(QWidget* Control, bool Enabled)
{
    // Qt would hand the focus to the next field in the tab order, where a
    // stray key rewrites a value unseen; the window itself takes no keys.
    QWidget* Focus = focusWidget();
    if (!Enabled && Focus && (Focus == Control || Control->isAncestorOf(Focus)))
        setFocus(Qt::OtherFocusReason);
    Control->setEnabled(Enabled);
}

} // namespace kelvalog
