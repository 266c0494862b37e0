#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kelvalog {

// How worker threads reach the window thread: a call handed over and waited
// for, a call sent with a time limit, a call posted. The window thread runs
// the calls while it processes its events, and also while it waits for worker
// threads (ProcessPending), so a worker waiting for it never deadlocks it.
class TWindowBridge
{
public:
    virtual ~TWindowBridge() = default;

    virtual bool IsWindowThread() const = 0;
    // Runs Call on the window thread and waits until it has run. False when
    // the bridge shut down before it ran. On the window thread Call runs at once.
    virtual bool InvokeAndWait(std::function<void()> Call) = 0;
    // Runs Call on the window thread, waiting at most TimeoutMs. A call not
    // started by then is dropped; one already running finishes on its own.
    // True when it ran to its end in time.
    virtual bool Send(std::function<void()> Call, int TimeoutMs) = 0;
    virtual void Post(std::function<void()> Call) = 0;
    // Window thread: runs the calls queued so far.
    virtual void ProcessPending() = 0;
    // Window thread: waits up to TimeoutMs until a call is queued.
    virtual void WaitForCalls(int TimeoutMs) = 0;
    // The message of an exception that ended a worker thread; shown on the
    // window thread. Only the text crosses threads.
    virtual void ReportThreadFailure(const std::string& Message) = 0;
};

// The bridge dispatchers use when they are given none (the GUI bridge sets
// itself here). Null: calls run directly on the calling thread.
TWindowBridge* DefaultWindowBridge();
void SetDefaultWindowBridge(TWindowBridge* Bridge);

// A bridge whose window thread is the thread that created it; that thread runs
// the calls through ProcessPending. Base of the GUI bridge, and the bridge of
// tests without an event loop.
class TCallBridge : public TWindowBridge
{
public:
    TCallBridge();
    ~TCallBridge() override;

    bool IsWindowThread() const override;
    bool InvokeAndWait(std::function<void()> Call) override;
    bool Send(std::function<void()> Call, int TimeoutMs) override;
    void Post(std::function<void()> Call) override;
    void ProcessPending() override;
    void WaitForCalls(int TimeoutMs) override;
    // Passes the failure to the sink as a std::runtime_error.
    void ReportThreadFailure(const std::string& Message) override;

    // Where exceptions of calls run by the bridge go (the application's
    // handler); without a sink they are dropped.
    void SetExceptionSink(std::function<void(std::exception_ptr)> Sink);
    // Runs the queued calls and refuses new ones; waiting workers return.
    void ShutDown();

protected:
    struct TJob
    {
        enum class TState { Queued, Running, Done, Dropped };
        std::function<void()> Call;
        TState State = TState::Queued;
    };
    using TJobPtr = std::shared_ptr<TJob>;

    // A job was queued (any thread, never after ShutDown began; must not call
    // back into the bridge); the GUI bridge schedules its running here.
    virtual void JobQueued(const TJobPtr&) {}
    // Runs a queued job on the window thread; false when it was taken already.
    bool ClaimJob(const TJobPtr& Job);
    void FinishJob(const TJobPtr& Job);
    void RunClaimed(const TJobPtr& Job) noexcept;
    // Runs the oldest queued call; false when none was queued.
    bool ProcessOne();
    void HandleException(std::exception_ptr Error) noexcept;

private:
    std::thread::id FWindowThread;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TJobPtr> FJobs;
    bool FShutDown = false;
    std::function<void(std::exception_ptr)> FSink;
    // Guards the announcing of queued jobs against a bridge shutting down.
    std::mutex FAnnounceLock;
    bool FAnnounceClosed = false;

    TJobPtr Queue(std::function<void()> Call);
    // Runs the call on the window thread and waits, without a limit when
    // TimeoutMs is negative; true when it ran.
    bool Deliver(std::function<void()> Call, int TimeoutMs);
};

} // namespace kelvalog
