#pragma once

#include "acquisition/channel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvalog {

// What one sampling tick leaves for the trend: per channel the sample and the
// filtered value, NaN where there is none (an invalid channel, no filter).
struct TTrendTick
{
    std::int64_t Time = 0; // milliseconds since the epoch
    std::array<float, ChannelCount> Sample{};
    std::array<float, ChannelCount> Filtered{};
};

enum class TTrendSeries { Sample, Filtered };

// A point of a drawn line; a NaN value breaks the line there.
struct TTrendPoint
{
    std::int64_t Time = 0;
    float Value = 0.0f;
};

struct TTrendRange
{
    float Min = 0.0f;
    float Max = 0.0f;
};

// The lowest and highest value of each series over a run of ticks: channels
// 0-7 sampled, then channels 0-7 filtered; NaN where none had a value.
struct TTrendBucket
{
    static constexpr int RangeCount = 2 * ChannelCount;
    std::int64_t First = 0; // time of its first and last tick
    std::int64_t Last = 0;
    std::uint32_t Ticks = 0;
    bool BreakBefore = false;
    std::uint16_t MaxFirst = 0; // bit i: range i reached its top before its bottom
    std::array<float, RangeCount> Min{};
    std::array<float, RangeCount> Max{};

    // A bucket of one tick.
    static TTrendBucket Of(const TTrendTick& Tick);
    void Fold(const TTrendTick& Tick);
    // Earlier and Later adjoin in time.
    static TTrendBucket Merge(const TTrendBucket& Earlier, const TTrendBucket& Later);
};

// The trend's memory: every tick since the first going on line, kept at a
// few resolutions so that the recent past stays sharp while the whole run
// fits in a fixed budget. Each coarser bucket keeps the lowest and highest
// value of the ticks it stands for, so peaks survive; the very first and the
// newest tick are kept exactly. No Qt: the window reads it through Extract.
class TTrendStore
{
public:
    // Buckets per resolution; the ticks one bucket stands for grow by
    // LevelFactor from one resolution to the next, and the coarsest one
    // doubles its bucket whenever it fills, so it always covers the whole run.
    static constexpr std::size_t LevelCapacity = 4096;
    static constexpr int LevelCount = 4;
    static constexpr std::uint32_t LevelFactor = 8;

    TTrendStore();

    void Append(const TTrendTick& Tick);
    // The link went off line: the next tick starts a new stretch, and no line
    // joins the two.
    void Break();

    bool Empty() const { return FTicks == 0; }
    std::uint64_t TickCount() const { return FTicks; }
    const TTrendTick& FirstTick() const { return FFirst; }
    const TTrendTick& LastTick() const { return FLast; }

    // The points of one series between From and To (inclusive) for a plot
    // Columns wide: at most the lowest and the highest value per column, in
    // time order, with a NaN point wherever the line must break. The first
    // and the newest tick come out exactly when they lie in the span.
    void Extract(int Channel, TTrendSeries Series, std::int64_t From, std::int64_t To, int Columns,
                 std::vector<TTrendPoint>& Out) const;

    // The value (a range where a bucket stands for several ticks) of a series
    // at a time; none in a gap or outside the run.
    std::optional<TTrendRange> ValueAt(int Channel, TTrendSeries Series, std::int64_t Time) const;

    // Starts over from buckets kept elsewhere (the history on disk), per
    // resolution the newest ones in time order, each resolution ending at
    // the same tick; Ticks is the number of ticks they stand for and Last
    // the newest tick. The next tick starts a new stretch.
    void Seed(const std::array<std::vector<TTrendBucket>, LevelCount>& Levels, std::uint64_t Ticks,
              const TTrendTick& Last);

    // Bytes held by the buckets, reserved or used.
    std::size_t MemoryBytes() const;
    // Ticks a bucket of a resolution stands for (0 finest).
    std::uint32_t BucketTicks(int Level) const { return FLevels[Level].Factor; }

private:
    using TBucket = TTrendBucket;

    struct TLevel
    {
        std::vector<TBucket> Buckets; // a ring once full, unless it is the last
        std::size_t Head = 0;
        std::size_t Count = 0;
        std::uint32_t Factor = 1;
        bool Open = false;         // the newest bucket still takes ticks
        bool Dropped = false;      // its oldest buckets were given up
        bool PendingBreak = false; // the next tick starts a new bucket after a gap

        const TBucket& At(std::size_t I) const { return Buckets[(Head + I) % Buckets.size()]; }
        TBucket& At(std::size_t I) { return Buckets[(Head + I) % Buckets.size()]; }
    };

    std::array<TLevel, LevelCount> FLevels;
    std::uint64_t FTicks = 0;
    TTrendTick FFirst;
    TTrendTick FLast;

    void AppendTo(TLevel& Level, bool Last, const TTrendTick& Tick);
    static void HalveLevel(TLevel& Level);
    // The finest resolution that still holds the given time.
    const TLevel& LevelFor(std::int64_t Time) const;
    // The first bucket of a level whose last tick is at or after Time.
    static std::size_t LowerBound(const TLevel& Level, std::int64_t Time);
};

} // namespace kelvalog
