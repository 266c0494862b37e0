// The trend's memory: peaks kept through decimation, exact ends, a fixed
// budget over a week, and gaps for invalid channels and off-line stretches.

#include "acquisition/trendstore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace kelvalog;

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::int64_t T0 = 1'700'000'000'000; // some afternoon, in ms
constexpr std::int64_t Week = 7 * 24 * 3600;

TTrendTick Tick(std::int64_t Second, float Value, float Filtered = NaN)
{
    TTrendTick T;
    T.Time = T0 + Second * 1000;
    T.Sample.fill(NaN);
    T.Filtered.fill(NaN);
    T.Sample[0] = Value;
    T.Filtered[0] = Filtered;
    // A second channel that is always there, for the gap tests.
    T.Sample[1] = 20.0f;
    return T;
}

// A slow swing with one spike up and one dip down that last a single tick.
float Signal(std::int64_t S)
{
    if (S == 200'000)
        return 1100.0f;
    if (S == 450'000)
        return 900.0f;
    return 1000.0f + 5.0f * float(std::sin(double(S) / 3600.0));
}

std::vector<TTrendPoint> Points(const TTrendStore& Store, std::int64_t From, std::int64_t To,
                                int Columns, int Channel = 0,
                                TTrendSeries Series = TTrendSeries::Sample)
{
    std::vector<TTrendPoint> Out;
    Store.Extract(Channel, Series, From, To, Columns, Out);
    return Out;
}

std::size_t Breaks(const std::vector<TTrendPoint>& Points)
{
    return std::size_t(std::count_if(Points.begin(), Points.end(),
                                     [](const TTrendPoint& P) { return std::isnan(P.Value); }));
}

TEST(TrendStore, AWeekAtOneSecondKeepsPeaksExactEndsAndAFixedBudget)
{
    TTrendStore Store;
    for (std::int64_t S = 0; S < Week; ++S)
        Store.Append(Tick(S, Signal(S), Signal(S) - 1.0f));
    const std::size_t AfterOneWeek = Store.MemoryBytes();
    EXPECT_LT(AfterOneWeek, 4u * 1024 * 1024);

    const auto All = Points(Store, T0, T0 + (Week - 1) * 1000, 1200);
    ASSERT_FALSE(All.empty());
    EXPECT_LE(All.size(), 2u * 1200 + 2);
    EXPECT_EQ(Breaks(All), 0u);
    EXPECT_EQ(All.front().Time, T0);
    EXPECT_EQ(All.front().Value, Signal(0));
    EXPECT_EQ(All.back().Time, T0 + (Week - 1) * 1000);
    EXPECT_EQ(All.back().Value, Signal(Week - 1));
    const auto [Low, High] =
        std::minmax_element(All.begin(), All.end(), [](const TTrendPoint& A, const TTrendPoint& B) {
            return A.Value < B.Value;
        });
    EXPECT_EQ(High->Value, 1100.0f);
    EXPECT_EQ(Low->Value, 900.0f);
    EXPECT_TRUE(
        std::is_sorted(All.begin(), All.end(),
                       [](const TTrendPoint& A, const TTrendPoint& B) { return A.Time < B.Time; }));

    // The filtered line goes through the same store.
    const auto Filtered =
        Points(Store, T0, T0 + (Week - 1) * 1000, 1200, 0, TTrendSeries::Filtered);
    EXPECT_EQ(Filtered.back().Value, Signal(Week - 1) - 1.0f);

    // The last ten minutes come out tick by tick.
    const std::int64_t Newest = T0 + (Week - 1) * 1000;
    const auto Recent = Points(Store, Newest - 599'000, Newest, 1200);
    ASSERT_EQ(Recent.size(), 600u);
    for (std::size_t I = 0; I < Recent.size(); ++I) {
        const std::int64_t S = Week - 600 + std::int64_t(I);
        ASSERT_EQ(Recent[I].Time, T0 + S * 1000);
        ASSERT_EQ(Recent[I].Value, Signal(S));
    }

    // A second week costs nothing more.
    for (std::int64_t S = Week; S < 2 * Week; ++S)
        Store.Append(Tick(S, Signal(S)));
    EXPECT_EQ(Store.MemoryBytes(), AfterOneWeek);
    const auto TwoWeeks = Points(Store, T0, T0 + (2 * Week - 1) * 1000, 1200);
    EXPECT_EQ(TwoWeeks.front().Value, Signal(0));
    EXPECT_LE(TwoWeeks.size(), 2u * 1200 + 2);
}

TEST(TrendStore, EveryBucketKeepsItsLowestAndHighestInTheOrderTheyCame)
{
    TTrendStore Store;
    ASSERT_EQ(Store.BucketTicks(1), 8u);
    // Eight ticks per bucket of the second resolution: 0..7 rise with a dip at
    // tick 2 and a top at tick 5 for even buckets; odd buckets fall.
    const std::int64_t Count = 10'000; // beyond the finest resolution's reach
    auto Value = [](std::int64_t S) {
        const std::int64_t K = S / 8, J = S % 8;
        const float Base = float(K);
        if (K % 2 == 0)
            return J == 2 ? Base - 0.5f : J == 5 ? Base + 0.5f : Base;
        return J == 1 ? Base + 0.75f : J == 6 ? Base - 0.75f : Base;
    };
    for (std::int64_t S = 0; S < Count; ++S)
        Store.Append(Tick(S, Value(S)));

    // One column per bucket: each gives its two extremes.
    const auto Out = Points(Store, T0, T0 + (Count - 1) * 1000, int(Count / 8));
    // Plus the exact first and last tick around them.
    ASSERT_EQ(Out.size(), std::size_t(Count / 8) * 2 + 2);
    for (std::int64_t K = 0; K < Count / 8; ++K) {
        const TTrendPoint& A = Out[std::size_t(2 * K + 1)];
        const TTrendPoint& B = Out[std::size_t(2 * K + 2)];
        ASSERT_EQ(A.Time, T0 + 8 * K * 1000) << K;
        ASSERT_EQ(B.Time, T0 + (8 * K + 7) * 1000) << K;
        if (K % 2 == 0) {
            ASSERT_EQ(A.Value, float(K) - 0.5f) << K;
            ASSERT_EQ(B.Value, float(K) + 0.5f) << K;
        } else {
            ASSERT_EQ(A.Value, float(K) + 0.75f) << K;
            ASSERT_EQ(B.Value, float(K) - 0.75f) << K;
        }
    }
    const auto Read = Store.ValueAt(0, TTrendSeries::Sample, T0 + 16 * 1000 + 3000);
    ASSERT_TRUE(Read);
    EXPECT_EQ(Read->Min, 1.5f);
    EXPECT_EQ(Read->Max, 2.5f);
}

TEST(TrendStore, InvalidChannelsAndOffLineStretchesLeaveGapsAtEveryResolution)
{
    TTrendStore Store;
    // Ticks 0..99: channel 0 valid except 40..59; then off line for an hour;
    // then 100 more ticks.
    for (std::int64_t S = 0; S < 100; ++S)
        Store.Append(Tick(S, S >= 40 && S < 60 ? NaN : 10.0f));
    Store.Break();
    for (std::int64_t S = 3700; S < 3800; ++S)
        Store.Append(Tick(S, 12.0f));

    const auto Fine = Points(Store, T0, T0 + 3799 * 1000, 10'000);
    EXPECT_EQ(Breaks(Fine), 2u);
    const auto Always = Points(Store, T0, T0 + 3799 * 1000, 10'000, 1);
    EXPECT_EQ(Breaks(Always), 1u); // only the off-line stretch
    EXPECT_FALSE(Store.ValueAt(0, TTrendSeries::Sample, T0 + 50'000));
    EXPECT_FALSE(Store.ValueAt(1, TTrendSeries::Sample, T0 + 2000 * 1000));
    ASSERT_TRUE(Store.ValueAt(1, TTrendSeries::Sample, T0 + 3750 * 1000));
    EXPECT_EQ(Store.ValueAt(0, TTrendSeries::Sample, T0 + 3750 * 1000)->Max, 12.0f);
    EXPECT_FALSE(Store.ValueAt(0, TTrendSeries::Sample, T0 + 9000 * 1000));
    // No filter was on: nothing to draw.
    EXPECT_TRUE(Points(Store, T0, T0 + 3799 * 1000, 100, 0, TTrendSeries::Filtered).empty());

    // Push the two stretches out of the finer resolutions: the off-line gap
    // stays a gap, the short dropout vanishes into buckets that still have
    // values.
    for (std::int64_t S = 3800; S < 3800 + 300'000; ++S)
        Store.Append(Tick(S, 11.0f));
    const auto Coarse = Points(Store, T0, T0 + 4000 * 1000, 100, 1);
    EXPECT_EQ(Breaks(Coarse), 1u);
    EXPECT_FALSE(Store.ValueAt(1, TTrendSeries::Sample, T0 + 2000 * 1000));
    EXPECT_THROW(Store.ValueAt(8, TTrendSeries::Sample, T0), ERangeError);
}

TEST(TrendStore, EmptyAndSingleTick)
{
    TTrendStore Store;
    EXPECT_TRUE(Points(Store, T0, T0 + 1000, 100).empty());
    Store.Break();
    Store.Append(Tick(0, 5.0f));
    const auto One = Points(Store, T0 - 1000, T0 + 1000, 100);
    ASSERT_EQ(One.size(), 1u);
    EXPECT_EQ(One[0].Value, 5.0f);
    EXPECT_TRUE(Points(Store, T0 + 1, T0 + 1000, 100).empty());
}

} // namespace
