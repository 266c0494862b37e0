#pragma once

#include "common/rangeerror.h"

#include <array>
#include <cstdint>

namespace kelvalog {

constexpr int ChannelCount = 8;
constexpr int MarBufferSize = 1000;

// Moving-average history, newest sample at index 0. Every access tests the
// index; the filter's bulk shift tests the highest index it touches once.
class TMarBuffer
{
public:
    float& operator[](int Index) { return FEntries[Checked(Index)]; }
    float operator[](int Index) const { return FEntries[Checked(Index)]; }
    static constexpr int size() { return MarBufferSize; }

    // Raw storage for bulk moves whose bounds were tested beforehand.
    float* data() { return FEntries.data(); }
    const float* data() const { return FEntries.data(); }

    static int Checked(int Index)
    {
        if (Index < 0 || Index >= MarBufferSize)
            throw ERangeError();
        return Index;
    }

private:
    std::array<float, MarBufferSize> FEntries{};
};

// One measurement channel. Every stored number is a 32-bit float; the
// operations compute in double and round on each store.
struct TChannel
{
    bool Valid = false;      // the last closed period had a reading
    float Sum = 0.0f;        // readings of the current period (or the latest one)
    std::uint32_t Count = 0; // readings that Sum stands for
    float Sample = 0.0f;     // Sum / Count of the last closed period, else 0
    float Filtered = 0.0f;   // filter output, what the logs record
    TMarBuffer MarBuffer;
    float MarSum = 0.0f;   // running sum of the moving-average window
    bool MarPrime = false; // next valid sample fills the window
    int MarSize = 0;       // window size that MarSum stands for
};

} // namespace kelvalog
