#include "link/dispatch/dispatcher.h"
#include "link/dispatch/dispatcherthreads.h"

#include "common/linkerror.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

namespace kelvalog {

// ---------------------------------------------------------------- received data

std::size_t TBaseDispatcher::UnreadLocked() const
{
    if (FFull)
        return DispatchBufferSize;
    return (FHead + DispatchBufferSize - FTail) % DispatchBufferSize;
}

int TBaseDispatcher::InBuffUsed() const
{
    std::lock_guard Guard(FDispatchLock);
    if (FRing.empty())
        return 0;
    const std::size_t Unread = UnreadLocked();
    const std::size_t Taken = FDataMode ? FHandlerRead : 0;
    return static_cast<int>(Unread > Taken ? Unread - Taken : 0);
}

int TBaseDispatcher::GetBlock(void* Buffer, std::size_t Count)
{
    // Room made in a full ring lets the bytes still queued move in now.
    TWakeLoop Wake{*this, false};
    std::lock_guard Guard(FDispatchLock);
    if (FRing.empty())
        return ecode::BufferIsEmpty;
    const std::size_t Skip = FDataMode ? FHandlerRead : 0;
    const std::size_t Unread = UnreadLocked();
    if (Count > Unread || Skip > Unread - Count)
        return ecode::BufferIsEmpty;
    auto* Out = static_cast<std::uint8_t*>(Buffer);
    std::size_t From = (FTail + Skip) % DispatchBufferSize;
    const std::size_t First = std::min(Count, DispatchBufferSize - From);
    std::memcpy(Out, FRing.data() + From, First);
    std::memcpy(Out + First, FRing.data(), Count - First);
    if (FDataMode) {
        FHandlerRead += Count;
    } else if (Count > 0) {
        FTail = (FTail + Count) % DispatchBufferSize;
        FFull = false;
        Wake.Armed = !FQueue.Empty();
    }
    return static_cast<int>(Count);
}

// ---------------------------------------------------------------- dispatch thread

std::chrono::milliseconds TBaseDispatcher::LoopWait() const
{
    using namespace std::chrono_literals;
    // The output triggers are checked at every turn of the loop, the timers
    // when the first of them is due; with none armed, only input or a change
    // wakes it.
    std::lock_guard Guard(FGeneralLock);
    const bool Output = std::any_of(FStatusTriggers.begin(), FStatusTriggers.end(), [](auto& T) {
        return T.Active && T.Kind >= stkind::OutbuffFree;
    });
    if (Output)
        return 50ms;
    const std::uint32_t NowMs = FClock->Milliseconds();
    std::optional<std::uint32_t> Ticks;
    for (const auto& T : FTimers)
        if (T.Active)
            Ticks = std::min(Ticks.value_or(MaxTimerTicks), T.TicksLeft(NowMs / TickMilliseconds));
    if (!Ticks)
        return 60s;
    // To just past the tick at which it expires. A clock moved by hand does
    // not wake the loop, so the wait stays short.
    const auto Due = std::chrono::milliseconds(std::int64_t{*Ticks} * TickMilliseconds -
                                               NowMs % TickMilliseconds + 1);
    return std::clamp<std::chrono::milliseconds>(Due, 1ms, 200ms);
}

void TBaseDispatcher::DispatchLoop()
{
    using namespace std::chrono_literals;
    bool Again = false;
    // Batch scheduling suits a board's pace, not a backlog: behind a flood
    // this thread must take its turn as soon as it is woken, and it keeps
    // doing so until the input has been light for a second.
    bool Batch = true;
    std::chrono::steady_clock::time_point BacklogSeen;
    while (!FStopThreads.load() && !FClosePending.load()) {
        // Bytes left queued after a cycle that made progress are not left to
        // wait for the next append: a backlog drains at the subscribers' pace.
        if (!Again)
            FQueue.WaitForItem(LoopWait());
        if (FStopThreads.load() || FClosePending.load())
            break;
        Again = DispatchCycle();
        if (Again || !Batch) {
            const auto Now = std::chrono::steady_clock::now();
            if (Again)
                BacklogSeen = Now;
            if (const bool Light = Now - BacklogSeen >= 1s; Light != Batch) {
                Batch = Light;
                SetBatchScheduling(Batch);
            }
        }
        while (!FClosePending.load()) {
            const bool Status = CheckStatusTriggers();
            const bool Timer = CheckTimerTriggers();
            if (!Status && !Timer)
                break;
        }
        std::lock_guard Guard(FGeneralLock);
        for (auto& Trigger : FStatusTriggers)
            Trigger.Fired = false;
    }
}

bool TBaseDispatcher::DispatchCycle()
{
    const std::uint32_t Mask = FQueue.TakeFrontStatus();
    if (Mask & evt::ModemEvents) {
        {
            std::lock_guard Guard(FGeneralLock);
            ReadModemStatusLocked();
        }
        CheckStatusTriggers();
    }
    if (Mask & evt::ErrorEvents) {
        {
            std::lock_guard Guard(FGeneralLock);
            CollectLineErrorsLocked();
        }
        CheckStatusTriggers();
    }
    // A backlog that has aged while the window worked on it goes before it is
    // taken: the window shows values at most about a second old.
    if (const std::size_t Stale = FQueue.DropStale(TIOQueue::NowMs()); Stale > 0)
        InputOverrun(Stale);
    std::size_t Moved = 0;
    {
        std::lock_guard Guard(FDispatchLock);
        if (!FRing.empty() && !FFull) {
            // Up to the end of the ring, then from its start.
            const std::size_t ToEnd = FHead >= FTail ? DispatchBufferSize - FHead : FTail - FHead;
            Moved = FQueue.MoveData(FRing.data() + FHead, ToEnd);
            FHead = (FHead + Moved) % DispatchBufferSize;
            if (Moved == ToEnd && FHead < FTail) {
                const std::size_t More = FQueue.MoveData(FRing.data() + FHead, FTail - FHead);
                FHead += More;
                Moved += More;
            }
            FTotalIn += Moved;
            if (Moved > 0 && FHead == FTail)
                FFull = true;
        }
    }
    if (InService() || FClosePending.load())
        return (Moved > 0 || Mask != 0) && !FQueue.Empty();
    {
        std::lock_guard Guard(FGeneralLock);
        ReadModemStatusLocked();
    }
    while (!FClosePending.load() && CheckStatusTriggers()) {
    }
    while (!FClosePending.load()) {
        const bool Data = CheckDataTriggers();
        const bool Avail = CheckDataAvailable();
        if (!Data && !Avail)
            break;
    }
    // Bytes left queued while the ring has room go in at once; a full ring
    // waits for a reader, who wakes the loop.
    std::lock_guard Guard(FDispatchLock);
    return !FRing.empty() && !FFull && !FQueue.Empty();
}

bool TBaseDispatcher::CheckDataAvailable()
{
    std::uint16_t Threshold = 0;
    {
        std::lock_guard Guard(FGeneralLock);
        Threshold = FAvailThreshold;
    }
    std::size_t Count = 0;
    {
        std::lock_guard Guard(FDispatchLock);
        if (Threshold == 0 || FTotalIn == FLastAvailTotal)
            return false;
        Count = UnreadLocked();
        if (Count < Threshold)
            return false;
        FLastAvailTotal = FTotalIn;
    }
    Notify(msg::TriggerAvail, static_cast<std::uint32_t>(Count), 0);
    return true;
}

bool TBaseDispatcher::WindowAvailDueLocked()
{
    if (!FWindowAvailPaced)
        return true;
    if (FWindowAvailHeld)
        return false;
    const std::uint32_t Now = FClock->Ticks();
    if (FWindowAvailSent && Now == FWindowAvailTick)
        return false;
    FWindowAvailSent = true;
    FWindowAvailTick = Now;
    return true;
}

void TBaseDispatcher::Notify(std::uint32_t Msg, std::uint32_t WParam, std::uint16_t LParamLow)
{
    std::vector<THandler> Handlers;
    bool SendToWindows = false;
    {
        std::lock_guard Guard(FGeneralLock);
        if (!FServiceNeeded || FHandlers.empty())
            return;
        FInService = true;
        Handlers = FHandlers;
        const auto Windows = std::count_if(FHandlers.begin(), FHandlers.end(),
                                           [](auto& H) { return H.Kind == THandlerKind::Window; });
        SendToWindows = (Windows > 1 || FPortHandlerInstalled) &&
                        (Msg != msg::TriggerAvail || WindowAvailDueLocked());
    }
    const bool DataMode = Msg == msg::TriggerAvail || Msg == msg::TriggerData;
    {
        std::lock_guard Guard(FDispatchLock);
        FDataMode = DataMode;
        FHandlerRead = 0;
        FMaxRead = 0;
    }
    // Ends the service also when a handler throws.
    struct TServiceEnd
    {
        TBaseDispatcher& D;
        bool DataMode;
        ~TServiceEnd()
        {
            {
                std::lock_guard Guard(D.FDispatchLock);
                if (DataMode) {
                    D.FMaxRead = std::max(D.FMaxRead, D.FHandlerRead);
                    if (D.FMaxRead > 0 && !D.FRing.empty()) {
                        D.FTail = (D.FTail + D.FMaxRead) % DispatchBufferSize;
                        D.FFull = false;
                    }
                }
                D.FDataMode = false;
                D.FHandlerRead = 0;
                D.FMaxRead = 0;
            }
            std::lock_guard Guard(D.FGeneralLock);
            D.FInService = false;
            if (D.FRemovalPending) {
                std::erase_if(D.FHandlers, [](auto& H) { return H.Removed; });
                D.FRemovalPending = false;
            }
        }
    } End{*this, DataMode};

    const std::uint32_t LParam = LParamLow | (static_cast<std::uint32_t>(FNumber) << 16);
    auto StillWanted = [this](int Id) {
        if (FClosePending.load())
            return false;
        std::lock_guard Guard(FGeneralLock);
        const auto It =
            std::find_if(FHandlers.begin(), FHandlers.end(), [Id](auto& H) { return H.Id == Id; });
        return It != FHandlers.end() && !It->Removed;
    };
    auto StartHandler = [this] {
        std::lock_guard Guard(FDispatchLock);
        FMaxRead = std::max(FMaxRead, FHandlerRead);
        FHandlerRead = 0;
    };
    for (const auto Kind : {THandlerKind::Event, THandlerKind::Proc, THandlerKind::Window}) {
        if (Kind == THandlerKind::Window && !SendToWindows)
            break;
        for (const auto& Handler : Handlers) {
            if (Handler.Kind != Kind)
                continue;
            if (FClosePending.load())
                return;
            if (!StillWanted(Handler.Id))
                continue;
            StartHandler();
            const TNotifyHandler& Call = Handler.Call;
            if (Kind == THandlerKind::Window && FBridge && !FBridge->IsWindowThread()) {
                const TNotifyHandler Copy = Call;
                CallOnWindowThread([Copy, Msg, WParam, LParam] { Copy(Msg, WParam, LParam); },
                                   SendTimeoutMs);
            } else if (Kind == THandlerKind::Event && Handler.HandOff) {
                HandOff([&] { Call(Msg, WParam, LParam); });
            } else {
                Call(Msg, WParam, LParam);
            }
        }
    }
}

} // namespace kelvalog
