// The history store on its own: a year of ticks past its size limit, and a
// program killed with buckets still filling.

#include "history/historystore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

using namespace kelvalog;

namespace {

constexpr std::int64_t Second = 1'000'000;
constexpr std::int64_t Minute = 60 * Second;
constexpr std::int64_t Day = 24 * 60 * Minute;
constexpr std::int64_t Start = 1'700'000'000LL * Second;

class TFolder
{
public:
    TFolder()
        : Path(std::filesystem::temp_directory_path() /
               ("kelvalog-history-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(Path);
    }
    ~TFolder() { std::filesystem::remove_all(Path); }
    std::string File(const char* Name) const { return (Path / Name).string(); }
    std::filesystem::path Path;
};

THistoryTick Tick(std::int64_t Time, float Value)
{
    THistoryTick T;
    T.Time = Time;
    T.Board = 0;
    T.Filter = 1;
    T.Valid = 0x1f;
    for (int I = 0; I < 5; ++I) {
        T.Sample[I] = Value + float(I);
        T.Filtered[I] = Value + float(I) + 0.5f;
    }
    return T;
}

} // namespace

// A year of minute ticks into a store limited to 4 MB: the file stays under
// the limit, the last week is there tick by tick, and a one-tick spike from
// months ago still shows at the coarse level, in the store and in the trend
// filled from it.
TEST(HistoryStore, AYearPastItsLimitKeepsTheRecentDaysAndAnOldSpike)
{
    TFolder Folder;
    const std::uint64_t Limit = 4u << 20;
    const std::int64_t Spike = Start + 100 * Day + 7 * Minute;
    {
        THistoryStore Store(Folder.File("h.sqlite"), THistoryStore::TMode::Write);
        Store.SetLimit(Limit);
        Store.BeginRun(Start);
        std::vector<THistoryTick> Batch;
        for (std::int64_t T = Start; T < Start + 365 * Day; T += Minute) {
            Batch.push_back(Tick(T, T == Spike ? 999.0f : 20.0f + float((T / Minute) % 7)));
            if (Batch.size() == 1440) {
                Store.Append(Batch);
                Batch.clear();
                Store.Thin(Limit);
                ASSERT_LE(Store.FileBytes(), Limit);
            }
        }
        Store.Append(Batch);
        Store.Flush();
    }
    THistoryStore Store(Folder.File("h.sqlite"), THistoryStore::TMode::Read);
    EXPECT_LE(Store.FileBytes(), Limit);
    const std::int64_t End = Start + 365 * Day - Minute;
    EXPECT_EQ(Store.CountTicks(End - 7 * Day + Minute, End), 7u * 1440u);
    // The spike's own tick is gone, its bucket is not.
    EXPECT_EQ(Store.CountTicks(Spike, Spike), 0u);
    // An export from there on is told that it lacks ticks; one of last week is not.
    EXPECT_GT(Store.ThinnedFrom(Spike).value_or(0), Spike);
    EXPECT_FALSE(Store.ThinnedFrom(End - 7 * Day).has_value());
    bool Seen = false;
    for (const TTrendBucket& B : Store.Buckets(3, 0))
        if (B.First <= Spike / 1000 && B.Last >= Spike / 1000)
            Seen = B.Max[0] == 999.0f;
    EXPECT_TRUE(Seen);
    TTrendStore Trend;
    Store.SeedTrend(Trend);
    EXPECT_EQ(Trend.TickCount(), 365u * 1440u);
    const auto Range = Trend.ValueAt(0, TTrendSeries::Sample, Spike / 1000);
    ASSERT_TRUE(Range.has_value());
    EXPECT_EQ(Range->Max, 999.0f);
}

// Buckets still filling when the program was killed are completed from the
// ticks at the next start; a new run starts its own buckets after a gap.
TEST(HistoryStore, ReopeningCompletesTheBucketsOfAKilledRun)
{
    TFolder Folder;
    {
        THistoryStore Store(Folder.File("h.sqlite"), THistoryStore::TMode::Write);
        Store.BeginRun(Start);
        for (int I = 0; I < 100; ++I) {
            const THistoryTick T = Tick(Start + I * Second, I == 97 ? -50.0f : 20.0f);
            Store.Append({&T, 1});
        }
        // No Flush: 100 = 12 x 8 + 4 ticks leave a level-1 bucket open.
    }
    THistoryStore Store(Folder.File("h.sqlite"), THistoryStore::TMode::Write);
    std::vector<TTrendBucket> Level1 = Store.Buckets(1, 0);
    ASSERT_EQ(Level1.size(), 13u);
    EXPECT_EQ(Level1.back().Ticks, 4u);
    EXPECT_EQ(Level1.back().Min[0], -50.0f);
    EXPECT_EQ(Store.Buckets(2, 0).back().Ticks, 36u);
    Store.BeginRun(Start + 200 * Second);
    const THistoryTick After = Tick(Start + 200 * Second, 30.0f);
    Store.Append({&After, 1});
    Store.Flush();
    Level1 = Store.Buckets(1, 0);
    ASSERT_EQ(Level1.size(), 14u);
    EXPECT_TRUE(Level1.back().BreakBefore);
    EXPECT_EQ(Store.Rows(0), 101u);
}
