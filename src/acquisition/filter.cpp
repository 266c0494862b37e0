#include "acquisition/filter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kelvalog {

namespace {

void MovingAverageStep(TChannel& channel, int size)
{
    const float sample = channel.Sample;
    if (size < 2) {
        channel.Filtered = sample;
        return;
    }
    // The oldest entry of the window is the highest index touched: testing it
    // first keeps the whole channel untouched when the window does not fit.
    const int oldest = TMarBuffer::Checked(size - 1);
    TMarBuffer& buffer = channel.MarBuffer;
    if (channel.MarPrime) {
        std::fill(buffer.data(), buffer.data() + size, sample);
        channel.MarSum = static_cast<float>(static_cast<double>(size) * sample);
        channel.MarSize = size;
        channel.Filtered = sample;
        channel.MarPrime = false;
        return;
    }
    // A new size continues with the entries the register holds, but the
    // running sum of the old window would stay off by the entries that
    // joined or left it for good: sum the new window once.
    if (channel.MarSize != size) {
        channel.MarSum = static_cast<float>(
            std::accumulate(buffer.data(), buffer.data() + size, 0.0,
                            [](double sum, float entry) { return sum + entry; }));
        channel.MarSize = size;
    }
    // While the size stays, the running sum is only corrected, never
    // recomputed from the buffer.
    channel.MarSum = static_cast<float>(static_cast<double>(channel.MarSum) - buffer[oldest]);
    std::copy_backward(buffer.data(), buffer.data() + oldest, buffer.data() + size);
    buffer[0] = sample;
    channel.MarSum = static_cast<float>(static_cast<double>(channel.MarSum) + sample);
    channel.Filtered = static_cast<float>(static_cast<double>(channel.MarSum) / size);
}

void LowPassStep(TChannel& channel, double position)
{
    const double sample = channel.Sample;
    const double filtered = channel.Filtered;
    // A step of more than one unit restarts the filter at the new sample.
    if (std::fabs(filtered - sample) > 1.0)
        channel.Filtered = channel.Sample;
    else
        channel.Filtered =
            static_cast<float>(filtered + (sample - filtered) * (100.0 - position) / 100.0);
}

} // namespace

void FilterStep(TChannel& channel, const TFilterSettings& settings)
{
    switch (settings.FilterType) {
    case FilterNone:
        channel.Filtered = channel.Sample;
        break;
    case FilterMovingAverage:
        MovingAverageStep(channel, settings.MarSize);
        break;
    case FilterLowPass:
        LowPassStep(channel, settings.SliderPosition);
        break;
    default:
        break;
    }
}

} // namespace kelvalog
