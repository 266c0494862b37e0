// Board lines of arbitrary bytes through the decoder of both boards, then
// through the channel table and one sampling tick with each filter.

#include "acquisition/channeltable.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

using namespace kelvalog;

namespace {

template <typename T> T Take(const std::uint8_t*& data, std::size_t& size, T fallback)
{
    if (size < sizeof(T))
        return fallback;
    T value;
    std::memcpy(&value, data, sizeof(T));
    data += sizeof(T);
    size -= sizeof(T);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A line is any run of bytes; a leading selector byte picks the settings
    // so the fuzzer also reaches unusual ranges and adjust values.
    const std::uint8_t selector = Take<std::uint8_t>(data, size, 0);
    TDecoderInputs inputs;
    inputs.PressureLower = 600;
    inputs.PressureUpper = 1025;
    inputs.TambRhSpan = 1.0;
    inputs.RhSpan = 1.0;
    if (selector & 0x80) {
        inputs.PressureLower = Take<std::int32_t>(data, size, 0);
        inputs.PressureUpper = Take<std::int32_t>(data, size, 0);
        inputs.TambRhSpan = Take<double>(data, size, 0.0);
        inputs.TambRhOffset = Take<double>(data, size, 0.0);
        inputs.RhSpan = Take<double>(data, size, 0.0);
        inputs.RhOffset = Take<double>(data, size, 0.0);
    }
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    for (int board : {Board5V, Board3V, -1}) {
        inputs.Board = board;
        const TReadings readings = DecodeLine(line, inputs);
        if (readings.size() > 6)
            __builtin_trap();
        for (const TReading& reading : readings)
            if (reading.Channel >= static_cast<unsigned>(ChannelCount))
                __builtin_trap();

        TChannelTable table;
        table.StartSampling();
        const bool average = selector & 1;
        table.AddLine(line, inputs, average);
        table.AddLine(line, inputs, !average);
        const int filterType = (selector >> 1) % 4;
        const int marSize = 1 + (selector >> 3) % 16;
        const double slider = 1 + (selector % 99);
        const TTickUpdates updates = table.SampleTick({filterType, marSize, slider}, board);
        table.AddLine(line, inputs, average);
        // A second window size takes the moving average through a size change.
        const int nextMarSize = 1 + (selector >> 2) % 24;
        table.SampleTick({filterType, nextMarSize, slider}, board);
        if (updates.size() > 12)
            __builtin_trap();
    }
    return 0;
}
