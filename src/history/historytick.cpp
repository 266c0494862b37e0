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

} // namespace kelvalog
