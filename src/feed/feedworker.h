#pragma once

#include "feed/feedsink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kelvalog {

// What the window shows of a feed.
struct TFeedStatus
{
    std::uint64_t Delivered = 0; // ticks acknowledged since the start
    std::uint64_t Behind = 0;    // ticks stored and not delivered yet
    std::string Error;           // why the last try failed; empty once one succeeds
    int RetryIn = 0;             // seconds until the next try after a failure
};

struct TFeedPace
{
    // Ticks in one delivery while catching up.
    std::size_t MaxBatch = 500;
    // Ticks per second at most while catching up, so that a day of backlog
    // never takes a core from the window.
    std::size_t MaxRate = 5000;
    // How often the history is looked at for new ticks.
    std::chrono::milliseconds Poll{1000};
    // Waits after failures: doubled from First up to Last.
    std::chrono::milliseconds FirstRetry{1000};
    std::chrono::milliseconds LastRetry{60000};
};

// Delivers the history's ticks after the feed's cursor to its sink, in
// order, on a thread of its own; the cursor moves only past acknowledged
// ticks. Failures are retried with a growing wait and never lost.
class TFeedWorker
{
public:
    TFeedWorker(std::string HistoryPath, std::string Feed, std::unique_ptr<TFeedSink> Sink,
                TFeedPace Pace = {});
    ~TFeedWorker();
    TFeedWorker(const TFeedWorker&) = delete;
    TFeedWorker& operator=(const TFeedWorker&) = delete;

    // New ticks were stored: look now rather than at the next poll.
    void Wake();
    TFeedStatus Status() const;

private:
    const std::string FPath;
    const std::string FFeed;
    std::unique_ptr<TFeedSink> FSink; // used on the thread only
    const TFeedPace FPace;
    mutable std::mutex FLock;
    std::condition_variable FWakeUp;
    bool FStop = false;                // guarded by FLock
    std::atomic<bool> FClosing{false}; // the sink's view of FStop
    bool FWoken = false;               // guarded by FLock
    TFeedStatus FStatus;               // guarded by FLock
    std::thread FThread;

    void Run();
    // Waits for Time or a stop; false on a stop.
    bool Sleep(std::chrono::milliseconds Time, bool Wakeable);
    void Fail(const std::string& Error, std::chrono::milliseconds Retry);
};

// The status bar's text of a feed's status ("MQTT", "Influx"); empty when all is well.
std::string FeedStatusText(const std::string& Feed, const TFeedStatus& Status);

} // namespace kelvalog
