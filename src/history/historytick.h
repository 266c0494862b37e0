#pragma once

#include "acquisition/channel.h"
#include "acquisition/trendstore.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kelvalog {

// One sampling tick as the history keeps it: the time in microseconds since
// the epoch (UTC), the board, the filter type and per channel its valid flag,
// its sample and its filtered value.
struct THistoryTick
{
    std::int64_t Time = 0;
    int Board = -1;
    int Filter = 0;         // FilterType's item index: 0 none, 1 moving average, 2 low pass
    std::uint8_t Valid = 0; // bit i: channel i had a reading in the tick
    std::array<float, ChannelCount> Sample{};
    std::array<float, ChannelCount> Filtered{};

    bool IsValid(int Channel) const { return (Valid >> Channel) & 1u; }
    bool Filtering() const { return Filter == 1 || Filter == 2; }
    // What the trend draws of it, with the time in milliseconds.
    TTrendTick TrendTick() const;
};

// A board's channel as the exports and feeds name it.
struct TBoardChannel
{
    int Index;
    const char* Name;
    const char* Unit;
};

// The channels of board 0 (5 V) or 1 (3.3 V); none for another board.
std::vector<TBoardChannel> BoardChannels(int Board);

} // namespace kelvalog
