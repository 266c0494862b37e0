#include "link/dispatch/dispatcher.h"
#include "link/dispatch/dispatcherthreads.h"

#include "common/linkerror.h"

#include <algorithm>
#include <chrono>

namespace kelvalog {

// ---------------------------------------------------------------- received data

int TBaseDispatcher::InBuffUsed() const
{
    return FRing.Used();
}

int TBaseDispatcher::GetBlock(void* Buffer, std::size_t Count)
{
    // Room made in a full ring lets the bytes still queued move in now.
    TWakeLoop Wake{*this, false};
    bool Freed = false;
    const int Result = FRing.Get(Buffer, Count, Freed);
    Wake.Armed = Freed && !FQueue.Empty();
    return Result;
}

// ---------------------------------------------------------------- dispatch thread

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
            FQueue.WaitForItem(FTriggers.LoopWait());
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
        FTriggers.EndTurn();
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
        InputDropped(Stale);
    const std::size_t Moved = FRing.MoveIn(FQueue);
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
    return FRing.HasRoom() && !FQueue.Empty();
}

bool TBaseDispatcher::CheckDataAvailable()
{
    std::size_t Count = 0;
    if (!FRing.TakeAvail(FTriggers.AvailThreshold(), Count))
        return false;
    Notify(msg::TriggerAvail, static_cast<std::uint32_t>(Count), 0);
    return true;
}

void TBaseDispatcher::Notify(std::uint32_t Msg, std::uint32_t WParam, std::uint16_t LParamLow)
{
    std::vector<THandlerList::THandler> Handlers;
    bool SendToWindows = false;
    if (!FHandlers.BeginService(Msg == msg::TriggerAvail, Handlers, SendToWindows))
        return;
    const bool DataMode = Msg == msg::TriggerAvail || Msg == msg::TriggerData;
    FRing.BeginService(DataMode);
    // Ends the service also when a handler throws.
    struct TServiceEnd
    {
        TBaseDispatcher& D;
        bool DataMode;
        ~TServiceEnd()
        {
            D.FRing.EndService(DataMode);
            D.FHandlers.EndService();
        }
    } End{*this, DataMode};

    const std::uint32_t LParam = LParamLow | (static_cast<std::uint32_t>(FNumber) << 16);
    for (const auto Kind : {THandlerKind::Event, THandlerKind::Proc, THandlerKind::Window}) {
        if (Kind == THandlerKind::Window && !SendToWindows)
            break;
        for (const auto& Handler : Handlers) {
            if (Handler.Kind != Kind)
                continue;
            if (FClosePending.load())
                return;
            if (!FHandlers.StillWanted(Handler.Id))
                continue;
            FRing.StartHandler();
            Invoke(Handler, Msg, WParam, LParam);
        }
    }
}

void TBaseDispatcher::Invoke(const THandlerList::THandler& Handler, std::uint32_t Msg,
                             std::uint32_t WParam, std::uint32_t LParam)
{
    const TNotifyHandler& Call = Handler.Call;
    if (Handler.Kind == THandlerKind::Window && FBridge && !FBridge->IsWindowThread()) {
        const TNotifyHandler Copy = Call;
        CallOnWindowThread([Copy, Msg, WParam, LParam] { Copy(Msg, WParam, LParam); },
                           SendTimeoutMs);
    } else if (Handler.Kind == THandlerKind::Event && Handler.HandOff) {
        HandOff([&] { Call(Msg, WParam, LParam); });
    } else {
        Call(Msg, WParam, LParam);
    }
}

} // namespace kelvalog
