#include "boardlines.h"

#include "acquisition/decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace kelvalog {
namespace {

std::vector<std::string> Tokens(const std::string& Record)
{
    std::vector<std::string> Out;
    std::size_t Start = 0;
    while (Start < Record.size()) {
        const auto Space = Record.find(' ', Start);
        if (Space == std::string::npos) {
            Out.push_back(Record.substr(Start) + "<no trailing space>");
            break;
        }
        Out.push_back(Record.substr(Start, Space - Start));
        Start = Space + 1;
    }
    return Out;
}

bool IsCount(const std::string& T)
{
    return !T.empty() && T.find_first_not_of("0123456789") == std::string::npos;
}

bool IsTemperature(const std::string& T)
{
    const auto Point = T.find('.');
    return Point != std::string::npos && Point > 0 && T.size() == Point + 3 &&
           IsCount(T.substr(0, Point)) && IsCount(T.substr(Point + 1));
}

// Lines as the framer cuts them: an LF starts one, the first CR after it ends it.
std::vector<std::string> Frame(const std::string& Stream)
{
    std::vector<std::string> Lines;
    std::optional<std::string> Current;
    for (const char C : Stream) {
        if (!Current) {
            if (C == '\n')
                Current.emplace();
        } else if (C == '\r') {
            Lines.push_back(*Current);
            Current.reset();
        } else {
            Current->push_back(C);
        }
    }
    return Lines;
}

TDecoderInputs InputsFor(TBoardKind Board)
{
    TDecoderInputs In;
    In.Board = Board == TBoardKind::I2c5V ? 0 : 1;
    In.PressureLower = 600;
    In.PressureUpper = 1025;
    In.TambRhSpan = In.RhSpan = 1;
    return In;
}

struct TLayout
{
    TBoardKind Board;
    bool WithIr, WithRh;
    std::string Kinds; // per token: c count, t temperature
};

class BoardLinesLayoutTest : public ::testing::TestWithParam<TLayout>
{
};

TEST_P(BoardLinesLayoutTest, LinesCarryTheTokensTheDecoderExpects)
{
    const TLayout& L = GetParam();
    TBoardLineGenerator Gen(L.Board, 7);
    Gen.WithIr = L.WithIr;
    Gen.WithRh = L.WithRh;
    for (int I = 0; I < 200; ++I) {
        const TBoardOutput Out = Gen.Next();
        ASSERT_EQ(Out.Fault, TLineFault::None);
        ASSERT_GE(Out.Bytes.size(), 2u);
        ASSERT_EQ(Out.Bytes.front(), '\n');
        ASSERT_EQ(Out.Bytes.back(), '\r');
        const std::string Record = Out.Bytes.substr(1, Out.Bytes.size() - 2);
        ASSERT_EQ(Record, Gen.Record());
        const auto T = Tokens(Record);
        ASSERT_EQ(T.size(), L.Kinds.size()) << Record;
        for (std::size_t K = 0; K < T.size(); ++K)
            ASSERT_TRUE(L.Kinds[K] == 'c' ? IsCount(T[K]) : IsTemperature(T[K]))
                << "token " << K << " of \"" << Record << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, BoardLinesLayoutTest,
                         ::testing::Values(TLayout{TBoardKind::I2c5V, true, true, "ctttt"},
                                           TLayout{TBoardKind::I2c5V, false, true, "ctt"},
                                           TLayout{TBoardKind::I2c3V3, true, true, "ttcctt"},
                                           TLayout{TBoardKind::I2c3V3, true, false, "tttt"},
                                           TLayout{TBoardKind::I2c3V3, false, true, "cctt"}),
                         [](const ::testing::TestParamInfo<TLayout>& Info) {
                             return std::string(Info.param.Board == TBoardKind::I2c5V
                                                    ? "Board5V"
                                                    : "Board3V3") +
                                    (Info.param.WithIr ? "" : "NoIr") +
                                    (Info.param.WithRh ? "" : "NoRh");
                         });

// The value the decoder must find in each channel for the generator's readings.
std::map<unsigned, double> Expected(const TBoardLineGenerator& Gen)
{
    const TBoardReadings& R = Gen.Readings();
    std::map<unsigned, double> E;
    if (Gen.Board() == TBoardKind::I2c5V) {
        E[0] = PressureOf(R.PressureCount, 600, 1025);
        if (Gen.WithIr) {
            E[1] = R.IrObject;
            E[2] = R.IrAmbient;
        }
        E[3] = R.T1;
        E[4] = R.T2;
    } else {
        if (Gen.WithIr) {
            E[0] = R.IrObject;
            E[1] = R.IrAmbient;
        }
        if (Gen.WithRh) {
            E[2] = RhOf(R.RhCount, 1, 0);
            E[3] = TambRhOf(R.RhTemperatureCount, 1, 0);
        }
        E[4] = R.T1;
        E[5] = R.T2;
    }
    return E;
}

TEST(BoardLinesTest, DecodedLinesGiveBackTheReadingsAndStayPlausible)
{
    for (const TLayout& L :
         {TLayout{TBoardKind::I2c5V, true, true, ""}, TLayout{TBoardKind::I2c5V, false, true, ""},
          TLayout{TBoardKind::I2c3V3, true, true, ""}, TLayout{TBoardKind::I2c3V3, true, false, ""},
          TLayout{TBoardKind::I2c3V3, false, true, ""}}) {
        TBoardLineGenerator Gen(L.Board, 11);
        Gen.WithIr = L.WithIr;
        Gen.WithRh = L.WithRh;
        std::map<unsigned, double> Previous, Low, High;
        for (int I = 0; I < 3000; ++I) {
            const std::string Bytes = Gen.Next().Bytes;
            const auto E = Expected(Gen);
            const TReadings Got =
                DecodeLine(std::string_view(Bytes).substr(1, Bytes.size() - 2), InputsFor(L.Board));
            ASSERT_EQ(Got.size(), E.size()) << Bytes;
            for (const TReading& R : Got) {
                ASSERT_TRUE(E.count(R.Channel)) << "channel " << R.Channel;
                ASSERT_NEAR(R.Value, E.at(R.Channel), 1e-3) << Bytes;
                // Room conditions: temperatures, humidity and mbar alike.
                EXPECT_GT(R.Value, 4.0);
                EXPECT_LT(R.Value, 1026.0);
                if (Previous.count(R.Channel)) {
                    ASSERT_LT(std::fabs(R.Value - Previous[R.Channel]), 1.0)
                        << "channel " << R.Channel << " jumps";
                }
                Previous[R.Channel] = R.Value;
                Low.try_emplace(R.Channel, R.Value);
                High.try_emplace(R.Channel, R.Value);
                Low[R.Channel] = std::min(Low[R.Channel], double(R.Value));
                High[R.Channel] = std::max(High[R.Channel], double(R.Value));
            }
        }
        for (const auto& [Channel, Lowest] : Low)
            EXPECT_GT(High[Channel] - Lowest, 0.05) << "channel " << Channel << " never moves";
    }
}

TEST(BoardLinesTest, SameSeedSameLines)
{
    TBoardLineGenerator A(TBoardKind::I2c3V3, 99), B(TBoardKind::I2c3V3, 99),
        C(TBoardKind::I2c3V3, 100);
    A.FaultRate = B.FaultRate = C.FaultRate = 0.3;
    bool Differs = false;
    for (int I = 0; I < 50; ++I) {
        const std::string Line = A.Next().Bytes;
        ASSERT_EQ(Line, B.Next().Bytes);
        Differs = Differs || Line != C.Next().Bytes;
    }
    EXPECT_TRUE(Differs);
}

TEST(BoardLinesTest, FaultsComeInEveryKindAndDecodeSafely)
{
    for (const TBoardKind Board : {TBoardKind::I2c5V, TBoardKind::I2c3V3}) {
        TBoardLineGenerator Gen(Board, 5);
        Gen.FaultRate = 0.5;
        std::set<TLineFault> Seen;
        std::string Stream;
        int Intact = 0;
        for (int I = 0; I < 2000; ++I) {
            const TBoardOutput Out = Gen.Next();
            Seen.insert(Out.Fault);
            Stream += Out.Bytes;
            const auto Lf = Out.Bytes.rfind('\n');
            ASSERT_NE(Lf, std::string::npos);
            const std::string Tail = Out.Bytes.substr(Lf);
            switch (Out.Fault) {
            case TLineFault::None:
                ++Intact;
                ASSERT_EQ(Out.Bytes, '\n' + Gen.Record() + '\r');
                break;
            case TLineFault::FailedSensor:
                ASSERT_NE(Out.Bytes.find(" * "), std::string::npos);
                ASSERT_EQ(Out.Bytes.back(), '\r');
                break;
            case TLineFault::ShortLine:
                ASSERT_LT(Out.Bytes.size(), Gen.Record().size() + 2);
                ASSERT_EQ(Out.Bytes.back(), '\r');
                break;
            case TLineFault::Garbage:
                ASSERT_TRUE(Out.Bytes.ends_with('\n' + Gen.Record() + '\r'));
                ASSERT_GT(Out.Bytes.size(), Gen.Record().size() + 2);
                break;
            case TLineFault::MissingCr:
                ASSERT_EQ(Out.Bytes, '\n' + Gen.Record());
                break;
            }
        }
        EXPECT_EQ(Seen.size(), 5u);
        EXPECT_GT(Intact, 700);

        // Whatever the framer makes of the stream decodes without error.
        const auto Lines = Frame(Stream);
        EXPECT_GT(Lines.size(), std::size_t(Intact));
        for (const std::string& Line : Lines)
            EXPECT_NO_THROW(DecodeLine(Line, InputsFor(Board)));
    }
}

TEST(BoardLinesTest, CountsMatchTheDecodersConversions)
{
    EXPECT_EQ(TBoardLineGenerator::PressureCountOf(600), 3277);
    EXPECT_EQ(TBoardLineGenerator::PressureCountOf(1025), 3277 + 26214);
    EXPECT_NEAR(RhOf(TBoardLineGenerator::RhCountOf(42.5), 1, 0), 42.5, 0.02);
    EXPECT_NEAR(TambRhOf(TBoardLineGenerator::RhTemperatureCountOf(21.3), 1, 0), 21.3, 0.01);
}

} // namespace
} // namespace kelvalog
