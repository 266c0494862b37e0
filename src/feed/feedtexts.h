#pragma once

#include "common/isotime.h"
#include "history/historytick.h"

#include <string>
#include <string_view>
#include <vector>

namespace kelvalog {

// A channel of a board as the feeds name it.
struct TFeedChannel
{
    int Index;
    std::string Name; // tag and topic level: no spaces, no MQTT wildcards
    const char* Unit;
};

// The board's tag ("5V", "3.3V") and its channels.
const char* FeedBoardName(int Board);
std::vector<TFeedChannel> FeedChannels(int Board);

// One line-protocol line per channel of the tick, "." decimals whatever the
// locale: measurement kelvalog, tags host, board, channel, fields sampled,
// filtered and valid, the time in nanoseconds.
void AppendLineProtocol(std::string& To, std::string_view Host, const THistoryTick& Tick);

// The retained MQTT message of one channel of a tick.
std::string MqttTopic(std::string_view Host, int Board, const TFeedChannel& Channel);
std::string MqttPayload(const THistoryTick& Tick, const TFeedChannel& Channel);

} // namespace kelvalog
