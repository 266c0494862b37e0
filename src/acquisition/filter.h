#pragma once

#include "acquisition/channel.h"

namespace kelvalog {

// Item indices of FilterType; any other index leaves Filtered unchanged.
constexpr int FilterNone = 0;          // "No filtering"
constexpr int FilterMovingAverage = 1; // "Moving Average"
constexpr int FilterLowPass = 2;       // "Low Pass"

// The filter controls as read at a tick.
struct TFilterSettings
{
    int FilterType = FilterNone; // item index of FilterType
    int MarSize = 1;             // value of MarFilterSizeField (N)
    double SliderPosition = 1.0; // position of FilterSlider (p, percent)
};

// One filter step over channel.Sample, for a channel whose period was valid.
// Throws ERangeError when the moving-average window reaches beyond the
// buffer; the channel's Filtered, MarPrime, MarSum and MarBuffer are then
// left as they were.
void FilterStep(TChannel& Channel, const TFilterSettings& Settings);

} // namespace kelvalog
