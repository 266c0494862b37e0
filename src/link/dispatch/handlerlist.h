#pragma once

#include "common/tickclock.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kelvalog {

// A notification: message, first parameter, second parameter (the low half as
// given, the dispatcher number in the upper 16 bits).
using TNotifyHandler =
    std::function<void(std::uint32_t Msg, std::uint32_t WParam, std::uint32_t LParam)>;

enum class THandlerKind { Window, Event, Proc };

// The handlers a dispatcher notifies, and whether a notification (a service)
// is under way: a handler removed during one stays listed until it ends.
class THandlerList
{
public:
    struct THandler
    {
        int Id = 0;
        THandlerKind Kind = THandlerKind::Proc;
        TNotifyHandler Call;
        bool HandOff = false;
        bool Removed = false;
    };

    explicit THandlerList(const TTickClock& Clock) : FClock(Clock) {}

    // An id for the removal.
    int Add(THandlerKind Kind, TNotifyHandler Call, bool HandOff);
    void Remove(int Id);
    void SetPortHandlerInstalled(bool Installed);
    void SetWindowAvailPaced(bool Paced);
    void SetWindowAvailHeld(bool Held);
    // At an opening: window handlers hear of the next data at once.
    void ResetPacing();

    // Starts a service of a notification (Avail: of data available) and
    // copies the handlers into Handlers; false when nobody listens.
    // SendToWindows: the window handlers are to hear of it.
    bool BeginService(bool Avail, std::vector<THandler>& Handlers, bool& SendToWindows);
    bool StillWanted(int Id) const;
    void EndService();
    bool InService() const;

private:
    const TTickClock& FClock;
    mutable std::mutex FLock;
    std::vector<THandler> FHandlers;
    int FNextId = 1;
    bool FInService = false;
    bool FRemovalPending = false;
    bool FServiceNeeded = false;
    bool FPortHandlerInstalled = false;
    // Tick of the last data-available notification sent to window handlers.
    std::uint32_t FWindowAvailTick = 0;
    bool FWindowAvailSent = false;
    bool FWindowAvailPaced = false;
    bool FWindowAvailHeld = false;

    // Whether window handlers are to hear of this data-available notification.
    bool WindowAvailDueLocked();
};

} // namespace kelvalog
