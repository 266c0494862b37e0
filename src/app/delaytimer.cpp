#include "app/delaytimer.h"

#include <chrono>
#include <thread>

namespace kelvalog {

namespace {

std::uint32_t SystemTicks()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

TDelayTimer::TDelayTimer()
    : FTicks(SystemTicks),
      // A short sleep per poll keeps the wait from burning a core; the wait
      // still ends within a millisecond of its deadline.
      FPause([] { std::this_thread::sleep_for(std::chrono::microseconds(500)); })
{
}

TDelayTimer::TDelayTimer(TTickSource Ticks, std::function<void()> Pause)
    : FTicks(std::move(Ticks)), FPause(std::move(Pause))
{
}

void TDelayTimer::Delay(std::uint32_t Milliseconds)
{
    if (Milliseconds == 0)
        return;
    if (FBusy) {
        FDeadline = FTicks() + Milliseconds;
        return;
    }
    FBusy = true;
    FDeadline = FTicks() + Milliseconds;
    try {
        // The deadline may move while OnIdle runs, so it is read afresh each
        // round. The signed difference keeps the wait right across the wrap of
        // the 32-bit tick count.
        for (std::uint32_t Now = FTicks(); static_cast<std::int32_t>(FDeadline - Now) > 0;
             Now = FTicks()) {
            if (OnIdle)
                OnIdle(*this, FDeadline - Now);
            else if (FPause)
                FPause();
        }
    } catch (...) {
        FBusy = false;
        throw;
    }
    FBusy = false;
}

} // namespace kelvalog
