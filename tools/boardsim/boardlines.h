#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace kelvalog {

// The two boards the simulator can be; named apart from the window's board indexes.
enum class TBoardKind { I2c5V, I2c3V3 };

// What is wrong with a generated line, if anything.
enum class TLineFault {
    None,
    FailedSensor, // a reading replaced by "*"
    ShortLine,    // leading tokens missing or the line cut off mid-token
    Garbage,      // noise bytes ahead of an intact line
    MissingCr     // the line's carriage return never comes
};

// The readings a board line carries, as the board sends them.
struct TBoardReadings
{
    std::int32_t PressureCount = 0; // 5 V board
    double IrObject = 0, IrAmbient = 0, T1 = 0, T2 = 0;
    std::int32_t RhCount = 0, RhTemperatureCount = 0; // 3.3 V board
};

struct TBoardOutput
{
    std::string Bytes; // what goes down the line, framing included
    TLineFault Fault = TLineFault::None;
};

// Produces the lines the interface board sends: tokens each followed by one
// space, framed by LF ... CR, with readings that drift slowly around room
// conditions. Deterministic for a given seed.
class TBoardLineGenerator
{
public:
    // The pressure counts assume a sensor spanning 600 to 1025 mbar over the
    // counts 3277 to 3277 + 26214.
    static constexpr double PressureLower = 600, PressureUpper = 1025;

    TBoardLineGenerator(TBoardKind Board, std::uint64_t Seed);

    bool WithIr = true;     // the IR pair (both boards)
    bool WithRh = true;     // the humidity pair (3.3 V board)
    double FaultRate = 0.0; // share of lines with a fault, 0 to 1

    TBoardKind Board() const { return FBoard; }
    // Moves the readings on by one line's time.
    void Drift();
    const TBoardReadings& Readings() const { return FReadings; }
    // The current readings as the board writes them, without framing.
    std::string Record() const;
    // Drifts and frames the next line, faulty at the configured rate.
    TBoardOutput Next();

    static std::int32_t PressureCountOf(double Mbar);
    static std::int32_t RhCountOf(double Percent);
    static std::int32_t RhTemperatureCountOf(double Celsius);

private:
    struct TWander
    {
        double Value, Mean, Step, Low, High;
    };

    TBoardKind FBoard;
    std::mt19937_64 FRandom;
    TWander FPressure{1004.0, 1004.0, 0.04, 950, 1025};
    TWander FIrObject{29.5, 29.5, 0.03, 5, 80};
    TWander FIrAmbient{23.2, 23.2, 0.01, 5, 50};
    TWander FT1{21.8, 21.8, 0.01, 5, 50};
    TWander FT2{22.4, 22.4, 0.01, 5, 50};
    TWander FRh{45.0, 45.0, 0.05, 10, 90};
    TWander FRhTemperature{23.0, 23.0, 0.01, 5, 50};
    TBoardReadings FReadings;

    void Wander(TWander& W);
    double Uniform();
    std::size_t Pick(std::size_t Count);
};

const char* BoardName(TBoardKind Board);

} // namespace kelvalog
