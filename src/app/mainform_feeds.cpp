// The live feeds: every stored tick published to an MQTT broker and a
// line-protocol database, each from a thread of its own reading the history.

#include "app/applicationevents.h"
#include "app/livefeeddialog.h"
#include "app/mainform.h"
#include "app/mainformfeeds.h"
#include "app/mainformhistory.h"
#include "controls/panelstatusbar.h"
#include "feed/influxsink.h"
#include "feed/mqttsink.h"
#include "settings/inifilestore.h"
#include "trend/trendwindow.h"

#include <QMenu>

#include <unistd.h>

namespace kelvalog {

namespace {

constexpr const char* MqttSection = "MQTT";
constexpr const char* InfluxSection = "Influx";

std::string HostName()
{
    char Name[256] = "";
    if (::gethostname(Name, sizeof Name - 1) != 0)
        return "unknown";
    return Name;
}

} // namespace

void TMainForm::LoadFeedSettings()
{
    FFeeds = std::make_unique<TMainFormFeeds>();
    TMqttSettings& M = FFeeds->Mqtt;
    M.Enabled = IniFileStore->ReadIntegerValue(MqttSection, "Enabled", 0) != 0;
    M.Host = IniFileStore->ReadTextValue(MqttSection, "Host", M.Host);
    M.Port = IniFileStore->ReadIntegerValue(MqttSection, "Port", M.Port);
    if (M.Port < 1 || M.Port > 65535)
        M.Port = 1883;
    M.Tls = IniFileStore->ReadIntegerValue(MqttSection, "TLS", 0) != 0;
    M.CaFile = IniFileStore->ReadTextValue(MqttSection, "CAFile", "");
    M.User = IniFileStore->ReadTextValue(MqttSection, "User", "");
    M.PasswordFile = IniFileStore->ReadTextValue(MqttSection, "PasswordFile", "");
    M.ClientId = IniFileStore->ReadTextValue(MqttSection, "ClientId", "");
    TInfluxSettings& I = FFeeds->Influx;
    I.Enabled = IniFileStore->ReadIntegerValue(InfluxSection, "Enabled", 0) != 0;
    I.Url = IniFileStore->ReadTextValue(InfluxSection, "URL", I.Url);
    I.Database = IniFileStore->ReadTextValue(InfluxSection, "Database", I.Database);
    I.TokenFile = IniFileStore->ReadTextValue(InfluxSection, "TokenFile", "");
}

void TMainForm::SaveFeedSettings()
{
    TStoreUse Use(*IniFileStore);
    const TMqttSettings& M = FFeeds->Mqtt;
    IniFileStore->WriteIntegerValue(MqttSection, "Enabled", M.Enabled ? 1 : 0);
    IniFileStore->WriteTextValue(MqttSection, "Host", M.Host);
    IniFileStore->WriteIntegerValue(MqttSection, "Port", M.Port);
    IniFileStore->WriteIntegerValue(MqttSection, "TLS", M.Tls ? 1 : 0);
    IniFileStore->WriteTextValue(MqttSection, "CAFile", M.CaFile);
    IniFileStore->WriteTextValue(MqttSection, "User", M.User);
    IniFileStore->WriteTextValue(MqttSection, "PasswordFile", M.PasswordFile);
    IniFileStore->WriteTextValue(MqttSection, "ClientId", M.ClientId);
    const TInfluxSettings& I = FFeeds->Influx;
    IniFileStore->WriteIntegerValue(InfluxSection, "Enabled", I.Enabled ? 1 : 0);
    IniFileStore->WriteTextValue(InfluxSection, "URL", I.Url);
    IniFileStore->WriteTextValue(InfluxSection, "Database", I.Database);
    IniFileStore->WriteTextValue(InfluxSection, "TokenFile", I.TokenFile);
    Use.Close();
}

void TMainForm::StartFeeds()
{
    if (!FFeeds)
        FFeeds = std::make_unique<TMainFormFeeds>();
    if (!FFeeds->Wired) {
        FFeeds->Wired = true;
        FStatusPanel->StatusBar()->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(FStatusPanel->StatusBar(), &QWidget::customContextMenuRequested, this,
                [this](const QPoint& At) {
                    QMenu Menu(this);
                    QAction* Feed = Menu.addAction(QString::fromUtf8("Live feed…"));
                    Feed->setEnabled(FHistory && FHistory->Writer);
                    if (Menu.exec(FStatusPanel->StatusBar()->mapToGlobal(At)) == Feed)
                        Guarded([this] { LiveFeedClick(); });
                });
        connect(&FFeeds->Poll, &QTimer::timeout, this,
                [this] { Guarded([this] { ShowFeedStatus(); }); });
        FFeeds->Poll.setInterval(1000);
    }
    // The feeds' states are looked at only while a feed runs: without one
    // the window has no wake-up for them.
    FFeeds->Poll.stop();
    FFeeds->MqttShown.clear();
    FFeeds->InfluxShown.clear();
    FFeeds->MqttFeed.reset();
    FFeeds->InfluxFeed.reset();
    // The feeds read what the history stored: without it there is nothing to send.
    if (!FHistory || !FHistory->Writer)
        return;
    const std::string Host = HostName();
    if (FFeeds->Mqtt.Enabled) {
        std::string Error;
        FFeeds->Mqtt.Password = ReadSecretFile(FFeeds->Mqtt.PasswordFile, Error);
        if (!Error.empty())
            ShowNotice(QStringLiteral("MQTT: the password file cannot be read (%1)")
                           .arg(QString::fromStdString(Error)));
        FFeeds->MqttFeed = std::make_unique<TFeedWorker>(
            FHistory->Path, "mqtt", std::make_unique<TMqttSink>(FFeeds->Mqtt, Host));
    }
    if (FFeeds->Influx.Enabled) {
        std::string Error;
        FFeeds->Influx.Token = ReadSecretFile(FFeeds->Influx.TokenFile, Error);
        if (!Error.empty())
            ShowNotice(QStringLiteral("Influx: the token file cannot be read (%1)")
                           .arg(QString::fromStdString(Error)));
        FFeeds->InfluxFeed = std::make_unique<TFeedWorker>(
            FHistory->Path, "influx", std::make_unique<TInfluxSink>(FFeeds->Influx, Host));
    }
    if (FFeeds->MqttFeed || FFeeds->InfluxFeed)
        FFeeds->Poll.start();
}

void TMainForm::ShowFeedStatus()
{
    // One change a second at most: two feeds failing together each get read.
    const auto Show = [this](const char* Name, const std::unique_ptr<TFeedWorker>& Feed,
                             std::string& Shown) {
        const std::string Text = Feed ? FeedStatusText(Name, Feed->Status()) : std::string();
        if (Text == Shown)
            return false;
        const bool WasShown = !Shown.empty();
        Shown = Text;
        if (!Text.empty())
            ShowNotice(QString::fromStdString(Text));
        else if (WasShown && Feed)
            ShowNotice(QStringLiteral("%1: delivering again").arg(QLatin1String(Name)));
        return true;
    };
    if (!Show("MQTT", FFeeds->MqttFeed, FFeeds->MqttShown))
        Show("Influx", FFeeds->InfluxFeed, FFeeds->InfluxShown);
}

void TMainForm::ConnectLiveFeed(TTrendWindow& Window)
{
    if (FHistory && FHistory->Writer)
        Window.SetLiveFeed([this] { Guarded([this] { LiveFeedClick(); }); });
}

void TMainForm::LiveFeedClick()
{
    QWidget* Parent =
        TrendWindow() && TrendWindow()->isVisible() ? static_cast<QWidget*>(TrendWindow()) : this;
    TLiveFeedDialog Dialog(FFeeds->Mqtt, FFeeds->Influx, Parent);
    if (Dialog.exec() != QDialog::Accepted)
        return;
    FFeeds->Mqtt = Dialog.Mqtt();
    FFeeds->Influx = Dialog.Influx();
    SaveFeedSettings();
    StartFeeds();
}

} // namespace kelvalog
