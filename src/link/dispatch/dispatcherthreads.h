#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "link/dispatch/threadhost.h"

namespace kelvalog {

class TIOQueue;
class TOutputQueue;
class TSerialDevice;
class TWakeBytes;

// Switches the calling thread between batch and normal scheduling.
void SetBatchScheduling(bool Batch);

// A worker thread bound to one dispatcher. It counts itself in when it starts
// and out when it ends; the dispatcher joins it.
class TDispatcherThread
{
public:
    explicit TDispatcherThread(TThreadHost& Host) : FHost(Host) {}
    virtual ~TDispatcherThread();
    TDispatcherThread(const TDispatcherThread&) = delete;
    TDispatcherThread& operator=(const TDispatcherThread&) = delete;

    // Starts the thread and waits up to TimeoutMs until it runs.
    bool Start(int TimeoutMs);
    bool Finished() const { return FFinished.load(); }
    bool Joinable() const { return FThread.joinable(); }
    void Join();

protected:
    TThreadHost& FHost;
    // The thread's work; returns 0 or the error it ends with.
    virtual int Execute() = 0;

private:
    std::thread FThread;
    std::mutex FLock;
    std::condition_variable FStarted;
    bool FRunning = false;
    std::atomic<bool> FFinished{false};
    void Run();
};

class TDispThread : public TDispatcherThread
{
public:
    using TDispatcherThread::TDispatcherThread;

protected:
    int Execute() override;
};

// A thread that works the device.
class TDeviceThread : public TDispatcherThread
{
public:
    TDeviceThread(TThreadHost& Host, TSerialDevice& Device)
        : TDispatcherThread(Host), FDevice(Device)
    {
    }

protected:
    TSerialDevice& FDevice;
};

// Reads the device into the input queue.
class TReadThread : public TDeviceThread
{
public:
    TReadThread(TThreadHost& Host, TSerialDevice& Device, TIOQueue& Queue,
                const TWakeBytes& WakeBytes)
        : TDeviceThread(Host, Device), FQueue(Queue), FWakeBytes(WakeBytes)
    {
    }
    // The most one read takes: a terminal's line discipline holds 4 KB.
    static constexpr std::size_t ReadChunk = 4096;

protected:
    int Execute() override;

private:
    TIOQueue& FQueue;
    const TWakeBytes& FWakeBytes;
    // Appends the bytes of one read to the input queue in queue buffers,
    // telling the dispatch thread of every 8 KB. 0, or the error
    // code that ends the thread.
    int Queue(const std::uint8_t* Bytes, std::size_t Size);
    // Tells the dispatch thread of the bytes queued so far.
    void Tell();
    // What to do after a read of Burst bytes holding Ends wake bytes: sleep
    // that long and read, or, with Watch, wait for the next bytes, since a
    // line's end is due now.
    struct TNextRead
    {
        std::chrono::microseconds Pause{0};
        bool Watch = false;
    };
    // Watched: the bytes were read as they came.
    TNextRead NextRead(std::size_t Burst, std::size_t Ends, bool Watched);
    // Keeps the time of the line ends read now.
    void LineEndRead(std::chrono::steady_clock::time_point Now, std::size_t Ends, bool Watched);

    // Bytes queued that the dispatch thread has not been told of, and since when.
    std::size_t FUntold = 0;
    std::chrono::steady_clock::time_point FUntoldSince;
    // When the last line ended (measured, or taken as due), and the last
    // measured gaps between line ends (zero: not seen yet).
    std::chrono::steady_clock::time_point FLastEnd;
    std::array<std::chrono::steady_clock::duration, 4> FEndGaps{};
    std::size_t FEndGapNext = 0;
    // The last line end whose time was measured, the ends taken as due
    // since then, and all ends since then.
    std::chrono::steady_clock::time_point FLastSeen;
    int FTakenSinceSeen = 0;
    int FEndsSinceSeen = 0;
    // Whether the read after the coming sleep is to find a whole line (the
    // sleep ends just after the line's end is due) or to watch for its end.
    bool FAfterDue = false;
    // How far from a line's due end the sleep ends: about half a character
    // at 9,600 baud, more after ends that came before it.
    static constexpr std::chrono::microseconds MinMargin{500};
    std::chrono::microseconds FMargin = MinMargin;
};

// Writes the output queue to the device.
class TWriteThread : public TDeviceThread
{
public:
    TWriteThread(TThreadHost& Host, TSerialDevice& Device, TOutputQueue& Output)
        : TDeviceThread(Host, Device), FOutput(Output)
    {
    }

protected:
    int Execute() override;

private:
    TOutputQueue& FOutput;
};

// Queues the device's line events.
class TStatusThread : public TDeviceThread
{
public:
    TStatusThread(TThreadHost& Host, TSerialDevice& Device, TIOQueue& Queue)
        : TDeviceThread(Host, Device), FQueue(Queue)
    {
    }

protected:
    int Execute() override;

private:
    TIOQueue& FQueue;
};

} // namespace kelvalog
