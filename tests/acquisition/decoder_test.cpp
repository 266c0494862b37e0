#include "acquisition/decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelvalog;

namespace {

TDecoderInputs Inputs5V(std::int32_t lower = 600, std::int32_t upper = 1025)
{
    TDecoderInputs in;
    in.Board = Board5V;
    in.PressureLower = lower;
    in.PressureUpper = upper;
    return in;
}

TDecoderInputs Inputs3V(double tambSpan = 1, double tambOffset = 0, double rhSpan = 1,
                        double rhOffset = 0)
{
    TDecoderInputs in;
    in.Board = Board3V;
    in.TambRhSpan = tambSpan;
    in.TambRhOffset = tambOffset;
    in.RhSpan = rhSpan;
    in.RhOffset = rhOffset;
    return in;
}

std::vector<TReading> Decode(const std::string& line, const TDecoderInputs& in)
{
    const TReadings readings = DecodeLine(line, in);
    return {readings.begin(), readings.end()};
}

float F(double v)
{
    return static_cast<float>(v);
}
float P(std::int32_t raw, std::int32_t lower = 600, std::int32_t upper = 1025)
{
    return F(PressureOf(raw, lower, upper));
}

struct TLineCase
{
    const char* Name;
    std::string Line;
    TDecoderInputs Inputs;
    std::vector<TReading> Expected;
};

void PrintTo(const TLineCase& c, std::ostream* os)
{
    *os << c.Name;
}

class DecodeLineTest : public ::testing::TestWithParam<TLineCase>
{
};

TEST_P(DecodeLineTest, YieldsReadingsInOrder)
{
    const TLineCase& c = GetParam();
    const auto got = Decode(c.Line, c.Inputs);
    ASSERT_EQ(got.size(), c.Expected.size()) << c.Name;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].Channel, c.Expected[i].Channel) << c.Name << " reading " << i;
        EXPECT_FLOAT_EQ(got[i].Value, c.Expected[i].Value) << c.Name << " reading " << i;
    }
}

const double Tamb0 = TambRhOf(0, 1, 0);
const double Rh0 = RhOf(0, 1, 0);

INSTANTIATE_TEST_SUITE_P(
    Lines, DecodeLineTest,
    ::testing::Values(
        TLineCase{"5V full line",
                  "1234 23.45 21.50 22.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"5V final character never read",
                  "1234 23.45 21.50 22.10 22.30",
                  Inputs5V(),
                  {{4, 2.23f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"5V without IR pair",
                  "29491 21.00 22.00 ",
                  Inputs5V(),
                  {{4, 22.00f}, {3, 21.00f}, {0, 1025.0f}}},
        TLineCase{"5V failed T2 skipped",
                  "1234 23.45 21.50 22.10 * ",
                  Inputs5V(),
                  {{3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"5V point and star on T1 skipped",
                  "1234 23.45 21.50 2*2.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"5V star at position 3 stops",
                  "1234 23.45 2*1.50 22.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}}},
        TLineCase{"5V pressure with star still taken",
                  "12*34 23.45 21.50 22.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"5V point at position 5 gives no pressure",
                  "12.34 23.45 21.50 22.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}}},
        TLineCase{"5V IR pair at line start, no pressure",
                  "23.45 21.50 22.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}}},
        TLineCase{"5V tokens left of the pressure ignored",
                  "99 98 1234 23.45 21.50 22.10 22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"5V double space shifts positions",
                  "1234 23.45 21.50 22.10  22.30 ",
                  Inputs5V(),
                  {{4, 22.30f}, {2, 22.10f}, {1, 21.50f}}},
        TLineCase{"5V empty line gives P(0)", "", Inputs5V(), {{0, P(0)}}},
        TLineCase{"5V temperature below zero keeps its sign",
                  "1234 23.45 21.50 22.10 -5.00 ",
                  Inputs5V(),
                  {{4, -5.00f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"3V temperatures below zero, inner minus skipped",
                  "-1.25 -0.50 24994 39919 2-2.10 -22.30 ",
                  Inputs3V(),
                  {{5, -22.30f}, {4, 22.10f}, {3, 25.0f}, {2, 55.0f}, {1, -0.50f}, {0, -1.25f}}},
        TLineCase{"5V control characters and letters skipped",
                  "1234 23.45 21.50 2x2.1\t0 22.30\r ",
                  Inputs5V(),
                  {{4, 22.30f}, {3, 22.10f}, {2, 21.50f}, {1, 23.45f}, {0, P(1234)}}},
        TLineCase{"3V full line",
                  "23.45 21.50 24994 39919 22.10 22.30 ",
                  Inputs3V(),
                  {{5, 22.30f}, {4, 22.10f}, {3, 25.0f}, {2, 55.0f}, {1, 21.50f}, {0, 23.45f}}},
        TLineCase{"3V without IR pair",
                  "24994 39919 22.10 22.30 ",
                  Inputs3V(),
                  {{5, 22.30f}, {4, 22.10f}, {3, 25.0f}, {2, 55.0f}}},
        TLineCase{"3V without RH pair",
                  "23.45 21.50 22.10 22.30 ",
                  Inputs3V(),
                  {{5, 22.30f}, {4, 22.10f}, {1, 21.50f}, {0, 23.45f}}},
        TLineCase{"3V no point at position 5 stops",
                  "23.45 2150 24994 39919 22.10 22.30 ",
                  Inputs3V(),
                  {{5, 22.30f}, {4, 22.10f}, {3, 25.0f}, {2, 55.0f}}},
        TLineCase{"3V star at position 5 ignored",
                  "23.45 2*1.50 24994 39919 22.10 22.30 ",
                  Inputs3V(),
                  {{5, 22.30f}, {4, 22.10f}, {3, 25.0f}, {2, 55.0f}, {1, 21.50f}, {0, 23.45f}}},
        TLineCase{"3V star at position 3 stops",
                  "23.45 21.50 24994 3991*9 22.10 22.30 ",
                  Inputs3V(),
                  {{5, 22.30f}, {4, 22.10f}}},
        TLineCase{"3V empty line", "", Inputs3V(), {{3, F(Tamb0)}, {2, F(Rh0)}}},
        TLineCase{"3V span and offset applied",
                  "24994 39919 22.10 22.30 ",
                  Inputs3V(2.0, 1.0, 0.5, 5.0),
                  {{5, 22.30f}, {4, 22.10f}, {3, 48.0f}, {2, 25.0f}}},
        TLineCase{"3V zero span zeroes the RH sensor",
                  "24994 40000 22.10 22.30 ",
                  Inputs3V(0.0, 0.0, 0.0, 0.0),
                  {{5, 22.30f}, {4, 22.10f}, {3, 0.0f}, {2, 0.0f}}}),
    [](const auto& TestInfo) {
        std::string name = TestInfo.param.Name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(DecodeLine, NoBoardSelectedIgnoresLine)
{
    for (int board : {-1, 2, 7}) {
        TDecoderInputs in = Inputs5V();
        in.Board = board;
        EXPECT_TRUE(DecodeLine("1234 23.45 21.50 22.10 22.30 ", in).empty()) << board;
    }
}

TEST(PressureOf, MapsCountsOntoTheRange)
{
    EXPECT_EQ(F(PressureOf(3277, 600, 1025)), 600.0f);
    EXPECT_EQ(F(PressureOf(3277 + 26214, 600, 1025)), 1025.0f);
    // Equal bounds fall back to a range of 1000.
    EXPECT_EQ(F(PressureOf(3277 + 26214, 500, 500)), 1500.0f);
    // An upper bound below the lower one still rises from the lower one.
    EXPECT_EQ(F(PressureOf(3277 + 26214, 1025, 600)), 1450.0f);
    EXPECT_EQ(F(PressureOf(3277 + 13107, 0, 1000)), 500.0f);
    EXPECT_LT(PressureOf(0, 600, 1025), 600.0);
}

TEST(PressureOf, RangeWiderThan32BitsDoesNotWrap)
{
    // lower -2^31 and upper 2^31-1: the range is 2^32-1, not -1 wrapped to 1.
    const double low = PressureOf(3277, INT32_MIN, INT32_MAX);
    const double high = PressureOf(3277 + 26214, INT32_MIN, INT32_MAX);
    EXPECT_EQ(low, static_cast<double>(INT32_MIN));
    EXPECT_NEAR(high, static_cast<double>(INT32_MAX), 1.0);
}

TEST(HumidityConversions, ReferenceCountsGiveReferenceValues)
{
    EXPECT_EQ(F(TambRhOf(39919, 1, 0)), 25.0f);
    EXPECT_EQ(F(RhOf(24994, 1, 0)), 55.0f);
    // The offset is taken off before the span multiplies.
    EXPECT_DOUBLE_EQ(TambRhOf(39919, 3, 5), 60.0);
    EXPECT_DOUBLE_EQ(RhOf(24994, 2, 5), 100.0);
    EXPECT_DOUBLE_EQ(TambRhOf(39919 + 20631, 1, 0), 125.0);
}

struct TTokenCase
{
    const char* Text;
    std::int32_t Raw;
    bool Error;
    bool Point;
};

class NextTokenTest : public ::testing::TestWithParam<TTokenCase>
{
};

TEST_P(NextTokenTest, ReadsDigitsAndMarks)
{
    const TTokenCase& c = GetParam();
    // The token sits after a separating space; the cursor starts on its last character.
    const std::string line = std::string("9 ") + c.Text;
    std::ptrdiff_t cursor = static_cast<std::ptrdiff_t>(line.size());
    const TToken token = NextToken(line, cursor);
    EXPECT_EQ(token.Raw, c.Raw) << c.Text;
    EXPECT_EQ(token.ErrorMark, c.Error) << c.Text;
    EXPECT_EQ(token.PointMark, c.Point) << c.Text;
    EXPECT_EQ(cursor, 2) << "stops on the separator";
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, NextTokenTest,
    ::testing::Values(TTokenCase{"23.45", 2345, false, true}, TTokenCase{"23.4", 234, false, true},
                      TTokenCase{"-5.00", -500, false, true}, TTokenCase{"+5.00", 500, false, true},
                      TTokenCase{"5-00", 500, false, false}, TTokenCase{"-", 0, false, false},
                      TTokenCase{"-99999999999", -2147483647, false, false},
                      TTokenCase{"*", 0, true, false}, TTokenCase{"1*2.3", 123, true, true},
                      TTokenCase{"abc", 0, false, false}, TTokenCase{"007", 7, false, false},
                      TTokenCase{"2147483647", 2147483647, false, false},
                      TTokenCase{"2147483648", 2147483647, false, false},
                      TTokenCase{"99999999999999999999", 2147483647, false, false},
                      TTokenCase{"00000000000000000000012", 12, false, false},
                      TTokenCase{"1000000000000000000000", 2147483647, false, false},
                      TTokenCase{"21474836.48", 2147483647, false, true}));

TEST(NextToken, EmptyTokenAtSpaceOrStart)
{
    std::ptrdiff_t cursor = 2;
    TToken token = NextToken("1 2", cursor);
    EXPECT_EQ(token.Raw, 0);
    EXPECT_FALSE(token.ErrorMark || token.PointMark);
    EXPECT_EQ(cursor, 2);
    for (std::ptrdiff_t start : {0, -1, -100}) {
        cursor = start;
        token = NextToken("1.*2", cursor);
        EXPECT_EQ(token.Raw, 0);
        EXPECT_FALSE(token.ErrorMark || token.PointMark);
        EXPECT_EQ(cursor, start);
    }
    // The first character of the line is read.
    cursor = 1;
    EXPECT_EQ(NextToken("7", cursor).Raw, 7);
    EXPECT_EQ(cursor, 0);
}

TEST(NextToken, CursorBeyondLineRaisesRangeError)
{
    std::ptrdiff_t cursor = 4;
    EXPECT_THROW(NextToken("123", cursor), ERangeError);
}

TEST(DecodeLine, ArbitraryBytesNeverOverrunTheReadings)
{
    std::string line;
    for (int i = 0; i < 256; ++i)
        line.push_back(static_cast<char>(i));
    for (int board : {Board5V, Board3V}) {
        TDecoderInputs in = board == Board5V ? Inputs5V() : Inputs3V();
        for (std::size_t n = 0; n <= line.size(); n += 7)
            EXPECT_LE(DecodeLine(std::string_view(line).substr(0, n), in).size(), 6u);
    }
}

} // namespace
