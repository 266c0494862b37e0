#pragma once

#include "acquisition/channeltable.h"
#include "app/delaytimer.h"
#include "app/filterpanel.h"
#include "app/logpanel.h"
#include "app/samplingpanel.h"
#include "app/statuspanel.h"
#include "app/toppanel.h"
#include "app/valuepanel.h"
#include "common/localefacts.h"
#include "link/device/portinfo.h"

#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace kelvalog {

class TComPort;
class TDataPacket;
class TFormState;
class TFramePacer;
class TIniFileStore;
class TLogControl;
class TSLController;
class TMainFormLogView;
class TTrendStore;
class TTrendWindow;
struct TMainFormTrend;
struct TMainFormHistory;
struct TMainFormFeeds;

// What the program takes from its surroundings; tests replace it.
struct TMainFormOptions
{
    // The settings file; empty selects the one beside the executable, or the
    // user's own where that cannot be written.
    QString SettingsPath;
    std::uint32_t StartDelay = 1000;
    std::uint32_t CloseDelay = 500;
    TLocaleFacts Locale;
    // The trend's clock, milliseconds since the epoch; empty for the system's.
    // The history and the logs take their times from it too.
    std::function<std::int64_t()> TrendClock;
    // The history file; empty keeps no history.
    QString HistoryPath;
};

// The program's one window and its controller.
class TMainForm : public QWidget
{
    Q_OBJECT

public:
    // The face the layout was measured with; the program also gives it to
    // its dialogs and message boxes.
    static QFont WindowFont();

    explicit TMainForm(TMainFormOptions Options = {});
    ~TMainForm() override;

    // State
    bool OnLine = false;
    // Kept by the logging control.
    bool Logging() const;
    bool LogOpen() const;
    double TambRhSpan = 0.0;
    double TambRhOffset = 0.0;
    double RhSpan = 0.0;
    double RhOffset = 0.0;
    TChannelTable Channels;

    // The window's sections and their controls.
    const TTopPanel& TopPanel() const { return *FTopPanel; }
    const TSamplingPanel& SamplingPanel() const { return *FSamplingPanel; }
    const TValuePanel& ValuePanel() const { return *FValuePanel; }
    const TFilterPanel& FilterPanel() const { return *FFilterPanel; }
    const TLogPanel& LogPanel() const { return *FLogPanel; }
    const TStatusPanel& StatusPanel() const { return *FStatusPanel; }

    // Non-visual parts
    QTimer SampleIntervalTimer;
    // Reopens a vanished port once a second until it is back or the user
    // goes off line.
    QTimer ReconnectTimer;
    TDelayTimer DelayTimer;
    std::unique_ptr<TComPort> ComPort;
    std::unique_ptr<TDataPacket> DataPacket;
    std::unique_ptr<TSLController> SLController;
    std::unique_ptr<TIniFileStore> IniFileStore;
    std::unique_ptr<TFormState> FormState;
    std::unique_ptr<TLogControl> LogControl;

    // Board variant: item index of UsedBoardComboBox, -1 for none.
    int Board() const;
    QString SettingsFileName() const;
    const TLocaleFacts& Locale() const { return FOptions.Locale; }

    // Handlers
    void FormCreate();
    // The close request: true when the window may close.
    bool FormCloseQuery();
    void OnLineActionExecute();
    void LogOnActionExecute();
    void UsedBoardComboBoxClick();
    void FilterTypeClick();
    void LoggingTypeClick();
    void FilterSliderChange();
    void IntervalFieldChange();
    void DataPacketTimeout();
    void DataPacketStringPacket(std::string_view Data);
    void SampleIntervalTimerTimer();
    void SylkFileEditButtonClick();
    void TABFileEditButtonClick();
    void ApplicationEventsException(std::exception_ptr Error);
    void ApplicationEventsHint(const QString& LongHint);
    void ComPortDeviceLost(int Code);
    void ReconnectTimerTimer();

    // A notice in the status bar's text panel; hints show over it while
    // they last.
    void ShowNotice(const QString& Text);
    const QString& Notice() const { return FNotice; }
    // The device vanished and the link is being reopened.
    bool Reconnecting() const { return ReconnectTimer.isActive(); }
    void StopReconnecting();

    void TrendActionExecute();

    // The trend: its store, and its window once it was first shown.
    const TTrendStore& TrendStore() const;
    TTrendWindow* TrendWindow() const;
    // The history file in use; empty when none is kept.
    QString HistoryFile() const;

    void UpdateControls();
    void StartSampling();
    void StopSampling();
    void AddReading(unsigned Channel, float Value);

    void LoadSettings();
    void SaveSettings();
    bool SampleTimerRunning() const { return SampleIntervalTimer.isActive(); }

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    friend class TMainFormLogView;
    TMainFormOptions FOptions;
    std::unique_ptr<TMainFormLogView> FLogView;
    // Calibration texts that could not be read: written back unchanged.
    std::array<std::optional<std::string>, 4> FUnreadCalibration;
    QString FNotice;

    std::unique_ptr<TMainFormTrend> FTrend;
    std::unique_ptr<TMainFormHistory> FHistory;
    std::unique_ptr<TMainFormFeeds> FFeeds;
    // The time of the sampling tick being handled, microseconds since the
    // epoch: the trend, the history and the log record share it.
    std::int64_t FTickTime = 0;

    // The sampling timer as a switch and an interval: it runs while both are
    // set and the interval is above 0.
    bool FTimerEnabled = false;
    int FTimerInterval = 0;

    std::unique_ptr<TTopPanel> FTopPanel;
    std::unique_ptr<TSamplingPanel> FSamplingPanel;
    std::unique_ptr<TValuePanel> FValuePanel;
    std::unique_ptr<TFilterPanel> FFilterPanel;
    std::unique_ptr<TLogPanel> FLogPanel;
    std::unique_ptr<TStatusPanel> FStatusPanel;

    void BuildLayout();
    void CreateComponents();
    void DestroyComponents();
    void WireEvents();
    // Shows an update now; one waiting in the line pacer is dropped.
    void Paint(const TFieldUpdate& Update);
    void Show(const TFieldUpdate& Update);
    // The readings of board lines reach the fields at most once per frame.
    std::unique_ptr<TFramePacer> FLinePacer;
    void ShowInputOverrun(std::uint64_t Dropped);
    void GoOffLine();
    // Enables or disables Control; a focus inside a control being disabled
    // goes to the window itself.
    void SetEnabledKeepingFocus(QWidget* Control, bool Enabled);
    void SetTimerInterval(int Milliseconds);
    void SetTimerEnabled(bool Enabled);
    void ApplyTimer();

    void SetBaudRate(std::int32_t Baud);
    void OpenPort();
    void ClosePort();
    void ArmFramer(bool Armed);
    void SetWatching(bool Watching);

    // Trend
    void CreateTrend();
    void LoadTrendSettings();
    void SaveTrendSettings();
    void TrendTick();
    void TrendBreak();
    void CloseTrend();

    // History
    void LoadHistorySettings();
    void StartHistory();
    void HistoryBeginRun();
    void HistoryTick();
    void ShowHistoryStatus();
    void ConnectHistoryExport(TTrendWindow& Window);

    // Live feeds
    void LoadFeedSettings();
    void SaveFeedSettings();
    void StartFeeds();
    void ShowFeedStatus();
    void ConnectLiveFeed(TTrendWindow& Window);

public:
    // "Export…" of the trend window: the dialog, the file, the export with
    // its progress. Times in milliseconds.
    void HistoryExportClick(std::int64_t From, std::int64_t To);
    // "Live feed…" of the trend window and of the status bar's menu.
    void LiveFeedClick();

private:
    // Logging
    void CreateLogControl();
    void CloseLog();
    void LogTick();
    void ShowLogInterval();

    // A vanished device
    // The USB adapter behind the open port, so that a reconnect finds it
    // again under whatever name the kernel gives it; empty for other devices.
    TUsbIdentity FAdapter;
    static constexpr const char* SysfsRoot = "/sys";
    QString PortDescription() const;
    void ShowFieldsStale();
    int ReturningPortNumber() const;
};

} // namespace kelvalog
