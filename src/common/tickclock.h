#pragma once

#include <atomic>
#include <cstdint>

namespace kelvalog {

// The serial layer counts time in ticks of 55 ms: the 32-bit millisecond clock
// divided by 55.
inline constexpr std::uint32_t TickMilliseconds = 55;
// Number of distinct tick values before the millisecond clock wraps around.
inline constexpr std::uint32_t TickPeriod = 0xFFFFFFFFu / TickMilliseconds + 1;
// Longest timer a tick comparison can tell apart from an expired one.
inline constexpr std::uint32_t MaxTimerTicks = 39045157;

class TTickClock
{
public:
    virtual ~TTickClock() = default;
    virtual std::uint32_t Milliseconds() const = 0;
    std::uint32_t Ticks() const { return Milliseconds() / TickMilliseconds; }
};

// Milliseconds of the monotonic clock, truncated to 32 bits.
class TSystemTickClock : public TTickClock
{
public:
    std::uint32_t Milliseconds() const override;
};

// A clock the test moves by hand.
class TManualTickClock : public TTickClock
{
public:
    explicit TManualTickClock(std::uint32_t Ms = 0) : FMs(Ms) {}
    std::uint32_t Milliseconds() const override { return FMs.load(); }
    void SetMilliseconds(std::uint32_t Ms) { FMs.store(Ms); }
    void SetTicks(std::uint32_t Ticks) { FMs.store(Ticks * TickMilliseconds); }
    void AdvanceTicks(std::uint32_t Ticks) { FMs.fetch_add(Ticks * TickMilliseconds); }

private:
    std::atomic<std::uint32_t> FMs;
};

// The process-wide clock. SetTickClock(nullptr) restores the system clock; a
// clock set here must outlive its use.
const TTickClock& TickClock();
void SetTickClock(const TTickClock* Clock);
inline std::uint32_t CurrentTick()
{
    return TickClock().Ticks();
}

// Ticks from Start to Now, across a wrap of the millisecond clock.
inline std::uint32_t TicksBetween(std::uint32_t Start, std::uint32_t Now)
{
    return Now >= Start ? Now - Start : Now + (TickPeriod - Start);
}

} // namespace kelvalog
