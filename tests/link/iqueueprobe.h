#pragma once

// Lets a test watch every item appended to an input queue.

#include "link/dispatch/iqueue.h"

#include <functional>
#include <mutex>
#include <utility>

namespace kelvalog {

class TIOQueueProbe
{
public:
    // Observer runs under the queue's lock, on the appending thread.
    static void WatchAppends(TIOQueue& Queue, std::function<void(const TIOBuffer&)> Observer)
    {
        std::lock_guard Guard(Queue.FLock);
        Queue.FObserver = std::move(Observer);
    }
};

} // namespace kelvalog
