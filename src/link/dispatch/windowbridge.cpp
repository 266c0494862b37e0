#include "link/dispatch/windowbridge.h"

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace kelvalog {

namespace {
std::atomic<TWindowBridge*> DefaultBridge{nullptr};
}

TWindowBridge* DefaultWindowBridge()
{
    return DefaultBridge.load(std::memory_order_acquire);
}

void SetDefaultWindowBridge(TWindowBridge* Bridge)
{
    DefaultBridge.store(Bridge, std::memory_order_release);
}

TCallBridge::TCallBridge() : FWindowThread(std::this_thread::get_id()) {}

TCallBridge::~TCallBridge()
{
    ShutDown();
    TWindowBridge* Self = this;
    DefaultBridge.compare_exchange_strong(Self, nullptr);
}

bool TCallBridge::IsWindowThread() const
{
    return std::this_thread::get_id() == FWindowThread;
}

TCallBridge::TJobPtr TCallBridge::Queue(std::function<void()> Call)
{
    auto Job = std::make_shared<TJob>();
    Job->Call = std::move(Call);
    {
        std::lock_guard Guard(FLock);
        if (FShutDown)
            return nullptr;
        FJobs.push_back(Job);
    }
    FChanged.notify_all();
    // Announced outside the jobs' lock: the window thread, woken by the
    // announcement, takes that lock at once, and would otherwise sleep again
    // until this thread let go of it. The lock of its own keeps a bridge that
    // shut down from seeing a call announced after it stopped.
    std::lock_guard Guard(FAnnounceLock);
    if (!FAnnounceClosed)
        JobQueued(Job);
    return Job;
}

bool TCallBridge::InvokeAndWait(std::function<void()> Call)
{
    return Deliver(std::move(Call), -1);
}

bool TCallBridge::Send(std::function<void()> Call, int TimeoutMs)
{
    return Deliver(std::move(Call), TimeoutMs < 0 ? 0 : TimeoutMs);
}

bool TCallBridge::Deliver(std::function<void()> Call, int TimeoutMs)
{
    if (IsWindowThread()) {
        Call();
        return true;
    }
    const TJobPtr Job = Queue(std::move(Call));
    if (!Job)
        return false;
    std::unique_lock Guard(FLock);
    const auto Finished = [&] {
        return Job->State == TJob::TState::Done || Job->State == TJob::TState::Dropped;
    };
    if (TimeoutMs < 0)
        FChanged.wait(Guard, Finished);
    else if (!FChanged.wait_for(Guard, std::chrono::milliseconds(TimeoutMs), Finished) &&
             Job->State == TJob::TState::Queued) {
        // Not started in time: passed over for good.
        Job->State = TJob::TState::Dropped;
        Job->Call = nullptr;
        std::erase(FJobs, Job);
    }
    return Job->State == TJob::TState::Done;
}

void TCallBridge::Post(std::function<void()> Call)
{
    Queue(std::move(Call));
}

bool TCallBridge::ClaimJob(const TJobPtr& Job)
{
    std::lock_guard Guard(FLock);
    if (Job->State != TJob::TState::Queued)
        return false;
    Job->State = TJob::TState::Running;
    std::erase(FJobs, Job);
    return true;
}

void TCallBridge::FinishJob(const TJobPtr& Job)
{
    {
        std::lock_guard Guard(FLock);
        if (Job->State == TJob::TState::Running)
            Job->State = TJob::TState::Done;
    }
    FChanged.notify_all();
}

void TCallBridge::HandleException(std::exception_ptr Error) noexcept
{
    std::function<void(std::exception_ptr)> Sink;
    {
        std::lock_guard Guard(FLock);
        Sink = FSink;
    }
    if (!Sink)
        return;
    try {
        Sink(Error);
    } catch (...) {
        // The sink is the last place an error can go; a waiting worker must
        // still be released.
    }
}

void TCallBridge::RunClaimed(const TJobPtr& Job) noexcept
{
    try {
        if (Job->Call)
            Job->Call();
    } catch (...) {
        HandleException(std::current_exception());
    }
    FinishJob(Job);
}

void TCallBridge::ProcessPending()
{
    while (ProcessOne()) {
    }
}

bool TCallBridge::ProcessOne()
{
    TJobPtr Job;
    {
        std::lock_guard Guard(FLock);
        if (FJobs.empty())
            return false;
        Job = FJobs.front();
    }
    if (ClaimJob(Job))
        RunClaimed(Job);
    return true;
}

void TCallBridge::WaitForCalls(int TimeoutMs)
{
    std::unique_lock Guard(FLock);
    FChanged.wait_for(Guard, std::chrono::milliseconds(TimeoutMs), [&] { return !FJobs.empty(); });
}

void TCallBridge::ReportThreadFailure(const std::string& Message)
{
    Post(
        [this, Message] { HandleException(std::make_exception_ptr(std::runtime_error(Message))); });
}

void TCallBridge::SetExceptionSink(std::function<void(std::exception_ptr)> Sink)
{
    std::lock_guard Guard(FLock);
    FSink = std::move(Sink);
}

void TCallBridge::ShutDown()
{
    if (IsWindowThread())
        ProcessPending();
    {
        std::lock_guard Guard(FAnnounceLock);
        FAnnounceClosed = true;
    }
    {
        std::lock_guard Guard(FLock);
        FShutDown = true;
        for (auto& Job : FJobs)
            Job->State = TJob::TState::Dropped;
        FJobs.clear();
    }
    FChanged.notify_all();
}

} // namespace kelvalog
