// The history on disk: one tick's transaction on the writer thread, the
// window thread's hand-over of a tick, opening a week of 1-second history
// into the trend, and exporting that week to CSV. The store lives in the
// current folder (the build's disk), as the user's would.

#include "acquisition/trendstore.h"
#include "history/historyexport.h"
#include "history/historystore.h"
#include "history/historywriter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace kelvalog;

namespace {

constexpr std::int64_t T0 = 1'767'225'600'000'000; // microseconds
constexpr std::int64_t Week = 7 * 24 * 3600;

THistoryTick TickAt(std::int64_t Second)
{
    THistoryTick T;
    T.Time = T0 + Second * 1'000'000;
    T.Board = 0;
    T.Filter = 1;
    T.Valid = 0x1f;
    for (int C = 0; C < 5; ++C) {
        const double Wave = std::sin(double(Second) / (300.0 + 40 * C));
        T.Sample[std::size_t(C)] = float(20.0 + C + Wave + 0.1 * ((Second * 7919 + C) % 13));
        T.Filtered[std::size_t(C)] = float(20.0 + C + Wave);
    }
    return T;
}

std::string Folder()
{
    static const std::string Path = [] {
        const std::string P = "bench-history-" + std::to_string(::getpid());
        std::filesystem::create_directories(P);
        return P;
    }();
    return Path;
}

// A week of 1-second ticks, written once.
const std::string& WeekFile()
{
    static const std::string Path = [] {
        const std::string P = Folder() + "/week.sqlite";
        THistoryStore Store(P, THistoryStore::TMode::Write);
        Store.BeginRun(T0);
        std::vector<THistoryTick> Batch;
        for (std::int64_t S = 0; S < Week; ++S) {
            Batch.push_back(TickAt(S));
            if (Batch.size() == 4096) {
                Store.Append(Batch);
                Batch.clear();
            }
        }
        Store.Append(Batch);
        Store.Flush();
        return P;
    }();
    return Path;
}

void BM_InsertTickOnWriterThread(benchmark::State& State)
{
    const std::string Path = Folder() + "/insert.sqlite";
    std::filesystem::remove(Path);
    THistoryStore Store(Path, THistoryStore::TMode::Write);
    Store.BeginRun(T0);
    std::int64_t S = 0;
    for (auto _ : State) {
        const THistoryTick Tick = TickAt(S++);
        Store.Append({&Tick, 1});
    }
}
BENCHMARK(BM_InsertTickOnWriterThread)->Unit(benchmark::kMicrosecond);

void BM_HandTickToWriter(benchmark::State& State)
{
    const std::string Path = Folder() + "/push.sqlite";
    std::filesystem::remove(Path);
    THistoryWriter Writer(Path, 1ull << 30);
    Writer.BeginRun(T0);
    std::int64_t S = 0;
    for (auto _ : State) {
        Writer.Push(TickAt(S++));
        // A second's worth of room for the writer, as between real ticks.
        State.PauseTiming();
        while (Writer.Status().Waiting > 0)
            ::usleep(50);
        State.ResumeTiming();
    }
}
BENCHMARK(BM_HandTickToWriter)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_OpenWeekIntoTrend(benchmark::State& State)
{
    const std::string& Path = WeekFile();
    for (auto _ : State) {
        THistoryStore Store(Path, THistoryStore::TMode::Read);
        TTrendStore Trend;
        Store.SeedTrend(Trend);
        benchmark::DoNotOptimize(Trend.TickCount());
    }
}
BENCHMARK(BM_OpenWeekIntoTrend)->Unit(benchmark::kMillisecond);

void BM_ExportWeekCsv(benchmark::State& State)
{
    const std::string& Path = WeekFile();
    THistoryExport Request;
    Request.From = T0;
    Request.To = T0 + Week * 1'000'000;
    Request.OutPath = Folder() + "/week.csv";
    for (auto _ : State) {
        THistoryStore Store(Path, THistoryStore::TMode::Read);
        benchmark::DoNotOptimize(ExportHistory(Store, Request));
    }
    State.counters["bytes"] = double(std::filesystem::file_size(Request.OutPath));
}
BENCHMARK(BM_ExportWeekCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int Argc, char** Argv)
{
    benchmark::Initialize(&Argc, Argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
}
