#include "link/dispatch/handlerlist.h"

#include <algorithm>

namespace kelvalog {

int THandlerList::Add(THandlerKind Kind, TNotifyHandler Call, bool HandOff)
{
    std::lock_guard Guard(FLock);
    FHandlers.push_back({FNextId, Kind, std::move(Call), HandOff, false});
    FServiceNeeded = true;
    return FNextId++;
}

void THandlerList::Remove(int Id)
{
    std::lock_guard Guard(FLock);
    const auto It = std::find_if(FHandlers.begin(), FHandlers.end(),
                                 [Id](const auto& H) { return H.Id == Id; });
    if (It == FHandlers.end())
        return;
    if (FInService) {
        It->Removed = true;
        FRemovalPending = true;
    } else {
        FHandlers.erase(It);
    }
}

void THandlerList::SetPortHandlerInstalled(bool Installed)
{
    std::lock_guard Guard(FLock);
    FPortHandlerInstalled = Installed;
}

void THandlerList::SetWindowAvailPaced(bool Paced)
{
    std::lock_guard Guard(FLock);
    FWindowAvailPaced = Paced;
}

void THandlerList::SetWindowAvailHeld(bool Held)
{
    std::lock_guard Guard(FLock);
    FWindowAvailHeld = Held;
}

void THandlerList::ResetPacing()
{
    std::lock_guard Guard(FLock);
    FWindowAvailSent = false;
}

bool THandlerList::WindowAvailDueLocked()
{
    if (!FWindowAvailPaced)
        return true;
    if (FWindowAvailHeld)
        return false;
    const std::uint32_t Now = FClock.Ticks();
    if (FWindowAvailSent && Now == FWindowAvailTick)
        return false;
    FWindowAvailSent = true;
    FWindowAvailTick = Now;
    return true;
}

bool THandlerList::BeginService(bool Avail, std::vector<THandler>& Handlers, bool& SendToWindows)
{
    std::lock_guard Guard(FLock);
    if (!FServiceNeeded || FHandlers.empty())
        return false;
    FInService = true;
    Handlers = FHandlers;
    const auto Windows = std::count_if(FHandlers.begin(), FHandlers.end(), [](const auto& H) {
        return H.Kind == THandlerKind::Window;
    });
    SendToWindows = (Windows > 1 || FPortHandlerInstalled) && (!Avail || WindowAvailDueLocked());
    return true;
}

bool THandlerList::StillWanted(int Id) const
{
    std::lock_guard Guard(FLock);
    const auto It = std::find_if(FHandlers.begin(), FHandlers.end(),
                                 [Id](const auto& H) { return H.Id == Id; });
    return It != FHandlers.end() && !It->Removed;
}

void THandlerList::EndService()
{
    std::lock_guard Guard(FLock);
    FInService = false;
    if (FRemovalPending) {
        std::erase_if(FHandlers, [](const auto& H) { return H.Removed; });
        FRemovalPending = false;
    }
}

bool THandlerList::InService() const
{
    std::lock_guard Guard(FLock);
    return FInService;
}

} // namespace kelvalog
