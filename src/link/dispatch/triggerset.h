#pragma once

#include "common/tickclock.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kelvalog {

class TInputRing;

// What the status triggers look at, read when one is armed.
struct TLineSnapshot
{
    std::uint8_t ModemStatus = 0;
    std::uint32_t LineErrors = 0;
    int OutUsed = 0;
    int OutCapacity = 0;
};

// The timer, status and data triggers and the data-available threshold of a
// dispatcher, with their handles.
class TTriggerSet
{
public:
    explicit TTriggerSet(const TTickClock& Clock) : FClock(Clock) {}

    // Drops every trigger and the threshold; handles start again.
    void Clear();

    int AddTimer();
    int AddStatus(int Kind);
    int AddData(const std::string& Text);
    int SetTimer(int Handle, std::uint32_t Ticks, bool Active);
    // ModemStatus: the lines as the trigger is armed.
    int SetStatus(int Handle, std::uint32_t Value, bool Active, std::uint8_t ModemStatus);
    // Handle 1 is the data-available threshold.
    int Remove(int Handle);
    void SetAvailThreshold(std::uint16_t Bytes);
    std::uint16_t AvailThreshold() const;

    // Dispatch thread: the handle of a trigger that fired now (disarming it),
    // or 0. Snapshot is read once, when an armed status trigger is checked.
    int TakeFiredStatus(const std::function<TLineSnapshot()>& Snapshot);
    int TakeExpiredTimer();
    // Feeds the bytes Ring holds that no data trigger has seen yet.
    int TakeMatchedData(TInputRing& Ring);
    // A status trigger fires once per turn of the dispatch loop.
    void EndTurn();
    // How long the dispatch loop may wait before a trigger needs checking.
    std::chrono::milliseconds LoopWait() const;
    // Whether a modem-status trigger is armed.
    bool WatchesModemLines() const;

private:
    struct TTimerTrigger
    {
        int Handle = 0;
        std::uint32_t StartTick = 0;
        std::uint32_t ExpiryTick = 0;
        std::uint32_t Length = 0;
        bool Active = false;

        // Whole ticks until it expires (more than Length ticks after its
        // start): 0 once expired.
        std::uint32_t TicksLeft(std::uint32_t Now) const
        {
            const std::uint32_t Passed = TicksBetween(StartTick, Now);
            return Passed > Length ? 0 : Length + 1 - Passed;
        }
    };
    struct TStatusTrigger
    {
        int Handle = 0;
        int Kind = 0;
        std::uint32_t Value = 0;
        std::uint32_t Reference = 0; // modem status when armed
        bool Active = false;
        bool Fired = false;
    };
    struct TDataTrigger
    {
        int Handle = 0;
        std::string Text;
        std::size_t MatchState = 0;
        bool Matched = false;
    };

    const TTickClock& FClock;
    mutable std::mutex FLock;
    std::vector<TTimerTrigger> FTimers;
    std::vector<TStatusTrigger> FStatusTriggers;
    std::vector<TDataTrigger> FDataTriggers;
    std::uint16_t FAvailThreshold = 0;
    int FHandleCounter = 1;

    int AllocateHandle();
    bool HandleInUse(int Base) const;
    static bool Fires(TStatusTrigger& Trigger, const TLineSnapshot& Line);
};

} // namespace kelvalog
