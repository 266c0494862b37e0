#include "boardlines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <locale>
#include <sstream>
#include <system_error>
#include <vector>

namespace kelvalog {

namespace {

// Pull towards the mean per line: wanders for minutes, never runs away.
constexpr double Pull = 0.01;

// The board always writes a point, whatever locale the process runs in.
std::string Temperature(double Celsius)
{
    // The board writes a point whatever the locale of this process.
    char Text[48];
    const auto [End, Ec] =
        std::to_chars(Text, Text + sizeof Text, Celsius, std::chars_format::fixed, 2);
    return Ec == std::errc() ? std::string(Text, End) : std::string("*");
}

std::vector<std::string> Split(const std::string& Record)
{
    std::vector<std::string> Tokens;
    std::istringstream In(Record);
    In.imbue(std::locale::classic());
    for (std::string T; In >> T;)
        Tokens.push_back(T);
    return Tokens;
}

std::string Join(const std::vector<std::string>& Tokens, std::size_t From = 0)
{
    std::string Out;
    for (std::size_t I = From; I < Tokens.size(); ++I)
        Out += Tokens[I] + " ";
    return Out;
}

} // namespace

const char* BoardName(TBoardKind Board)
{
    return Board == TBoardKind::I2c5V ? "I2C (5V)" : "I2C (3,3V)";
}

TBoardLineGenerator::TBoardLineGenerator(TBoardKind Board, std::uint64_t Seed)
    : FBoard(Board), FRandom(Seed)
{
    // Each run starts somewhere else in the room.
    for (TWander* W : {&FPressure, &FIrObject, &FIrAmbient, &FT1, &FT2, &FRh, &FRhTemperature}) {
        W->Mean += (Uniform() - 0.5) * 40 * W->Step;
        W->Value = W->Mean;
    }
    Drift();
}

double TBoardLineGenerator::Uniform()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(FRandom);
}

std::size_t TBoardLineGenerator::Pick(std::size_t Count)
{
    return std::uniform_int_distribution<std::size_t>(0, Count - 1)(FRandom);
}

void TBoardLineGenerator::Wander(TWander& W)
{
    const double Noise = std::normal_distribution<double>(0.0, W.Step)(FRandom);
    W.Value = std::clamp(W.Value + Pull * (W.Mean - W.Value) + Noise, W.Low, W.High);
}

std::int32_t TBoardLineGenerator::PressureCountOf(double Mbar)
{
    return static_cast<std::int32_t>(
        std::lround(3277 + (Mbar - PressureLower) * 26214 / (PressureUpper - PressureLower)));
}

std::int32_t TBoardLineGenerator::RhCountOf(double Percent)
{
    return static_cast<std::int32_t>(std::lround(24994 + (Percent - 55) * 35.3026));
}

std::int32_t TBoardLineGenerator::RhTemperatureCountOf(double Celsius)
{
    return static_cast<std::int32_t>(std::lround(39919 + (Celsius - 25) * 206.31));
}

void TBoardLineGenerator::Drift()
{
    for (TWander* W : {&FPressure, &FIrObject, &FIrAmbient, &FT1, &FT2, &FRh, &FRhTemperature})
        Wander(*W);
    // Two decimals are all the board sends.
    auto Hundredths = [](double V) { return std::round(V * 100) / 100; };
    FReadings.PressureCount = PressureCountOf(FPressure.Value);
    FReadings.IrObject = Hundredths(FIrObject.Value);
    FReadings.IrAmbient = Hundredths(FIrAmbient.Value);
    FReadings.T1 = Hundredths(FT1.Value);
    FReadings.T2 = Hundredths(FT2.Value);
    FReadings.RhCount = RhCountOf(FRh.Value);
    FReadings.RhTemperatureCount = RhTemperatureCountOf(FRhTemperature.Value);
}

std::string TBoardLineGenerator::Record() const
{
    std::vector<std::string> Tokens;
    const TBoardReadings& R = FReadings;
    if (FBoard == TBoardKind::I2c5V) {
        Tokens.push_back(std::to_string(R.PressureCount));
        if (WithIr) {
            Tokens.push_back(Temperature(R.IrObject));
            Tokens.push_back(Temperature(R.IrAmbient));
        }
    } else {
        if (WithIr) {
            Tokens.push_back(Temperature(R.IrObject));
            Tokens.push_back(Temperature(R.IrAmbient));
        }
        // Without both pairs the line would be T1 and T2 alone, which the
        // board never sends.
        if (WithRh || !WithIr) {
            Tokens.push_back(std::to_string(R.RhCount));
            Tokens.push_back(std::to_string(R.RhTemperatureCount));
        }
    }
    Tokens.push_back(Temperature(R.T1));
    Tokens.push_back(Temperature(R.T2));
    return Join(Tokens);
}

TBoardOutput TBoardLineGenerator::Next()
{
    Drift();
    TBoardOutput Out;
    std::string Record = this->Record();
    if (FaultRate > 0 && Uniform() < FaultRate)
        Out.Fault = static_cast<TLineFault>(1 + Pick(4));

    switch (Out.Fault) {
    case TLineFault::None:
        break;
    case TLineFault::FailedSensor: {
        // T2, T1 or the reading before them.
        std::vector<std::string> Tokens = Split(Record);
        Tokens[Tokens.size() - 1 - Pick(3)] = "*";
        Record = Join(Tokens);
        break;
    }
    case TLineFault::ShortLine:
        if (Uniform() < 0.5) {
            const std::vector<std::string> Tokens = Split(Record);
            Record = Join(Tokens, 1 + Pick(Tokens.size()));
        } else {
            Record.resize(Pick(Record.size() - 1));
        }
        break;
    case TLineFault::Garbage: {
        const std::size_t Length = 1 + Pick(24);
        for (std::size_t I = 0; I < Length; ++I)
            Out.Bytes += static_cast<char>(Pick(256));
        break;
    }
    case TLineFault::MissingCr:
        Out.Bytes += '\n' + Record;
        return Out;
    }
    Out.Bytes += '\n' + Record + '\r';
    return Out;
}

} // namespace kelvalog
