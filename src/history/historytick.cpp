#include "history/historytick.h"

#include <limits>

namespace kelvalog {

TTrendTick THistoryTick::TrendTick() const
{
    constexpr float None = std::numeric_limits<float>::quiet_NaN();
    TTrendTick Tick;
    // Floor division: times before the epoch stay in order.
    Tick.Time = Time >= 0 ? Time / 1000 : -((-Time + 999) / 1000);
    for (int I = 0; I < ChannelCount; ++I) {
        Tick.Sample[I] = IsValid(I) ? Sample[I] : None;
        Tick.Filtered[I] = IsValid(I) && Filtering() ? Filtered[I] : None;
    }
    return Tick;
}

std::vector<TBoardChannel> BoardChannels(int Board)
{
    if (Board == 0)
        return {{0, "Pressure", "mbar"},
                {1, "Tobj", "°C"},
                {2, "Tamb", "°C"},
                {3, "T1", "°C"},
                {4, "T2", "°C"}};
    if (Board == 1)
        return {{0, "Tobj", "°C"},    {1, "Tamb", "°C"}, {2, "RH", "%"},
                {3, "Tamb RH", "°C"}, {4, "T1", "°C"},   {5, "T2", "°C"}};
    return {};
}

} // namespace kelvalog
