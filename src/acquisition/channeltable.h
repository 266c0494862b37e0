#pragma once

#include "acquisition/boundedlist.h"
#include "acquisition/channel.h"
#include "acquisition/decoder.h"
#include "acquisition/displayfields.h"
#include "acquisition/filter.h"

#include <array>
#include <optional>
#include <string_view>

namespace kelvalog {

// What a tick paints: sampled and filtered field of each shown channel.
using TTickUpdates = TBoundedList<TFieldUpdate, 2 * ChannelCount>;
// What a line paints: the actual field of each reading that has one.
using TLineUpdates = TBoundedList<TFieldUpdate, TReadings::capacity()>;
// What StartSampling paints: all 33 fields, in FieldIndex order.
using TResetUpdates = std::array<TFieldUpdate, DisplayFieldCount>;

// The eight measurement channels and their sampling cycle. The operations
// change the table and return what the display fields must show; the
// caller paints them (and runs the sampling timer and the log hand-off).
class TChannelTable
{
public:
    // Range-checked: a channel number outside 0..7 raises ERangeError.
    TChannel& operator[](int Channel);
    const TChannel& operator[](int Channel) const;
    static constexpr int size() { return ChannelCount; }

    // Adds one reading to its channel: summed while "Average" is ticked,
    // otherwise it replaces the period's earlier readings. Returns the
    // actual field to show the reading in (live), if the board shows that
    // channel.
    std::optional<TFieldUpdate> AddReading(unsigned Channel, float Value, bool Average, int Board);

    // Decodes a board line and adds its readings in order.
    TLineUpdates AddLine(std::string_view Line, const TDecoderInputs& Inputs, bool Average);

    // Closes the sampling period of all eight channels: forms each sample,
    // filters the valid ones and returns the sampled and filtered field of
    // every channel the board shows (live when the period had a reading).
    TTickUpdates SampleTick(const TFilterSettings& Filter, int Board);
    // The same, appending to `Updates`. When a filter step raises
    // ERangeError the tick ends there; `Updates` then holds the fields of
    // the channels already processed.
    void SampleTick(const TFilterSettings& Filter, int Board, TTickUpdates& Updates);

    // Going on line: empties the periods, re-primes the moving averages and
    // clears all 33 fields of both boards to a greyed 0. Sample, Filtered,
    // MarBuffer and MarSum carry over.
    TResetUpdates StartSampling();

private:
    std::array<TChannel, ChannelCount> FChannels{};
};

} // namespace kelvalog
