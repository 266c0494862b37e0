#include "acquisition/channeltable.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kelvalog;

namespace {

TFieldId Id(TFieldRow row, TFieldKind kind)
{
    return {row, kind};
}

std::vector<TFieldUpdate> ToVector(const TTickUpdates& updates)
{
    return {updates.begin(), updates.end()};
}

TEST(DisplayFields, NamesAndChannelMapping)
{
    EXPECT_EQ(FieldName(Id(TFieldRow::T51, TFieldKind::Actual)), "T51ActualField");
    EXPECT_EQ(FieldName(Id(TFieldRow::T36, TFieldKind::Filtered)), "T36FilteredField");
    EXPECT_EQ(FieldName(Id(TFieldRow::T33, TFieldKind::Sampled)), "T33SampledField");

    for (int board : {Board5V, Board3V}) {
        const unsigned shown = board == Board5V ? 5 : 6;
        const TFieldRow first = board == Board5V ? TFieldRow::T51 : TFieldRow::T31;
        for (unsigned channel = 0; channel < 8; ++channel) {
            const auto field = FieldOf(board, channel, TFieldKind::Sampled);
            ASSERT_EQ(field.has_value(), channel < shown) << board << "/" << channel;
            if (field) {
                EXPECT_EQ(static_cast<int>(field->Row),
                          static_cast<int>(first) + static_cast<int>(channel));
            }
        }
    }
    EXPECT_FALSE(FieldOf(-1, 0, TFieldKind::Actual));
    EXPECT_FALSE(FieldOf(2, 0, TFieldKind::Actual));
    EXPECT_FALSE(FieldOf(Board5V, 4000000000u, TFieldKind::Actual));
}

TEST(ChannelTable, IndexOutsideTableRaisesRangeError)
{
    TChannelTable table;
    EXPECT_THROW(table[-1], ERangeError);
    EXPECT_THROW(table[8], ERangeError);
    EXPECT_NO_THROW(table[7]);
    EXPECT_THROW(table.AddReading(8, 1.0f, true, Board5V), ERangeError);
    EXPECT_THROW(table.AddReading(0xFFFFFFFFu, 1.0f, true, Board5V), ERangeError);
    try {
        table[8];
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Range check error");
    }
}

struct TAverageCase
{
    bool Average;
    float Expected;
};

class AverageTest : public ::testing::TestWithParam<TAverageCase>
{
};

TEST_P(AverageTest, TickFormsSampleFromPeriod)
{
    TChannelTable table;
    table.StartSampling();
    const auto first = table.AddReading(1, 20.0f, GetParam().Average, Board5V);
    const auto second = table.AddReading(1, 22.0f, GetParam().Average, Board5V);
    // The actual field always shows the single latest reading.
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*second, (TFieldUpdate{Id(TFieldRow::T52, TFieldKind::Actual), 22.0f, true}));
    table.SampleTick({}, Board5V);
    EXPECT_TRUE(table[1].Valid);
    EXPECT_EQ(table[1].Sample, GetParam().Expected);
    EXPECT_EQ(table[1].Count, 0u);
    EXPECT_EQ(table[1].Sum, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Average, AverageTest,
                         ::testing::Values(TAverageCase{true, 21.0f}, TAverageCase{false, 22.0f}));

TEST(ChannelTable, UntickingAverageMidPeriodReplacesTheSum)
{
    TChannelTable table;
    table.AddReading(0, 10.0f, true, Board5V);
    table.AddReading(0, 20.0f, true, Board5V);
    table.AddReading(0, 7.0f, false, Board5V);
    EXPECT_EQ(table[0].Count, 1u);
    EXPECT_EQ(table[0].Sum, 7.0f);
    table.AddReading(0, 9.0f, true, Board5V);
    table.SampleTick({}, Board5V);
    EXPECT_EQ(table[0].Sample, 8.0f);
}

TEST(ChannelTable, SumIsStoredAsFloatAfterEachReading)
{
    TChannelTable table;
    // 2^24 + 1 is not a float: each addition rounds to float before the next.
    table.AddReading(0, 16777216.0f, true, Board5V);
    for (int i = 0; i < 4; ++i)
        table.AddReading(0, 1.0f, true, Board5V);
    EXPECT_EQ(table[0].Sum, 16777216.0f);
    EXPECT_EQ(table[0].Count, 5u);
}

TEST(ChannelTable, TickReportsSampledAndFilteredFields)
{
    TChannelTable table;
    table.StartSampling();
    table[2].Filtered = 5.0f; // left over from an earlier period
    table.AddReading(0, 1000.0f, true, Board5V);
    table.AddReading(4, 22.5f, true, Board5V);
    const auto updates = ToVector(table.SampleTick({}, Board5V));
    ASSERT_EQ(updates.size(), 10u); // channels 0..4, sampled and filtered each
    EXPECT_EQ(updates[0], (TFieldUpdate{Id(TFieldRow::T51, TFieldKind::Sampled), 1000.0f, true}));
    EXPECT_EQ(updates[1], (TFieldUpdate{Id(TFieldRow::T51, TFieldKind::Filtered), 1000.0f, true}));
    // A channel without readings: sampled 0 greyed, filtered keeps its value greyed.
    EXPECT_EQ(updates[4], (TFieldUpdate{Id(TFieldRow::T53, TFieldKind::Sampled), 0.0f, false}));
    EXPECT_EQ(updates[5], (TFieldUpdate{Id(TFieldRow::T53, TFieldKind::Filtered), 5.0f, false}));
    EXPECT_EQ(updates[9], (TFieldUpdate{Id(TFieldRow::T55, TFieldKind::Filtered), 22.5f, true}));
    for (int channel = 5; channel < 8; ++channel)
        EXPECT_FALSE(table[channel].Valid);
}

TEST(ChannelTable, InvalidPeriodLeavesFilterStateAlone)
{
    TChannelTable table;
    table.StartSampling();
    const TFilterSettings mar{FilterMovingAverage, 3, 1.0};
    for (float v : {1.0f, 2.0f}) {
        table.AddReading(3, v, true, Board3V);
        table.SampleTick(mar, Board3V);
    }
    const float filtered = table[3].Filtered;
    const float marSum = table[3].MarSum;
    table.SampleTick(mar, Board3V); // no reading in this period
    EXPECT_FALSE(table[3].Valid);
    EXPECT_EQ(table[3].Sample, 0.0f);
    EXPECT_EQ(table[3].Filtered, filtered);
    EXPECT_EQ(table[3].MarSum, marSum);
    table.AddReading(3, 3.0f, true, Board3V);
    table.SampleTick(mar, Board3V);
    EXPECT_EQ(table[3].Filtered, 2.0f); // continues the window 1, 2, 3
}

TEST(ChannelTable, NoBoardShowsNothingAndEveryChannelStaysInvalid)
{
    TChannelTable table;
    TDecoderInputs in;
    in.Board = 5;
    EXPECT_TRUE(table.AddLine("1234 23.45 21.50 22.10 22.30 ", in, true).empty());
    EXPECT_FALSE(table.AddReading(0, 1.0f, true, 5));
    table[0].Count = 0;
    table[0].Sum = 0;
    EXPECT_TRUE(table.SampleTick({}, 5).empty());
    for (int channel = 0; channel < 8; ++channel)
        EXPECT_FALSE(table[channel].Valid);
}

TEST(ChannelTable, AddLineShowsEachReadingInItsActualField)
{
    TChannelTable table;
    TDecoderInputs in;
    in.Board = Board3V;
    in.TambRhSpan = in.RhSpan = 1.0;
    const auto updates = table.AddLine("23.45 21.50 24994 39919 22.10 22.30 ", in, true);
    ASSERT_EQ(updates.size(), 6u);
    EXPECT_EQ(updates[0], (TFieldUpdate{Id(TFieldRow::T36, TFieldKind::Actual), 22.30f, true}));
    EXPECT_EQ(updates[2], (TFieldUpdate{Id(TFieldRow::T34, TFieldKind::Actual), 25.0f, true}));
    EXPECT_EQ(updates[5], (TFieldUpdate{Id(TFieldRow::T31, TFieldKind::Actual), 23.45f, true}));
    EXPECT_EQ(table[2].Sum, 55.0f);
    EXPECT_EQ(table[2].Count, 1u);
}

TEST(ChannelTable, StartSamplingResetsPeriodsAndClearsAll33Fields)
{
    TChannelTable table;
    table.AddReading(0, 4.0f, true, Board5V);
    table.SampleTick({}, Board5V);
    table.AddReading(0, 6.0f, true, Board5V);
    table[1].MarSum = 12.0f;

    const TResetUpdates updates = table.StartSampling();
    for (int i = 0; i < DisplayFieldCount; ++i) {
        EXPECT_EQ(updates[i], (TFieldUpdate{FieldAt(i), 0.0f, false})) << i;
        EXPECT_EQ(FieldIndex(FieldAt(i)), i);
    }
    EXPECT_EQ(FieldName(updates[0].Field), "T51ActualField");
    EXPECT_EQ(FieldName(updates[5].Field), "T31ActualField");
    EXPECT_EQ(FieldName(updates[11].Field), "T51SampledField");
    EXPECT_EQ(FieldName(updates[32].Field), "T36FilteredField");

    for (int channel = 0; channel < 8; ++channel) {
        EXPECT_FALSE(table[channel].Valid);
        EXPECT_EQ(table[channel].Count, 0u);
        EXPECT_EQ(table[channel].Sum, 0.0f);
        EXPECT_TRUE(table[channel].MarPrime);
    }
    // Sample, Filtered and the moving-average sum carry over.
    EXPECT_EQ(table[0].Sample, 4.0f);
    EXPECT_EQ(table[0].Filtered, 4.0f);
    EXPECT_EQ(table[1].MarSum, 12.0f);
}

TEST(ChannelTable, RangeErrorEndsTheTickAtThatChannel)
{
    TChannelTable table;
    table.StartSampling();
    for (unsigned channel = 0; channel < 3; ++channel)
        table.AddReading(channel, 1.0f, true, Board5V);
    table[0].MarPrime = false;
    // The filter gets a window larger than the buffer: the first channel raises.
    TTickUpdates updates;
    EXPECT_THROW(table.SampleTick({FilterMovingAverage, 1001, 1.0}, Board5V, updates), ERangeError);
    EXPECT_TRUE(updates.empty());
    EXPECT_TRUE(table[0].Valid);
    EXPECT_EQ(table[0].Filtered, 0.0f);
    // The channels after it are not processed.
    EXPECT_EQ(table[1].Count, 1u);
    EXPECT_EQ(table[2].Count, 1u);
}

} // namespace
