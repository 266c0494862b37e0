#include "acquisition/channeltable.h"

namespace kelvalog {

TChannel& TChannelTable::operator[](int Channel)
{
    if (Channel < 0 || Channel >= ChannelCount)
        throw ERangeError();
    return FChannels[static_cast<std::size_t>(Channel)];
}

const TChannel& TChannelTable::operator[](int Channel) const
{
    if (Channel < 0 || Channel >= ChannelCount)
        throw ERangeError();
    return FChannels[static_cast<std::size_t>(Channel)];
}

std::optional<TFieldUpdate> TChannelTable::AddReading(unsigned Channel, float Value, bool Average,
                                                      int Board)
{
    if (Channel >= static_cast<unsigned>(ChannelCount))
        throw ERangeError();
    TChannel& C = (*this)[static_cast<int>(Channel)];
    if (Average) {
        C.Sum = static_cast<float>(static_cast<double>(C.Sum) + Value);
        ++C.Count;
    } else {
        C.Sum = Value;
        C.Count = 1;
    }
    const auto Field = FieldOf(Board, Channel, TFieldKind::Actual);
    if (!Field)
        return std::nullopt;
    return TFieldUpdate{*Field, Value, true};
}

TLineUpdates TChannelTable::AddLine(std::string_view Line, const TDecoderInputs& Inputs,
                                    bool Average)
{
    TLineUpdates Updates;
    for (const TReading& Reading : DecodeLine(Line, Inputs)) {
        if (const auto Update = AddReading(Reading.Channel, Reading.Value, Average, Inputs.Board))
            Updates.push_back(*Update);
    }
    return Updates;
}

TTickUpdates TChannelTable::SampleTick(const TFilterSettings& Filter, int Board)
{
    TTickUpdates Updates;
    SampleTick(Filter, Board, Updates);
    return Updates;
}

void TChannelTable::SampleTick(const TFilterSettings& Filter, int Board, TTickUpdates& Updates)
{
    for (unsigned Index = 0; Index < static_cast<unsigned>(ChannelCount); ++Index) {
        TChannel& C = FChannels[Index];
        if (C.Count > 0) {
            C.Sample = static_cast<float>(static_cast<double>(C.Sum) / C.Count);
            C.Valid = true;
        } else {
            C.Valid = false;
            C.Sample = 0.0f;
        }
        C.Sum = 0.0f;
        C.Count = 0;
        // An empty period leaves the filter state alone.
        if (C.Valid)
            FilterStep(C, Filter);
        if (const auto Sampled = FieldOf(Board, Index, TFieldKind::Sampled)) {
            Updates.push_back({*Sampled, C.Sample, C.Valid});
            Updates.push_back({*FieldOf(Board, Index, TFieldKind::Filtered), C.Filtered, C.Valid});
        }
    }
}

TResetUpdates TChannelTable::StartSampling()
{
    for (TChannel& C : FChannels) {
        C.Valid = false;
        C.Sum = 0.0f;
        C.Count = 0;
        C.MarPrime = true;
    }
    TResetUpdates Updates;
    for (int Index = 0; Index < DisplayFieldCount; ++Index)
        Updates[static_cast<std::size_t>(Index)] = {FieldAt(Index), 0.0f, false};
    return Updates;
}

} // namespace kelvalog
