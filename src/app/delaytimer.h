#pragma once

#include <cstdint>
#include <functional>

namespace kelvalog {

// A blocking wait that polls the millisecond tick count. It handles no window
// messages, so the window does not react while it runs.
class TDelayTimer
{
public:
    using TDelayEvent = std::function<void(TDelayTimer& Sender, std::uint32_t StillToGo)>;
    using TTickSource = std::function<std::uint32_t()>;

    TDelayTimer();
    // Tests pass their own tick count and pause.
    TDelayTimer(TTickSource Ticks, std::function<void()> Pause);

    void Delay(std::uint32_t Milliseconds);
    bool Busy() const { return FBusy; }

    TDelayEvent OnIdle;

private:
    std::uint32_t FDeadline = 0;
    bool FBusy = false;
    TTickSource FTicks;
    std::function<void()> FPause;
};

} // namespace kelvalog
