#include "link/dispatch/dispatcher.h"

#include "common/linkerror.h"

#include <algorithm>
#include <thread>

namespace kelvalog {

namespace {

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

// ---------------------------------------------------------------- triggers

TBaseDispatcher::TWakeLoop::~TWakeLoop()
{
    // The dispatch loop waits longer while nothing it must check is armed;
    // from its own thread it looks again before it waits.
    if (Armed && std::this_thread::get_id() != D.FDispatchThreadId.load())
        D.FQueue.Signal();
}

bool TBaseDispatcher::HandleInUse(int Base) const
{
    auto Same = [Base](int Handle) { return (Handle & ~7) == Base; };
    return std::any_of(FTimers.begin(), FTimers.end(), [&](auto& T) { return Same(T.Handle); }) ||
           std::any_of(FStatusTriggers.begin(), FStatusTriggers.end(),
                       [&](auto& T) { return Same(T.Handle); }) ||
           std::any_of(FDataTriggers.begin(), FDataTriggers.end(),
                       [&](auto& T) { return Same(T.Handle); });
}

int TBaseDispatcher::AllocateHandle()
{
    if (FHandleCounter <= MaxHandleSlot)
        return 8 * FHandleCounter++;
    for (int Slot = 1; Slot <= MaxHandleSlot; ++Slot)
        if (!HandleInUse(8 * Slot))
            return 8 * Slot;
    return ecode::NoMoreTriggers;
}

int TBaseDispatcher::AddTimerTrigger()
{
    std::lock_guard Guard(FGeneralLock);
    const int Handle = AllocateHandle();
    if (Handle < 0)
        return Handle;
    FTimers.push_back({Handle, 0, 0, 0, false});
    return Handle;
}

int TBaseDispatcher::AddStatusTrigger(int Kind)
{
    if (Kind < stkind::ModemStatus || Kind > stkind::OutSent)
        return ecode::BadArgument;
    std::lock_guard Guard(FGeneralLock);
    const int Base = AllocateHandle();
    if (Base < 0)
        return Base;
    TStatusTrigger Trigger;
    Trigger.Handle = Base + Kind;
    Trigger.Kind = Kind;
    FStatusTriggers.push_back(Trigger);
    return Trigger.Handle;
}

int TBaseDispatcher::AddDataTrigger(const std::string& Text)
{
    if (Text.empty())
        return ecode::BadArgument;
    std::lock_guard Guard(FGeneralLock);
    const int Handle = AllocateHandle();
    if (Handle < 0)
        return Handle;
    FDataTriggers.push_back({Handle, Text, 0, false});
    return Handle;
}

int TBaseDispatcher::SetTimerTrigger(int Handle, std::uint32_t Ticks, bool Active)
{
    const TWakeLoop Wake{*this, Active};
    std::lock_guard Guard(FGeneralLock);
    for (auto& Timer : FTimers)
        if (Timer.Handle == Handle) {
            if (Ticks != 0)
                Timer.Length = std::min(Ticks, MaxTimerTicks);
            if (Active) {
                Timer.StartTick = FClock->Ticks();
                Timer.ExpiryTick = (Timer.StartTick + Timer.Length) % TickPeriod;
            }
            Timer.Active = Active;
            return 0;
        }
    return ecode::BadTriggerHandle;
}

int TBaseDispatcher::SetStatusTrigger(int Handle, std::uint32_t Value, bool Active)
{
    const TWakeLoop Wake{*this, Active};
    std::lock_guard Guard(FGeneralLock);
    for (auto& Trigger : FStatusTriggers)
        if (Trigger.Handle == Handle) {
            Trigger.Value = Value;
            Trigger.Active = Active;
            Trigger.Reference = FModemStatus;
            return 0;
        }
    return ecode::BadTriggerHandle;
}

int TBaseDispatcher::RemoveTrigger(int Handle)
{
    std::lock_guard Guard(FGeneralLock);
    if (Handle == 1) {
        FAvailThreshold = 0;
        return 0;
    }
    auto Drop = [Handle](auto& List) {
        const auto It = std::find_if(List.begin(), List.end(),
                                     [Handle](auto& T) { return T.Handle == Handle; });
        if (It == List.end())
            return false;
        List.erase(It);
        return true;
    };
    if (Drop(FTimers) || Drop(FStatusTriggers) || Drop(FDataTriggers))
        return 0;
    return ecode::BadTriggerHandle;
}

bool TBaseDispatcher::CheckStatusTriggers()
{
    int Handle = 0;
    {
        std::lock_guard Guard(FGeneralLock);
        for (auto& Trigger : FStatusTriggers) {
            if (!Trigger.Active || Trigger.Fired)
                continue;
            bool Fire = false;
            switch (Trigger.Kind) {
            case stkind::ModemStatus:
                Fire = ((FModemStatus ^ Trigger.Reference) & Trigger.Value) != 0;
                break;
            case stkind::LineError: {
                const std::uint32_t Shared = FLineErrors & DeviceErrorsOfMask(Trigger.Value);
                if (Shared != 0) {
                    Trigger.Value = MaskOfDeviceErrors(Shared);
                    Fire = true;
                }
                break;
            }
            case stkind::OutbuffFree: {
                std::lock_guard Out(FOutputLock);
                Fire = FOutSize - OutBuffUsedLocked() >= static_cast<int>(Trigger.Value);
                break;
            }
            case stkind::OutbuffUsed: {
                std::lock_guard Out(FOutputLock);
                Fire = OutBuffUsedLocked() >= static_cast<int>(Trigger.Value);
                break;
            }
            case stkind::OutSent: {
                std::lock_guard Out(FOutputLock);
                Fire = FOutBuf.empty();
                break;
            }
            default:
                break;
            }
            if (Fire) {
                Trigger.Active = false;
                Trigger.Fired = true;
                Handle = Trigger.Handle;
                break;
            }
        }
    }
    return FireTrigger(msg::TriggerStatus, Handle);
}

bool TBaseDispatcher::CheckTimerTriggers()
{
    int Handle = 0;
    {
        std::lock_guard Guard(FGeneralLock);
        const std::uint32_t Now = FClock->Ticks();
        for (auto& Timer : FTimers)
            if (Timer.Active && Timer.TicksLeft(Now) == 0) {
                Timer.Active = false;
                Handle = Timer.Handle;
                break;
            }
    }
    return FireTrigger(msg::TriggerTimer, Handle);
}

bool TBaseDispatcher::CheckDataTriggers()
{
    int Handle = 0;
    {
        std::lock_guard Guard(FGeneralLock);
        std::lock_guard Ring(FDispatchLock);
        if (FDataTriggers.empty()) {
            FScannedTotal = FTotalIn;
            return false;
        }
        while (FScannedTotal < FTotalIn && Handle == 0) {
            // The byte FTotalIn - FScannedTotal before the head.
            const std::size_t Back = static_cast<std::size_t>(FTotalIn - FScannedTotal);
            if (Back > UnreadLocked()) {
                FScannedTotal = FTotalIn - UnreadLocked(); // read before it was seen
                continue;
            }
            const std::uint8_t Byte =
                FRing[(FHead + DispatchBufferSize - Back) % DispatchBufferSize];
            ++FScannedTotal;
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
        }
    }
    return FireTrigger(msg::TriggerData, Handle);
}

bool TBaseDispatcher::FireTrigger(std::uint32_t Msg, int Handle)
{
    if (Handle == 0)
        return false;
    Notify(Msg, static_cast<std::uint32_t>(Handle), 0);
    return true;
}

} // namespace kelvalog
