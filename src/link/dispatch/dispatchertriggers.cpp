#include "link/dispatch/dispatcher.h"

#include "common/linkerror.h"

#include <thread>
#include <tuple>

namespace kelvalog {

TBaseDispatcher::TWakeLoop::~TWakeLoop()
{
    // The dispatch loop waits longer while nothing it must check is armed;
    // from its own thread it looks again before it waits.
    if (Armed && std::this_thread::get_id() != D.FDispatchThreadId.load())
        D.FQueue.Signal();
}

int TBaseDispatcher::AddTimerTrigger()
{
    return FTriggers.AddTimer();
}

int TBaseDispatcher::AddStatusTrigger(int Kind)
{
    return FTriggers.AddStatus(Kind);
}

int TBaseDispatcher::AddDataTrigger(const std::string& Text)
{
    return FTriggers.AddData(Text);
}

int TBaseDispatcher::SetTimerTrigger(int Handle, std::uint32_t Ticks, bool Active)
{
    const TWakeLoop Wake{*this, Active};
    return FTriggers.SetTimer(Handle, Ticks, Active);
}

int TBaseDispatcher::SetStatusTrigger(int Handle, std::uint32_t Value, bool Active)
{
    const TWakeLoop Wake{*this, Active};
    std::uint8_t Modem = 0;
    {
        std::lock_guard Guard(FGeneralLock);
        Modem = FModemStatus;
    }
    const int Result = FTriggers.SetStatus(Handle, Value, Active, Modem);
    // The status thread samples the modem lines only while they are watched.
    if (Result == 0 && Active && FTriggers.WatchesModemLines()) {
        std::lock_guard Guard(FGeneralLock);
        if (TSerialDevice* Dev = Device())
            Dev->Nudge();
    }
    return Result;
}

std::uint32_t TBaseDispatcher::LineEventMask() const
{
    return FTriggers.WatchesModemLines() ? evt::DefaultMask : evt::DefaultMask & ~evt::ModemEvents;
}

int TBaseDispatcher::RemoveTrigger(int Handle)
{
    return FTriggers.Remove(Handle);
}

TLineSnapshot TBaseDispatcher::LineSnapshot()
{
    TLineSnapshot Line;
    {
        std::lock_guard Guard(FGeneralLock);
        Line.ModemStatus = FModemStatus;
        Line.LineErrors = FLineErrors;
    }
    std::tie(Line.OutUsed, Line.OutCapacity) = FOutput.UsedAndCapacity();
    return Line;
}

bool TBaseDispatcher::CheckStatusTriggers()
{
    return FireTrigger(msg::TriggerStatus,
                       FTriggers.TakeFiredStatus([this] { return LineSnapshot(); }));
}

bool TBaseDispatcher::CheckTimerTriggers()
{
    return FireTrigger(msg::TriggerTimer, FTriggers.TakeExpiredTimer());
}

bool TBaseDispatcher::CheckDataTriggers()
{
    return FireTrigger(msg::TriggerData, FTriggers.TakeMatchedData(FRing));
}

bool TBaseDispatcher::FireTrigger(std::uint32_t Msg, int Handle)
{
    if (Handle == 0)
        return false;
    Notify(Msg, static_cast<std::uint32_t>(Handle), 0);
    return true;
}

} // namespace kelvalog
