#pragma once

// The window's side of the live feeds.

#include "feed/feedsettings.h"
#include "feed/feedworker.h"

#include <QTimer>

#include <memory>
#include <string>

namespace kelvalog {

struct TMainFormFeeds
{
    // [MQTT] and [Influx] in the settings file.
    TMqttSettings Mqtt;
    TInfluxSettings Influx;
    std::unique_ptr<TFeedWorker> MqttFeed;
    std::unique_ptr<TFeedWorker> InfluxFeed;
    // The texts last shown, so that each is shown once.
    std::string MqttShown;
    std::string InfluxShown;
    // Looks at the feeds' states while one runs.
    QTimer Poll;
    // The status bar's menu and the poll are connected.
    bool Wired = false;
};

} // namespace kelvalog
