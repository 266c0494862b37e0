#include "common/tickclock.h"

#include <chrono>

namespace kelvalog {

namespace {
const TSystemTickClock SystemClock;
std::atomic<const TTickClock*> CurrentClock{nullptr};
} // namespace

std::uint32_t TSystemTickClock::Milliseconds() const
{
    using namespace std::chrono;
    const auto Ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(Ms);
}

const TTickClock& TickClock()
{
    const TTickClock* Clock = CurrentClock.load(std::memory_order_acquire);
    return Clock ? *Clock : SystemClock;
}

void SetTickClock(const TTickClock* Clock)
{
    CurrentClock.store(Clock, std::memory_order_release);
}

} // namespace kelvalog
