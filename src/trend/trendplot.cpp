#include "trend/trendplot.h"

#include "trend/trendcurves.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetrics>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvalog {

namespace {

QColor Lighter(const QColor& C)
{
    // The same hue, washed towards white.
    return QColor::fromHsvF(C.hsvHueF(), C.hsvSaturationF() * 0.4f,
                            std::min(1.0f, C.valueF() + 0.3f));
}

} // namespace

TTrendPlot::TTrendPlot(const TTrendStore& Store, const TTrendPlotSpec& Spec, QWidget* Parent)
    : QChartView(Parent), FStore(Store), FSpec(Spec)
{
    auto* Chart = new QChart;
    Chart->setAnimationOptions(QChart::NoAnimation);
    Chart->setMargins(QMargins(4, 4, 4, 4));
    Chart->setBackgroundRoundness(0);
    Chart->legend()->setAlignment(Qt::AlignTop);
    FTimeAxis = new QDateTimeAxis;
    FTimeAxis->setTickCount(7);
    FValueAxis = new QValueAxis;
    FValueAxis->setTitleText(Spec.Title);
    Chart->addAxis(FTimeAxis, Qt::AlignBottom);
    Chart->addAxis(FValueAxis, Qt::AlignLeft);
    // Empty series: they give the legend its names and colours and the
    // chart a mapping between values and pixels.
    for (const TTrendChannel& Channel : Spec.Channels) {
        auto* Series = new QLineSeries;
        Series->setName(Channel.Name);
        Series->setPen(QPen(Channel.Colour, 2));
        Chart->addSeries(Series);
        Series->attachAxis(FTimeAxis);
        Series->attachAxis(FValueAxis);
        FLegend.push_back(Series);
    }
    FCurves = new TTrendCurves(Chart);
    FCurves->setZValue(100);
    setChart(Chart);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    // A new width asks for other columns. The chart reports it in the middle
    // of its own range changes, so the new extract waits until they are done.
    connect(
        Chart, &QChart::plotAreaChanged, this,
        [this](const QRectF& Area) {
            if (int(Area.width()) != FColumns)
                Extract();
            PlaceCurves();
        },
        Qt::QueuedConnection);
}

TTrendPlot::~TTrendPlot() = default;

void TTrendPlot::SetTimeLabels(bool Visible, const QString& Format)
{
    if (FTimeAxis->labelsVisible() != Visible)
        FTimeAxis->setLabelsVisible(Visible);
    if (FTimeAxis->format() != Format)
        FTimeAxis->setFormat(Format);
}

void TTrendPlot::SetLeftIndent(int Indent)
{
    // Only the extra room moves: the chart lays out the rest itself.
    // A plot without time labels keeps the room that the last label's
    // overhang takes in the others.
    const int Right = FTimeAxis->labelsVisible()
                          ? 0
                          : QFontMetrics(FTimeAxis->labelsFont())
                                    .horizontalAdvance(QDateTime::fromMSecsSinceEpoch(FTo).toString(
                                        FTimeAxis->format())) /
                                2;
    const QMargins Margins(4 + Indent, 4, 4 + Right, 4);
    FLeftIndent = Indent;
    if (chart()->margins() != Margins)
        chart()->setMargins(Margins);
}

int TTrendPlot::LabelWidth() const
{
    // The value labels as the axis writes them, in the axis' font.
    const QFontMetrics Metrics(FValueAxis->labelsFont());
    const QByteArray Format = FValueAxis->labelFormat().toLatin1();
    const int Ticks = std::max(2, FValueAxis->tickCount());
    const double Step = (FValueAxis->max() - FValueAxis->min()) / (Ticks - 1);
    int Widest = 0;
    for (int I = 0; I < Ticks; ++I)
        Widest = std::max(Widest, Metrics.horizontalAdvance(QString::asprintf(
                                      Format.constData(), FValueAxis->min() + I * Step)));
    return Widest;
}

void TTrendPlot::ShowSpan(std::int64_t From, std::int64_t To, bool Filtered)
{
    FFrom = From;
    FTo = std::max(To, From + 1);
    FFiltered = Filtered;
    Extract();
    PlaceCurves();
}

void TTrendPlot::Extract()
{
    FColumns = std::max(1, int(chart()->plotArea().width()));
    auto& Lines = FCurves->Lines();
    Lines.resize(FSpec.Channels.size() * 2);
    float Low = std::numeric_limits<float>::infinity();
    float High = -Low;
    for (std::size_t I = 0; I < FSpec.Channels.size(); ++I) {
        const TTrendChannel& Channel = FSpec.Channels[I];
        // The smooth filtered line goes over the noisier sampled ones.
        TTrendCurves::TLine& Sampled = Lines[I];
        TTrendCurves::TLine& Filtered = Lines[FSpec.Channels.size() + I];
        Filtered.Pen = QPen(Lighter(Channel.Colour), 1);
        Filtered.Passes = 2;
        Sampled.Pen = QPen(Channel.Colour, 1);
        FStore.Extract(Channel.Channel, TTrendSeries::Sample, FFrom, FTo, FColumns, Sampled.Points);
        if (FFiltered)
            FStore.Extract(Channel.Channel, TTrendSeries::Filtered, FFrom, FTo, FColumns,
                           Filtered.Points);
        else
            Filtered.Points.clear();
        for (const auto* Line : {&Sampled, &Filtered})
            for (const TTrendPoint& P : Line->Points)
                if (!std::isnan(P.Value)) {
                    Low = std::min(Low, P.Value);
                    High = std::max(High, P.Value);
                }
    }
    if (!(Low <= High)) {
        Low = 0;
        High = 1;
    } else if (Low == High) {
        Low -= 1;
        High += 1;
    }
    // The chart's own rounding, worked out on an axis of no chart: the
    // plot's axis changes once, so its labels and the plot area settle.
    QValueAxis Nice;
    Nice.setTickCount(FValueAxis->tickCount());
    Nice.setRange(Low, High);
    Nice.applyNiceNumbers();
    if (Nice.tickCount() != FValueAxis->tickCount())
        FValueAxis->setTickCount(Nice.tickCount());
    FValueAxis->setRange(Nice.min(), Nice.max());
    // As many decimals as the steps need, the same for every label, so that
    // no label is wider than the others and cut short.
    const double Step = (Nice.max() - Nice.min()) / std::max(1, Nice.tickCount() - 1);
    int Decimals = 0;
    while (Decimals < 6 && std::abs(Step * std::pow(10.0, Decimals) -
                                    std::round(Step * std::pow(10.0, Decimals))) > 1e-6)
        ++Decimals;
    const QString Format = QStringLiteral("%.") + QString::number(Decimals) + QLatin1Char('f');
    if (FValueAxis->labelFormat() != Format)
        FValueAxis->setLabelFormat(Format);
    FTimeAxis->setRange(QDateTime::fromMSecsSinceEpoch(FFrom), QDateTime::fromMSecsSinceEpoch(FTo));
}

void TTrendPlot::PlaceCurves()
{
    QChart* Chart = chart();
    const QRectF Area = Chart->plotArea();
    QLineSeries* Any = FLegend.empty() ? nullptr : FLegend.front();
    if (!Any)
        return;
    TTrendCurves::TMapping Mapping;
    Mapping.ValueA = QPointF(double(FFrom), FValueAxis->min());
    Mapping.ValueB = QPointF(double(FTo), FValueAxis->max());
    Mapping.PixelA = Chart->mapToPosition(Mapping.ValueA, Any);
    Mapping.PixelB = Chart->mapToPosition(Mapping.ValueB, Any);
    FCurves->SetArea(Area, Mapping);
}

void TTrendPlot::mouseMoveEvent(QMouseEvent* Event)
{
    QChartView::mouseMoveEvent(Event);
    const QPointF At = chart()->mapFromScene(mapToScene(Event->position().toPoint()));
    if (!OnPointerTime || FLegend.empty() || !chart()->plotArea().contains(At))
        return;
    const QPointF Value = chart()->mapToValue(At, FLegend.front());
    OnPointerTime(static_cast<std::int64_t>(std::llround(Value.x())));
}

} // namespace kelvalog
