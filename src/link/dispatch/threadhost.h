#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kelvalog {

// What the worker threads need of their dispatcher besides its parts.
class TThreadHost
{
public:
    // Set when the threads are to end.
    virtual const std::atomic<bool>& StopFlag() const = 0;
    bool StopRequested() const { return StopFlag().load(); }
    // A thread ends with Code (DeviceLost: the device failed under it).
    virtual void ThreadFailed(int Code, bool DeviceLost) = 0;
    virtual void ThreadEnded() = 0;
    // Read thread: the input queue dropped Bytes.
    virtual void InputDropped(std::size_t Bytes) = 0;
    // Dispatch thread: its loop, until the threads stop.
    virtual void RunDispatch() = 0;
    // Status thread: the line events to wait for.
    virtual std::uint32_t LineEventMask() const = 0;

protected:
    ~TThreadHost() = default;
};

} // namespace kelvalog
