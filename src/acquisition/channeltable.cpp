#include "acquisition/channeltable.h"

namespace kelvalog {

TChannel& TChannelTable::operator[](int channel)
{
    if (channel < 0 || channel >= ChannelCount)
        throw ERangeError();
    return Channels[static_cast<std::size_t>(channel)];
}

const TChannel& TChannelTable::operator[](int channel) const
{
    if (channel < 0 || channel >= ChannelCount)
        throw ERangeError();
    return Channels[static_cast<std::size_t>(channel)];
}

std::optional<TFieldUpdate> TChannelTable::AddReading(unsigned channel, float value, bool average,
                                                      int board)
{
    if (channel >= static_cast<unsigned>(ChannelCount))
        throw ERangeError();
    TChannel& c = (*this)[static_cast<int>(channel)];
    if (average) {
        c.Sum = static_cast<float>(static_cast<double>(c.Sum) + value);
        ++c.Count;
    } else {
        c.Sum = value;
        c.Count = 1;
    }
    const auto field = FieldOf(board, channel, TFieldKind::Actual);
    if (!field)
        return std::nullopt;
    return TFieldUpdate{*field, value, true};
}

TLineUpdates TChannelTable::AddLine(std::string_view line, const TDecoderInputs& inputs,
                                    bool average)
{
    TLineUpdates updates;
    for (const TReading& reading : DecodeLine(line, inputs)) {
        if (const auto update = AddReading(reading.Channel, reading.Value, average, inputs.Board))
            updates.push_back(*update);
    }
    return updates;
}

TTickUpdates TChannelTable::SampleTick(const TFilterSettings& filter, int board)
{
    TTickUpdates updates;
    SampleTick(filter, board, updates);
    return updates;
}

void TChannelTable::SampleTick(const TFilterSettings& filter, int board, TTickUpdates& updates)
{
    for (unsigned index = 0; index < static_cast<unsigned>(ChannelCount); ++index) {
        TChannel& c = Channels[index];
        if (c.Count > 0) {
            c.Sample = static_cast<float>(static_cast<double>(c.Sum) / c.Count);
            c.Valid = true;
        } else {
            c.Valid = false;
            c.Sample = 0.0f;
        }
        c.Sum = 0.0f;
        c.Count = 0;
        // An empty period leaves the filter state alone.
        if (c.Valid)
            FilterStep(c, filter);
        if (const auto sampled = FieldOf(board, index, TFieldKind::Sampled)) {
            updates.push_back({*sampled, c.Sample, c.Valid});
            updates.push_back({*FieldOf(board, index, TFieldKind::Filtered), c.Filtered, c.Valid});
        }
    }
}

TResetUpdates TChannelTable::StartSampling()
{
    for (TChannel& c : Channels) {
        c.Valid = false;
        c.Sum = 0.0f;
        c.Count = 0;
        c.MarPrime = true;
    }
    TResetUpdates updates;
    for (int index = 0; index < DisplayFieldCount; ++index)
        updates[static_cast<std::size_t>(index)] = {FieldAt(index), 0.0f, false};
    return updates;
}

} // namespace kelvalog
