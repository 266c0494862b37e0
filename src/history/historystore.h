#pragma once

#include "acquisition/trendstore.h"
#include "history/historytick.h"
#include "history/sqlite.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvalog {

// The history on disk, one SQLite file in WAL mode: every tick while on line
// as a row of its own (level 0), numbered on-line periods ("runs") so that
// gaps show, and the lowest and highest values of 8, 64 and 512 ticks of a
// run (levels 1 to 3, the trend's resolutions), written as they fill. Past
// its size limit the oldest rows of the finer levels go first; their buckets
// stay, so an old spike still shows at a coarser level. The coarsest level is
// never given up. Writers and readers may be in different processes.
class THistoryStore
{
public:
    static constexpr int LevelCount = TTrendStore::LevelCount;

    enum class TMode { Write, Read };
    // Raises EHistoryError when the file cannot be opened (or, for writing,
    // made). Opening for writing completes the buckets a killed program
    // left open.
    THistoryStore(const std::string& Path, TMode Mode);
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // A new on-line period from Time (microseconds); buckets of the last one
    // are written as they are.
    void BeginRun(std::int64_t Time);
    // The ticks in one transaction: all of them are kept, or none.
    void Append(std::span<const THistoryTick> Ticks);
    // Writes the buckets still filling (before closing).
    void Flush();
    // Gives up the oldest rows of the finer levels while the file uses more
    // than about nine tenths of LimitBytes. True when it gave something up.
    bool Thin(std::uint64_t LimitBytes);
    // Keeps the journal small enough for LimitBytes.
    void SetLimit(std::uint64_t LimitBytes);

    // Bytes of the file and its journal on disk.
    std::uint64_t FileBytes() const;
    // Rows of a level (0: ticks).
    std::uint64_t Rows(int Level);

    // The ticks from From to To (microseconds, inclusive) in time order with
    // their run; Visit returns false to stop.
    void ReadTicks(std::int64_t From, std::int64_t To,
                   const std::function<bool(const THistoryTick&, std::int64_t Run)>& Visit);
    std::uint64_t CountTicks(std::int64_t From, std::int64_t To);
    // When ticks from From on were given up (only their summaries are kept):
    // the time of the oldest tick still kept, or the maximum when none is.
    std::optional<std::int64_t> ThinnedFrom(std::int64_t From);

    // The newest Count buckets of a level (0: one per tick; all of them for
    // Count 0) in time order, times in milliseconds, with a break before
    // each one that starts a run.
    std::vector<TTrendBucket> Buckets(int Level, std::size_t Count);
    // Fills the trend's memory from the history.
    void SeedTrend(TTrendStore& Trend);

private:
    struct TOpenBucket
    {
        bool Used = false;
        std::int64_t Run = 0;
        TTrendBucket Bucket;
    };

    std::string FPath;
    TSqliteDatabase FDb;
    bool FWrite;
    std::int64_t FRun = 0;
    std::array<TOpenBucket, LevelCount> FOpen; // levels 1 to 3
    std::array<std::uint64_t, LevelCount> FRows{};
    bool FRowsKnown = false;
    std::unique_ptr<TSqliteStatement> FInsertTick;
    std::unique_ptr<TSqliteStatement> FInsertBucket;

    void CreateSchema();
    void Recover();
    void CountRows();
    void Fold(int Level, const TTrendBucket& Part, std::int64_t Run);
    void WriteBucket(int Level, const TOpenBucket& Open);
    void InsertTick(const THistoryTick& Tick);
    static std::uint32_t Factor(int Level);
};

} // namespace kelvalog
