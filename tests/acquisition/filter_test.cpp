#include "acquisition/filter.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kelvalog;

namespace {

// Runs the filter over the samples of a freshly primed channel and returns
// the filtered values.
std::vector<float> Feed(TChannel& channel, const TFilterSettings& settings,
                        const std::vector<float>& samples)
{
    std::vector<float> out;
    for (float s : samples) {
        channel.Sample = s;
        FilterStep(channel, settings);
        out.push_back(channel.Filtered);
    }
    return out;
}

TFilterSettings Mar(int size)
{
    return {FilterMovingAverage, size, 1.0};
}
TFilterSettings LowPass(double p)
{
    return {FilterLowPass, 1, p};
}

TEST(MovingAverage, PrimesThenRuns)
{
    TChannel c;
    c.MarPrime = true;
    const auto out = Feed(c, Mar(3), {1, 2, 3, 4});
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], static_cast<float>(4.0 / 3.0));
    EXPECT_EQ(out[2], 2.0f);
    EXPECT_EQ(out[3], 3.0f);
    EXPECT_FALSE(c.MarPrime);
    EXPECT_EQ(c.MarBuffer[0], 4.0f);
    EXPECT_EQ(c.MarBuffer[1], 3.0f);
    EXPECT_EQ(c.MarBuffer[2], 2.0f);
    EXPECT_EQ(c.MarBuffer[3], 0.0f); // beyond the window: untouched
    EXPECT_EQ(c.MarSum, 9.0f);
}

TEST(MovingAverage, SizeBelowTwoPassesSamplesAndKeepsState)
{
    for (int size : {1, 0, -5}) {
        TChannel c;
        c.MarPrime = true;
        c.MarSum = 7.0f;
        c.MarBuffer[0] = 3.0f;
        EXPECT_EQ(Feed(c, Mar(size), {5.0f, 6.0f}), (std::vector<float>{5.0f, 6.0f}));
        EXPECT_TRUE(c.MarPrime);
        EXPECT_EQ(c.MarSum, 7.0f);
        EXPECT_EQ(c.MarBuffer[0], 3.0f);
    }
}

TEST(MovingAverage, FullBufferWindow)
{
    TChannel c;
    c.MarPrime = true;
    Feed(c, Mar(1000), {2.0f});
    EXPECT_EQ(c.MarBuffer[999], 2.0f);
    EXPECT_EQ(c.MarSum, 2000.0f);
    Feed(c, Mar(1000), {1002.0f});
    EXPECT_EQ(c.Filtered, 3.0f);
    EXPECT_EQ(c.MarBuffer[0], 1002.0f);
    EXPECT_EQ(c.MarBuffer[999], 2.0f);
}

TEST(MovingAverage, RunningSumIsCorrectedNotRecomputed)
{
    TChannel c;
    c.MarPrime = true;
    // 2^24 in a window of two: adding 1 to a float 2^24 is lost, and the
    // loss stays in the running sum after the big sample has left.
    Feed(c, Mar(2), {8388608.0f});
    EXPECT_EQ(c.MarSum, 16777216.0f);
    Feed(c, Mar(2), {1.0f});
    EXPECT_EQ(c.MarSum, 8388609.0f);
    Feed(c, Mar(2), {1.0f, 1.0f});
    EXPECT_EQ(c.MarSum, 2.0f);

    TChannel d;
    d.MarPrime = true;
    Feed(d, Mar(2), {16777216.0f});
    Feed(d, Mar(2), {1.0f}); // 33554432 - 16777216 + 1 -> 16777217 rounds to 16777216
    EXPECT_EQ(d.MarSum, 16777216.0f);
    Feed(d, Mar(2), {1.0f, 1.0f});
    EXPECT_EQ(d.MarSum, 1.0f); // the lost unit never comes back
}

TEST(MovingAverage, SizeChangeContinuesWithoutPriming)
{
    TChannel c;
    c.MarPrime = true;
    Feed(c, Mar(2), {4.0f, 6.0f}); // window 6, 4; sum 10
    Feed(c, Mar(3), {8.0f});       // sum 10 - buffer[2] (0) + 8
    EXPECT_EQ(c.MarSum, 18.0f);
    EXPECT_EQ(c.Filtered, 6.0f);
    EXPECT_EQ(c.MarBuffer[2], 4.0f);
}

TEST(MovingAverage, SizeChangeAveragesTheEntriesNowInTheWindow)
{
    TChannel c;
    c.MarPrime = true;
    Feed(c, Mar(4), {20.0f}); // window 20, 20, 20, 20
    // Shrinking: a steady 20 stays 20, not the old sum over a smaller size.
    EXPECT_EQ(Feed(c, Mar(2), {20.0f, 22.0f}), (std::vector<float>{20.0f, 21.0f}));
    EXPECT_EQ(c.MarSum, 42.0f);
    // Growing again takes in the older entries the register still holds.
    Feed(c, Mar(4), {24.0f}); // window 24, 22, 20, 20
    EXPECT_EQ(c.Filtered, 21.5f);
    EXPECT_EQ(c.MarSum, 86.0f);
    Feed(c, Mar(4), {26.0f, 26.0f, 26.0f, 26.0f});
    EXPECT_EQ(c.Filtered, 26.0f);
    // A size of 1 in between passes samples through and leaves the window as it was.
    Feed(c, Mar(1), {0.0f});
    Feed(c, Mar(4), {30.0f});
    EXPECT_EQ(c.Filtered, 27.0f);
}

TEST(MovingAverage, WindowBeyondBufferRaisesAndLeavesChannelUntouched)
{
    for (bool prime : {true, false}) {
        TChannel c;
        c.MarPrime = prime;
        c.MarSum = 3.0f;
        c.Filtered = 1.5f;
        c.Sample = 9.0f;
        EXPECT_THROW(FilterStep(c, Mar(1001)), ERangeError);
        EXPECT_EQ(c.MarPrime, prime);
        EXPECT_EQ(c.MarSum, 3.0f);
        EXPECT_EQ(c.Filtered, 1.5f);
        EXPECT_EQ(c.MarBuffer[0], 0.0f);
    }
    TChannel c;
    EXPECT_THROW(c.MarBuffer[1000], ERangeError);
    EXPECT_THROW(c.MarBuffer[-1], ERangeError);
}

struct TLowPassCase
{
    const char* Name;
    float Filtered;
    float Sample;
    double P;
    float Expected;
};

class LowPassTest : public ::testing::TestWithParam<TLowPassCase>
{
};

TEST_P(LowPassTest, SmoothsOrResets)
{
    const TLowPassCase& k = GetParam();
    TChannel c;
    c.Filtered = k.Filtered;
    c.Sample = k.Sample;
    FilterStep(c, LowPass(k.P));
    EXPECT_FLOAT_EQ(c.Filtered, k.Expected) << k.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LowPassTest,
    ::testing::Values(TLowPassCase{"half of the change", 20.0f, 20.8f, 50, 20.4f},
                      TLowPassCase{"step above 1 resets", 20.4f, 21.5f, 50, 21.5f},
                      TLowPassCase{"step of exactly 1 is smoothed", 20.0f, 21.0f, 50, 20.5f},
                      TLowPassCase{"downward step of exactly 1", 21.0f, 20.0f, 75, 20.75f},
                      TLowPassCase{"downward step above 1 resets", 21.0f, 19.5f, 75, 19.5f},
                      TLowPassCase{"start from 0, small sample", 0.0f, 0.5f, 1, 0.495f},
                      TLowPassCase{"start from 0, large sample", 0.0f, 23.0f, 1, 23.0f},
                      TLowPassCase{"p = 99 keeps 99 percent", 10.0f, 11.0f, 99, 10.01f},
                      TLowPassCase{"fractional position unrounded", 0.0f, 1.0f, 12.5, 0.875f}));

TEST(FilterStep, OtherFiltersAndSwitching)
{
    TChannel c;
    c.Sample = 3.0f;
    c.Filtered = 8.0f;
    FilterStep(c, {7, 1, 1.0}); // unknown filter index
    EXPECT_EQ(c.Filtered, 8.0f);
    FilterStep(c, {FilterNone, 1, 1.0});
    EXPECT_EQ(c.Filtered, 3.0f);

    // Moving average to low pass: the low pass continues from the average.
    TChannel d;
    d.MarPrime = true;
    Feed(d, Mar(2), {10.0f, 11.0f}); // 10.5
    Feed(d, LowPass(50), {11.5f});
    EXPECT_EQ(d.Filtered, 11.0f);
}

} // namespace
