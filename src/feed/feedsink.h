#pragma once

#include "history/historytick.h"

#include <atomic>
#include <span>
#include <string>

namespace kelvalog {

// Where a feed delivers: a broker or a database. Called on the feed's thread only.
class TFeedSink
{
public:
    virtual ~TFeedSink() = default;
    // Delivers the ticks; true once the other end acknowledged every one.
    // Otherwise Error says why, as the status bar shows it.
    virtual bool Deliver(std::span<const THistoryTick> Ticks, std::string& Error) = 0;
    // Closes a connection the next Deliver would reuse (after a failure).
    virtual void Drop() {}
    // Set when the feed closes: a delivery under way gives up soon after.
    void SetStop(const std::atomic<bool>* Stop) { FStopping = Stop; }
    bool Stopping() const { return FStopping && FStopping->load(); }

private:
    const std::atomic<bool>* FStopping = nullptr;
};

} // namespace kelvalog
