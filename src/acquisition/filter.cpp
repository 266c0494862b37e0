#include "acquisition/filter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kelvalog {

namespace {

void MovingAverageStep(TChannel& Channel, int Size)
{
    const float Sample = Channel.Sample;
    if (Size < 2) {
        Channel.Filtered = Sample;
        return;
    }
    // The oldest entry of the window is the highest index touched: testing it
    // first keeps the whole channel untouched when the window does not fit.
    const int Oldest = TMarBuffer::Checked(Size - 1);
    TMarBuffer& Buffer = Channel.MarBuffer;
    if (Channel.MarPrime) {
        std::fill(Buffer.data(), Buffer.data() + Size, Sample);
        Channel.MarSum = static_cast<float>(static_cast<double>(Size) * Sample);
        Channel.MarSize = Size;
        Channel.Filtered = Sample;
        Channel.MarPrime = false;
        return;
    }
    // A new size continues with the entries the register holds, but the
    // running sum of the old window would stay off by the entries that
    // joined or left it for good: sum the new window once.
    if (Channel.MarSize != Size) {
        Channel.MarSum = static_cast<float>(
            std::accumulate(Buffer.data(), Buffer.data() + Size, 0.0,
                            [](double Sum, float Entry) { return Sum + Entry; }));
        Channel.MarSize = Size;
    }
    // While the size stays, the running sum is only corrected, never
    // recomputed from the buffer.
    Channel.MarSum = static_cast<float>(static_cast<double>(Channel.MarSum) - Buffer[Oldest]);
    std::copy_backward(Buffer.data(), Buffer.data() + Oldest, Buffer.data() + Size);
    Buffer[0] = Sample;
    Channel.MarSum = static_cast<float>(static_cast<double>(Channel.MarSum) + Sample);
    Channel.Filtered = static_cast<float>(static_cast<double>(Channel.MarSum) / Size);
}

void LowPassStep(TChannel& Channel, double Position)
{
    const double Sample = Channel.Sample;
    const double Filtered = Channel.Filtered;
    // A step of more than one unit restarts the filter at the new sample.
    if (std::fabs(Filtered - Sample) > 1.0)
        Channel.Filtered = Channel.Sample;
    else
        Channel.Filtered =
            static_cast<float>(Filtered + (Sample - Filtered) * (100.0 - Position) / 100.0);
}

} // namespace

void FilterStep(TChannel& Channel, const TFilterSettings& Settings)
{
    switch (Settings.FilterType) {
    case FilterNone:
        Channel.Filtered = Channel.Sample;
        break;
    case FilterMovingAverage:
        MovingAverageStep(Channel, Settings.MarSize);
        break;
    case FilterLowPass:
        LowPassStep(Channel, Settings.SliderPosition);
        break;
    default:
        break;
    }
}

} // namespace kelvalog
