#pragma once

#include "feed/feedsettings.h"
#include "feed/feedsink.h"

#include <set>
#include <string>

struct mosquitto;

namespace kelvalog {

// Publishes every channel of each tick, retained at QoS 1, to
// kelvalog/<host>/<board>/<channel>; a batch counts as delivered once the
// broker acknowledged each message (PUBACK). The network loop runs on the
// feed's thread, inside Deliver.
class TMqttSink : public TFeedSink
{
public:
    TMqttSink(TMqttSettings Settings, std::string Host);
    ~TMqttSink() override;
    bool Deliver(std::span<const THistoryTick> Ticks, std::string& Error) override;
    void Drop() override;

private:
    const TMqttSettings FSettings;
    const std::string FHost;
    mosquitto* FMosq = nullptr;
    bool FConnected = false;
    int FConnectCode = -1;  // the broker's CONNACK code; -1 before it came
    std::set<int> FPending; // message ids not acknowledged yet
    bool FLost = false;

    bool Connect(std::string& Error);
    bool Loop(std::string& Error);
    static void OnConnect(mosquitto*, void* Self, int Code);
    static void OnPublish(mosquitto*, void* Self, int Mid);
    static void OnDisconnect(mosquitto*, void* Self, int Code);
};

} // namespace kelvalog
