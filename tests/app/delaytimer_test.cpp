#include "app/delaytimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using kelvalog::TDelayTimer;

namespace {

// A tick count that advances by one millisecond per reading.
struct TFakeClock
{
    std::uint32_t Now = 0;
    int Reads = 0;
    std::uint32_t Read()
    {
        ++Reads;
        return Now++;
    }
};

} // namespace

TEST(DelayTimer, WaitsUntilTheDeadlineAndReportsTheRestToTheIdleEvent)
{
    TFakeClock Clock;
    TDelayTimer Timer([&] { return Clock.Read(); }, nullptr);
    std::vector<std::uint32_t> StillToGo;
    Timer.OnIdle = [&](TDelayTimer& Sender, std::uint32_t Rest) {
        EXPECT_TRUE(Sender.Busy());
        StillToGo.push_back(Rest);
    };
    Timer.Delay(5);
    EXPECT_FALSE(Timer.Busy());
    EXPECT_EQ(StillToGo, (std::vector<std::uint32_t>{4, 3, 2, 1}));
    EXPECT_GE(Clock.Now, 5u);

    Clock.Reads = 0;
    Timer.Delay(0);
    EXPECT_EQ(Clock.Reads, 0);
}

TEST(DelayTimer, ReenteredWaitMovesTheDeadline)
{
    TFakeClock Clock;
    TDelayTimer Timer([&] { return Clock.Read(); }, nullptr);
    int Rounds = 0;
    Timer.OnIdle = [&](TDelayTimer& Sender, std::uint32_t) {
        if (++Rounds == 1)
            Sender.Delay(3); // returns at once, the outer wait now ends sooner
    };
    Timer.Delay(1000);
    EXPECT_LT(Clock.Now, 10u);
    EXPECT_FALSE(Timer.Busy());
}

TEST(DelayTimer, WaitsAcrossTheWrapOfTheTickCount)
{
    TFakeClock Clock;
    Clock.Now = 0xFFFFFFF0u;
    int Pauses = 0;
    TDelayTimer Timer([&] { return Clock.Read(); }, [&] { ++Pauses; });
    Timer.Delay(100);
    EXPECT_GE(Clock.Now, 100u - 0x10u);
    EXPECT_GE(Pauses, 90);
}

TEST(DelayTimer, RealClockWaitsAtLeastTheGivenTime)
{
    TDelayTimer Timer;
    const auto Start = std::chrono::steady_clock::now();
    Timer.Delay(30);
    EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(29));
}
