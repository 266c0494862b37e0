// Time to write one worksheet record (date and five values, six cells): into
// a live Calc sheet when the program is built with the Calc server, and over
// the recording server for the writer's own share.
#include "logging/automation/automationregistry.h"
#include "logging/automation/recordingserver.h"
#include "logging/automation/worksheetwriter.h"

#ifdef KELVALOG_HAVE_CALC
#include "logging/calc/calcoffice.h"
#include "logging/calc/calcserver.h"

#include <cstdlib>
#endif

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using namespace kelvalog;

TLogRecordValues SixCells()
{
    TLogRecordValues values;
    for (int channel = 0; channel < 5; ++channel)
        values.Channels[channel] = {true, 20.0f + 0.37f * static_cast<float>(channel)};
    return values;
}

void WriteRecords(benchmark::State& state, const char* progId)
{
    TWorksheetWriter writer(TLocaleFacts{}, LocalNow, progId);
    try {
        writer.Open("");
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    const TLogRecordValues values = SixCells();
    std::vector<double> milliseconds;
    std::int32_t row = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        writer.WriteRecord(values, row++);
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    if (!milliseconds.empty())
        state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    try {
        writer.Close();
    } catch (const std::exception&) {
    }
}

void BM_WorksheetRecordRecording(benchmark::State& state)
{
    RegisterRecordingServer(RecordingServerProgId, std::make_shared<TRecordingJournal>());
    WriteRecords(state, RecordingServerProgId);
    UnregisterAutomationServer(RecordingServerProgId);
}
BENCHMARK(BM_WorksheetRecordRecording)->Iterations(2000);

#ifdef KELVALOG_HAVE_CALC
void BM_WorksheetRecordCalc(benchmark::State& state)
{
    // Nobody watches this sheet: an office without a window, which ends
    // with the log.
    ::setenv(HeadlessOfficeVariable, "1", 1);
    RegisterCalcServer();
    WriteRecords(state, CalcServerProgId);
}
BENCHMARK(BM_WorksheetRecordCalc)->Iterations(500)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
