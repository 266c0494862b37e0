#include "history/historywriter.h"

#include "history/historystore.h"

#include <memory>
#include <vector>

namespace kelvalog {

namespace {

// Ticks written in one transaction at most, when many wait.
constexpr std::size_t BatchTicks = 4096;

} // namespace

THistoryWriter::THistoryWriter(std::string Path, std::uint64_t LimitBytes,
                               std::chrono::milliseconds RetryInterval)
    : FPath(std::move(Path)), FLimit(LimitBytes), FRetry(RetryInterval)
{
    FThread = std::thread([this] { Run(); });
}

THistoryWriter::~THistoryWriter()
{
    {
        const std::lock_guard<std::mutex> Lock(FLock);
        FStop = true;
    }
    FWake.notify_one();
    FThread.join();
}

void THistoryWriter::BeginRun(std::int64_t Time)
{
    {
        const std::lock_guard<std::mutex> Lock(FLock);
        TJob Job;
        Job.NewRun = true;
        Job.Tick.Time = Time;
        FQueue.push_back(Job);
    }
    FWake.notify_one();
}

void THistoryWriter::Push(const THistoryTick& Tick)
{
    {
        const std::lock_guard<std::mutex> Lock(FLock);
        FQueue.push_back({false, Tick});
        ++FStatus.Waiting;
    }
    FWake.notify_one();
}

THistoryStatus THistoryWriter::Status() const
{
    const std::lock_guard<std::mutex> Lock(FLock);
    return FStatus;
}

void THistoryWriter::Run()
{
    std::unique_ptr<THistoryStore> Store;
    THistoryStore* Open = nullptr;
    std::deque<TJob> Backlog;
    std::size_t BacklogTicks = 0;
    for (;;) {
        bool Stop = false;
        {
            std::unique_lock<std::mutex> Lock(FLock);
            auto Due = [this] { return FStop || !FQueue.empty(); };
            if (BacklogTicks == 0)
                FWake.wait(Lock, Due);
            else
                FWake.wait_for(Lock, FRetry, Due);
            for (TJob& Job : FQueue) {
                BacklogTicks += Job.NewRun ? 0 : 1;
                Backlog.push_back(std::move(Job));
            }
            FQueue.clear();
            // Past the bound the oldest waiting ticks are given up.
            while (BacklogTicks > MaxWaiting) {
                if (!Backlog.front().NewRun) {
                    --BacklogTicks;
                    --FStatus.Waiting;
                    ++FStatus.Lost;
                }
                Backlog.pop_front();
            }
            Stop = FStop;
        }
        std::string Error;
        std::size_t Written = 0;
        try {
            if (!Store) {
                Store = std::make_unique<THistoryStore>(FPath, THistoryStore::TMode::Write);
                Store->SetLimit(FLimit);
                Open = Store.get();
            }
            while (!Backlog.empty()) {
                if (Backlog.front().NewRun) {
                    Open->BeginRun(Backlog.front().Tick.Time);
                    Backlog.pop_front();
                    continue;
                }
                std::vector<THistoryTick> Batch;
                while (Batch.size() < Backlog.size() && Batch.size() < BatchTicks &&
                       !Backlog[Batch.size()].NewRun)
                    Batch.push_back(Backlog[Batch.size()].Tick);
                Open->Append(Batch);
                Backlog.erase(Backlog.begin(), Backlog.begin() + std::ptrdiff_t(Batch.size()));
                BacklogTicks -= Batch.size();
                Written += Batch.size();
            }
        } catch (const EHistoryError& E) {
            Error = E.Cause();
        } catch (const std::exception& E) {
            Error = E.what();
        } catch (...) {
            Error = "unknown failure";
        }
        if (Error.empty() && Written > 0) {
            try {
                Open->Thin(FLimit);
            } catch (const std::exception&) {
                // Tried again after the next tick.
            }
        }
        {
            const std::lock_guard<std::mutex> Lock(FLock);
            FStatus.Stored += Written;
            FStatus.Waiting -= Written;
            if (Error.empty() && BacklogTicks == 0)
                FStatus.Error.clear();
            else if (!Error.empty())
                FStatus.Error = Error;
        }
        if (Stop)
            break;
    }
    if (Store) {
        try {
            Store->Flush();
        } catch (const std::exception&) {
            // The next start completes the buckets from the ticks.
        }
    }
}

std::string HistoryStatusText(const THistoryStatus& Status)
{
    std::string Text;
    if (!Status.Error.empty())
        Text = "History: " + std::to_string(Status.Waiting) + " ticks waiting to be stored";
    else if (Status.Waiting > 10)
        Text = "History: the disk is slow, " + std::to_string(Status.Waiting) + " ticks waiting";
    if (Status.Lost > 0)
        Text +=
            (Text.empty() ? "History: " : ", ") + std::to_string(Status.Lost) + " ticks given up";
    if (!Status.Error.empty())
        Text += " (" + Status.Error + ")";
    return Text;
}

} // namespace kelvalog
