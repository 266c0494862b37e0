// The trend: the cost of recording one tick of eight channels, and of
// redrawing a 1200-pixel-wide trend window over a week of 1-second samples.
// For comparison, the same lines handed to the chart's own line series.

#include "acquisition/displayfields.h"
#include "acquisition/trendstore.h"
#include "trend/trendwindow.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using namespace kelvalog;

namespace {

constexpr std::int64_t T0 = 1'767'225'600'000;
constexpr std::int64_t Week = 7 * 24 * 3600;

TTrendTick TickAt(std::int64_t Second)
{
    TTrendTick T;
    T.Time = T0 + Second * 1000;
    for (int C = 0; C < ChannelCount; ++C) {
        const double Wave = std::sin(double(Second) / (300.0 + 40 * C));
        T.Sample[std::size_t(C)] = float(20.0 + C + Wave + 0.1 * ((Second * 7919 + C) % 13));
        T.Filtered[std::size_t(C)] = float(20.0 + C + Wave);
    }
    T.Sample[0] = 1000.0f + T.Sample[0];
    return T;
}

const TTrendStore& WeekStore()
{
    static const std::unique_ptr<TTrendStore> Store = [] {
        auto S = std::make_unique<TTrendStore>();
        for (std::int64_t I = 0; I < Week; ++I)
            S->Append(TickAt(I));
        return S;
    }();
    return *Store;
}

void BM_TrendAppendTick(benchmark::State& State)
{
    TTrendStore Store;
    std::int64_t Second = 0;
    // Ticks made beforehand, so that only the store is measured.
    std::vector<TTrendTick> Ticks;
    for (int I = 0; I < 4096; ++I)
        Ticks.push_back(TickAt(I));
    for (auto _ : State) {
        TTrendTick& T = Ticks[std::size_t(Second & 4095)];
        T.Time = T0 + Second * 1000;
        Store.Append(T);
        ++Second;
    }
    State.SetItemsProcessed(State.iterations());
    State.counters["MB"] = double(Store.MemoryBytes()) / (1024 * 1024);
}
BENCHMARK(BM_TrendAppendTick);

void BM_TrendWindowRedrawWeek(benchmark::State& State)
{
    const TTrendStore& Store = WeekStore();
    TTrendWindow Window(Store);
    Window.SetBoard(Board5V);
    Window.SetFiltered(true);
    Window.SetSpan(int(State.range(0)));
    Window.resize(1200, 800);
    // Laid out as when shown, painted only here.
    Window.setAttribute(Qt::WA_DontShowOnScreen);
    Window.show();
    QApplication::processEvents();
    QImage Image(Window.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : State) {
        // What a tick does to a shown window: new lines and axes, the
        // layout, then one paint.
        Window.Refresh();
        QApplication::processEvents();
        Window.render(&Image);
        benchmark::DoNotOptimize(Image.bits());
    }
}
// The two halves apart: new lines and axes, and the paint alone.
void BM_TrendWindowParts(benchmark::State& State)
{
    const TTrendStore& Store = WeekStore();
    TTrendWindow Window(Store);
    Window.SetBoard(Board5V);
    Window.SetFiltered(true);
    Window.SetSpan(0);
    Window.resize(1200, 800);
    Window.show();
    QApplication::processEvents();
    QImage Image(Window.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : State) {
        if (State.range(0) == 0) {
            Window.Refresh();
            QApplication::processEvents();
        } else {
            Window.render(&Image);
        }
        benchmark::DoNotOptimize(Image.bits());
    }
}
BENCHMARK(BM_TrendWindowParts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_TrendWindowRedrawWeek)
    ->Arg(0)
    ->Arg(24 * 3600)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond);

// The chart's own line series with the same number of points (two a column
// for ten lines): what the window would cost without its own curve item.
void BM_ChartLineSeriesWeek(benchmark::State& State)
{
    auto* Chart = new QChart;
    QChartView View(Chart);
    auto* X = new QValueAxis;
    auto* Y = new QValueAxis;
    Chart->addAxis(X, Qt::AlignBottom);
    Chart->addAxis(Y, Qt::AlignLeft);
    X->setRange(0, 2400);
    Y->setRange(0, 40);
    std::vector<QLineSeries*> Series;
    for (int L = 0; L < 10; ++L) {
        auto* S = new QLineSeries;
        Chart->addSeries(S);
        S->attachAxis(X);
        S->attachAxis(Y);
        Series.push_back(S);
    }
    View.resize(1200, 800);
    View.show();
    QApplication::processEvents();
    QImage Image(View.size(), QImage::Format_ARGB32_Premultiplied);
    QList<QPointF> Points(2400);
    int Round = 0;
    for (auto _ : State) {
        for (int L = 0; L < 10; ++L) {
            for (int I = 0; I < 2400; ++I)
                Points[I] = QPointF(I, 20 + 10 * std::sin((I + Round + L * 50) / 40.0));
            Series[std::size_t(L)]->replace(Points);
        }
        ++Round;
        QApplication::processEvents();
        View.QWidget::render(&Image);
        benchmark::DoNotOptimize(Image.bits());
    }
}
BENCHMARK(BM_ChartLineSeriesWeek)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication Application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
