#include "feed/feedworker.h"

#include "feed/feedcursor.h"

#include <algorithm>

namespace kelvalog {

TFeedWorker::TFeedWorker(std::string HistoryPath, std::string Feed, std::unique_ptr<TFeedSink> Sink,
                         TFeedPace Pace)
    : FPath(std::move(HistoryPath)), FFeed(std::move(Feed)), FSink(std::move(Sink)), FPace(Pace)
{
    FSink->SetStop(&FClosing);
    FThread = std::thread([this] { Run(); });
}

TFeedWorker::~TFeedWorker()
{
    {
        std::lock_guard Guard(FLock);
        FStop = true;
    }
    FClosing = true;
    FWakeUp.notify_all();
    FThread.join();
}

void TFeedWorker::Wake()
{
    {
        std::lock_guard Guard(FLock);
        FWoken = true;
    }
    FWakeUp.notify_all();
}

TFeedStatus TFeedWorker::Status() const
{
    std::lock_guard Guard(FLock);
    return FStatus;
}

bool TFeedWorker::Sleep(std::chrono::milliseconds Time, bool Wakeable)
{
    std::unique_lock Guard(FLock);
    FWakeUp.wait_for(Guard, Time, [this, Wakeable] { return FStop || (Wakeable && FWoken); });
    FWoken = false;
    return !FStop;
}

void TFeedWorker::Fail(const std::string& Error, std::chrono::milliseconds Retry)
{
    std::lock_guard Guard(FLock);
    FStatus.Error = Error;
    FStatus.RetryIn = static_cast<int>((Retry.count() + 999) / 1000);
}

void TFeedWorker::Run()
{
    std::unique_ptr<TFeedCursor> Cursor;
    auto Retry = FPace.FirstRetry;
    auto Backoff = [this, &Retry](const std::string& Error) {
        Fail(Error, Retry);
        const auto Wait = Retry;
        Retry = std::min(Retry * 2, FPace.LastRetry);
        return Sleep(Wait, false);
    };
    for (;;) {
        std::vector<THistoryTick> Ticks;
        std::uint64_t Behind = 0;
        try {
            if (!Cursor)
                Cursor = std::make_unique<TFeedCursor>(FPath, FFeed);
            Ticks = Cursor->Next(FPace.MaxBatch);
            if (!Ticks.empty())
                Behind = Cursor->Behind();
        } catch (const EHistoryError& E) {
            Cursor.reset();
            if (!Backoff("the history cannot be read (" + E.Cause() + ")"))
                return;
            continue;
        }
        if (Ticks.empty()) {
            if (!Sleep(FPace.Poll, true))
                return;
            continue;
        }
        {
            std::lock_guard Guard(FLock);
            FStatus.Behind = Behind;
        }
        const auto Began = std::chrono::steady_clock::now();
        std::string Error;
        if (!FSink->Deliver(Ticks, Error)) {
            FSink->Drop();
            if (!Backoff(Error))
                return;
            continue;
        }
        try {
            Cursor->Advance(Ticks.back().Time);
        } catch (const EHistoryError& E) {
            // Delivered again after the retry: at least once, never lost.
            Cursor.reset();
            if (!Backoff("its place cannot be stored (" + E.Cause() + ")"))
                return;
            continue;
        }
        Retry = FPace.FirstRetry;
        {
            std::lock_guard Guard(FLock);
            FStatus.Delivered += Ticks.size();
            FStatus.Behind = Behind - std::min<std::uint64_t>(Behind, Ticks.size());
            FStatus.Error.clear();
            FStatus.RetryIn = 0;
        }
        if (Ticks.size() == FPace.MaxBatch && FPace.MaxRate > 0) {
            // Catching up: no faster than the pace allows.
            const auto Due = std::chrono::microseconds(Ticks.size() * 1'000'000 / FPace.MaxRate);
            const auto Spent = std::chrono::steady_clock::now() - Began;
            if (Spent < Due &&
                !Sleep(std::chrono::duration_cast<std::chrono::milliseconds>(Due - Spent), false))
                return;
        }
    }
}

std::string FeedStatusText(const std::string& Feed, const TFeedStatus& Status)
{
    if (Status.Error.empty())
        return {};
    // The same text for every retry of the same fault: shown once.
    return Feed + ": " + Status.Error + "; trying again";
}

} // namespace kelvalog
