#include "link/dispatch/triggerset.h"

#include "common/linkerror.h"
#include "link/device/serialdevice.h"
#include "link/dispatch/dispatcher.h"
#include "link/dispatch/inputring.h"

#include <algorithm>
#include <optional>

namespace kelvalog {

namespace {

// How long past its tick an expired timer may wait for the loop's next turn:
// with the millisecond that reaches past the tick, within one turn of 50 ms.
constexpr std::chrono::milliseconds TimerSlack{49};

// Line-error trigger mask bits in device error bits.
std::uint32_t DeviceErrorsOfMask(std::uint32_t Mask)
{
    std::uint32_t Bits = 0;
    // An overrun is one of the device or of the input queue.
    if (Mask & lemask::Overrun)
        Bits |= lineerr::Overrun | lineerr::RxOver;
    if (Mask & lemask::Parity)
        Bits |= lineerr::Parity;
    if (Mask & lemask::Framing)
        Bits |= lineerr::Frame;
    if (Mask & lemask::Break)
        Bits |= lineerr::Break;
    return Bits;
}

std::uint32_t MaskOfDeviceErrors(std::uint32_t Bits)
{
    std::uint32_t Mask = 0;
    if (Bits & (lineerr::Overrun | lineerr::RxOver))
        Mask |= lemask::Overrun;
    if (Bits & lineerr::Parity)
        Mask |= lemask::Parity;
    if (Bits & lineerr::Frame)
        Mask |= lemask::Framing;
    if (Bits & lineerr::Break)
        Mask |= lemask::Break;
    return Mask;
}

constexpr int MaxHandleSlot = 4095;

// How much of Text matches the end of the bytes seen, after Byte follows the
// State bytes matched so far: the longest prefix of Text that is a suffix of
// Text[0, State) + Byte, so that an overlapping start is not lost.
std::size_t NextMatchState(const std::string& Text, std::size_t State, std::uint8_t Byte)
{
    for (std::size_t Length = std::min(State + 1, Text.size()); Length > 0; --Length)
        if (static_cast<std::uint8_t>(Text[Length - 1]) == Byte &&
            Text.compare(0, Length - 1, Text, State + 1 - Length, Length - 1) == 0)
            return Length;
    return 0;
}

} // namespace

void TTriggerSet::Clear()
{
    std::lock_guard Guard(FLock);
    FTimers.clear();
    FStatusTriggers.clear();
    FDataTriggers.clear();
    FAvailThreshold = 0;
    FHandleCounter = 1;
}

bool TTriggerSet::HandleInUse(int Base) const
{
    auto Same = [Base](const auto& T) { return (T.Handle & ~7) == Base; };
    return std::any_of(FTimers.begin(), FTimers.end(), Same) ||
           std::any_of(FStatusTriggers.begin(), FStatusTriggers.end(), Same) ||
           std::any_of(FDataTriggers.begin(), FDataTriggers.end(), Same);
}

int TTriggerSet::AllocateHandle()
{
    if (FHandleCounter <= MaxHandleSlot)
        return 8 * FHandleCounter++;
    for (int Slot = 1; Slot <= MaxHandleSlot; ++Slot)
        if (!HandleInUse(8 * Slot))
            return 8 * Slot;
    return ecode::NoMoreTriggers;
}

int TTriggerSet::AddTimer()
{
    std::lock_guard Guard(FLock);
    const int Handle = AllocateHandle();
    if (Handle < 0)
        return Handle;
    FTimers.push_back({Handle, 0, 0, 0, false});
    return Handle;
}

int TTriggerSet::AddStatus(int Kind)
{
    if (Kind < stkind::ModemStatus || Kind > stkind::OutSent)
        return ecode::BadArgument;
    std::lock_guard Guard(FLock);
    const int Base = AllocateHandle();
    if (Base < 0)
        return Base;
    TStatusTrigger Trigger;
    Trigger.Handle = Base + Kind;
    Trigger.Kind = Kind;
    FStatusTriggers.push_back(Trigger);
    return Trigger.Handle;
}

int TTriggerSet::AddData(const std::string& Text)
{
    if (Text.empty())
        return ecode::BadArgument;
    std::lock_guard Guard(FLock);
    const int Handle = AllocateHandle();
    if (Handle < 0)
        return Handle;
    FDataTriggers.push_back({Handle, Text, 0, false});
    return Handle;
}

int TTriggerSet::SetTimer(int Handle, std::uint32_t Ticks, bool Active)
{
    std::lock_guard Guard(FLock);
    for (auto& Timer : FTimers)
        if (Timer.Handle == Handle) {
            if (Ticks != 0)
                Timer.Length = std::min(Ticks, MaxTimerTicks);
            if (Active) {
                Timer.StartTick = FClock.Ticks();
                Timer.ExpiryTick = (Timer.StartTick + Timer.Length) % TickPeriod;
            }
            Timer.Active = Active;
            return 0;
        }
    return ecode::BadTriggerHandle;
}

int TTriggerSet::SetStatus(int Handle, std::uint32_t Value, bool Active, std::uint8_t ModemStatus)
{
    std::lock_guard Guard(FLock);
    for (auto& Trigger : FStatusTriggers)
        if (Trigger.Handle == Handle) {
            Trigger.Value = Value;
            Trigger.Active = Active;
            Trigger.Reference = ModemStatus;
            return 0;
        }
    return ecode::BadTriggerHandle;
}

int TTriggerSet::Remove(int Handle)
{
    std::lock_guard Guard(FLock);
    if (Handle == 1) {
        FAvailThreshold = 0;
        return 0;
    }
    auto Drop = [Handle](auto& List) {
        const auto It = std::find_if(List.begin(), List.end(),
                                     [Handle](const auto& T) { return T.Handle == Handle; });
        if (It == List.end())
            return false;
        List.erase(It);
        return true;
    };
    if (Drop(FTimers) || Drop(FStatusTriggers) || Drop(FDataTriggers))
        return 0;
    return ecode::BadTriggerHandle;
}

void TTriggerSet::SetAvailThreshold(std::uint16_t Bytes)
{
    std::lock_guard Guard(FLock);
    FAvailThreshold = Bytes;
}

std::uint16_t TTriggerSet::AvailThreshold() const
{
    std::lock_guard Guard(FLock);
    return FAvailThreshold;
}

bool TTriggerSet::Fires(TStatusTrigger& Trigger, const TLineSnapshot& Line)
{
    switch (Trigger.Kind) {
    case stkind::ModemStatus:
        return ((Line.ModemStatus ^ Trigger.Reference) & Trigger.Value) != 0;
    case stkind::LineError: {
        const std::uint32_t Shared = Line.LineErrors & DeviceErrorsOfMask(Trigger.Value);
        if (Shared == 0)
            return false;
        Trigger.Value = MaskOfDeviceErrors(Shared);
        return true;
    }
    case stkind::OutbuffFree:
        return Line.OutCapacity - Line.OutUsed >= static_cast<int>(Trigger.Value);
    case stkind::OutbuffUsed:
        return Line.OutUsed >= static_cast<int>(Trigger.Value);
    case stkind::OutSent:
        return Line.OutUsed == 0;
    default:
        return false;
    }
}

int TTriggerSet::TakeFiredStatus(const std::function<TLineSnapshot()>& Snapshot)
{
    std::lock_guard Guard(FLock);
    std::optional<TLineSnapshot> Line;
    for (auto& Trigger : FStatusTriggers) {
        if (!Trigger.Active || Trigger.Fired)
            continue;
        if (!Line)
            Line = Snapshot();
        if (Fires(Trigger, *Line)) {
            Trigger.Active = false;
            Trigger.Fired = true;
            return Trigger.Handle;
        }
    }
    return 0;
}

int TTriggerSet::TakeExpiredTimer()
{
    std::lock_guard Guard(FLock);
    const std::uint32_t Now = FClock.Ticks();
    for (auto& Timer : FTimers)
        if (Timer.Active && Timer.TicksLeft(Now) == 0) {
            Timer.Active = false;
            return Timer.Handle;
        }
    return 0;
}

int TTriggerSet::TakeMatchedData(TInputRing& Ring)
{
    std::lock_guard Guard(FLock);
    if (FDataTriggers.empty()) {
        Ring.SkipUnseen();
        return 0;
    }
    int Handle = 0;
    Ring.ScanUnseen([&](std::uint8_t Byte) {
        for (auto& Trigger : FDataTriggers) {
            const auto& Text = Trigger.Text;
            Trigger.MatchState = NextMatchState(Text, Trigger.MatchState, Byte);
            if (Trigger.MatchState == Text.size()) {
                Trigger.MatchState = 0;
                Trigger.Matched = true;
                if (Handle == 0)
                    Handle = Trigger.Handle;
            }
        }
        return Handle != 0;
    });
    return Handle;
}

void TTriggerSet::EndTurn()
{
    std::lock_guard Guard(FLock);
    for (auto& Trigger : FStatusTriggers)
        Trigger.Fired = false;
}

bool TTriggerSet::WatchesModemLines() const
{
    std::lock_guard Guard(FLock);
    return std::any_of(FStatusTriggers.begin(), FStatusTriggers.end(),
                       [](auto& T) { return T.Active && T.Kind == stkind::ModemStatus; });
}

std::chrono::milliseconds TTriggerSet::LoopWait() const
{
    using namespace std::chrono_literals;
    // The output triggers are checked at every turn of the loop, the timers
    // when the first of them is due; with none armed, only input or a change
    // wakes it.
    std::lock_guard Guard(FLock);
    const bool Output = std::any_of(FStatusTriggers.begin(), FStatusTriggers.end(), [](auto& T) {
        return T.Active && T.Kind >= stkind::OutbuffFree;
    });
    if (Output)
        return 50ms;
    const std::uint32_t NowMs = FClock.Milliseconds();
    std::optional<std::uint32_t> Ticks;
    for (const auto& T : FTimers)
        if (T.Active)
            Ticks = std::min(Ticks.value_or(MaxTimerTicks), T.TicksLeft(NowMs / TickMilliseconds));
    if (!Ticks)
        return 60s;
    // To just past the tick at which it expires, and up to one turn of 50 ms
    // beyond: a line arriving meanwhile wakes the loop anyway, and the
    // expired timer is handled in that same turn, right after the line, so
    // a receive light going out costs no wake-up of its own while data flows.
    // A clock moved by hand does not wake the loop, so the wait stays short.
    const auto Due = std::chrono::milliseconds(std::int64_t{*Ticks} * TickMilliseconds -
                                               NowMs % TickMilliseconds + 1);
    return std::clamp<std::chrono::milliseconds>(Due + TimerSlack, 1ms, 200ms);
}

} // namespace kelvalog
