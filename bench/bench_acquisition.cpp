// Decoding throughput of board lines through the channel table, and the cost
// of one sampling tick with the largest moving-average window.

#include "acquisition/channeltable.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace kelvalog;

namespace {

TDecoderInputs Inputs(int board)
{
    TDecoderInputs in;
    in.Board = board;
    in.PressureLower = 600;
    in.PressureUpper = 1025;
    in.TambRhSpan = 1.0;
    in.RhSpan = 1.0;
    return in;
}

void DecodeLines(benchmark::State& state, int board, std::vector<std::string> lines)
{
    TChannelTable table;
    table.StartSampling();
    const TDecoderInputs in = Inputs(board);
    std::size_t next = 0;
    for (auto _ : state) {
        const TLineUpdates updates = table.AddLine(lines[next], in, true);
        benchmark::DoNotOptimize(updates);
        next = next + 1 == lines.size() ? 0 : next + 1;
        // Keep the counts bounded as a real period would.
        if (table[0].Count > 100000)
            table.StartSampling();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("lines");
}

void BM_DecodeLine5V(benchmark::State& state)
{
    DecodeLines(state, Board5V,
                {"1234 23.45 21.50 22.10 22.30 ", "29491 21.00 22.00 ",
                 "16384 24.01 21.99 22.35 22.41 ", "1234 23.45 21.50 22.10 * "});
}
BENCHMARK(BM_DecodeLine5V);

void BM_DecodeLine3V(benchmark::State& state)
{
    DecodeLines(state, Board3V,
                {"23.45 21.50 24994 39919 22.10 22.30 ", "24994 39919 22.10 22.30 ",
                 "23.45 21.50 22.10 22.30 ", "24.01 21.75 25110 40122 22.35 22.41 "});
}
BENCHMARK(BM_DecodeLine3V);

void BM_SampleTickMovingAverage1000(benchmark::State& state)
{
    TChannelTable table;
    table.StartSampling();
    const TFilterSettings filter{FilterMovingAverage, 1000, 1.0};
    float value = 20.0f;
    for (auto _ : state) {
        state.PauseTiming();
        for (unsigned channel = 0; channel < ChannelCount; ++channel)
            table.AddReading(channel, value, true, Board3V);
        value += 0.01f;
        state.ResumeTiming();
        const TTickUpdates updates = table.SampleTick(filter, Board3V);
        benchmark::DoNotOptimize(updates);
    }
    state.SetLabel("ticks of 8 channels");
}
BENCHMARK(BM_SampleTickMovingAverage1000);

// The same with the readings added inside the timed loop: no pause overhead.
void BM_ReadingsAndTickMovingAverage1000(benchmark::State& state)
{
    TChannelTable table;
    table.StartSampling();
    const TFilterSettings filter{FilterMovingAverage, 1000, 1.0};
    float value = 20.0f;
    for (auto _ : state) {
        for (unsigned channel = 0; channel < ChannelCount; ++channel)
            table.AddReading(channel, value, true, Board3V);
        value += 0.01f;
        const TTickUpdates updates = table.SampleTick(filter, Board3V);
        benchmark::DoNotOptimize(updates);
    }
}
BENCHMARK(BM_ReadingsAndTickMovingAverage1000);

} // namespace

BENCHMARK_MAIN();
