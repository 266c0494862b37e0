#pragma once

#include "history/historytick.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace kelvalog {

// What the window shows of the history's writing.
struct THistoryStatus
{
    std::uint64_t Stored = 0;  // ticks written since the start
    std::uint64_t Waiting = 0; // ticks given and not written yet
    std::uint64_t Lost = 0;    // ticks given up: more were waiting than it keeps
    std::string Error;         // why the last write failed; empty once one succeeds
};

// Writes the history on a thread of its own, so that the window's tick only
// queues: a full or slow disk never holds up sampling or the logs. Ticks that
// cannot be written wait (up to MaxWaiting, then the oldest are given up) and
// are tried again every RetryInterval and with each new tick. All that waits
// is written in one transaction.
class THistoryWriter
{
public:
    static constexpr std::size_t MaxWaiting = 100000;

    // Opens the file on the writer thread; LimitBytes bounds it.
    THistoryWriter(std::string Path, std::uint64_t LimitBytes,
                   std::chrono::milliseconds RetryInterval = std::chrono::seconds(1));
    // Writes what waits (giving up after the retry interval when the disk
    // refuses) and closes the file.
    ~THistoryWriter();
    THistoryWriter(const THistoryWriter&) = delete;
    THistoryWriter& operator=(const THistoryWriter&) = delete;

    // From the window thread; neither touches the disk.
    void BeginRun(std::int64_t Time);
    void Push(const THistoryTick& Tick);
    THistoryStatus Status() const;

private:
    struct TJob
    {
        bool NewRun = false;
        THistoryTick Tick;
    };

    const std::string FPath;
    const std::uint64_t FLimit;
    const std::chrono::milliseconds FRetry;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TJob> FQueue; // guarded by FLock
    bool FStop = false;      // guarded by FLock
    THistoryStatus FStatus;  // guarded by FLock
    std::thread FThread;

    void Run();
};

// The status bar's text for a status; empty when all is well.
std::string HistoryStatusText(const THistoryStatus& Status);

} // namespace kelvalog
