#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kelvalog {

class TBaseDispatcher;
class TSerialDevice;

// A worker thread bound to one dispatcher. It counts itself in when it starts
// and out when it ends; the dispatcher joins it.
class TDispatcherThread
{
public:
    explicit TDispatcherThread(TBaseDispatcher& Owner) : FOwner(Owner) {}
    virtual ~TDispatcherThread();
    TDispatcherThread(const TDispatcherThread&) = delete;
    TDispatcherThread& operator=(const TDispatcherThread&) = delete;

    // Starts the thread and waits up to TimeoutMs until it runs.
    bool Start(int TimeoutMs);
    bool Finished() const { return FFinished.load(); }
    bool Joinable() const { return FThread.joinable(); }
    void Join();

protected:
    TBaseDispatcher& FOwner;
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
    TDeviceThread(TBaseDispatcher& Owner, TSerialDevice& Device)
        : TDispatcherThread(Owner), FDevice(Device)
    {
    }

protected:
    TSerialDevice& FDevice;
};

class TReadThread : public TDeviceThread
{
public:
    using TDeviceThread::TDeviceThread;

protected:
    int Execute() override;
};

class TWriteThread : public TDeviceThread
{
public:
    using TDeviceThread::TDeviceThread;

protected:
    int Execute() override;
};

class TStatusThread : public TDeviceThread
{
public:
    using TDeviceThread::TDeviceThread;

protected:
    int Execute() override;
};

} // namespace kelvalog
