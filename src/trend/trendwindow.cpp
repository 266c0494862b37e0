#include "trend/trendwindow.h"

#include "trend/trendchannels.h"
#include "trend/trendplot.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>

namespace kelvalog {

namespace {

const char* const SpanNames[] = {"10 min", "1 h", "8 h", "24 h", "All"};

} // namespace

TTrendWindow::TTrendWindow(const TTrendStore& Store, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FStore(Store)
{
    setObjectName(QStringLiteral("TrendWindow"));
    setWindowTitle(QStringLiteral("Kelvalog: Trend"));
    resize(900, 600);

    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(6, 6, 6, 6);
    auto* Bar = new QHBoxLayout;
    auto* SpanLabel = new QLabel(QStringLiteral("&Span"), this);
    SpanList = new QComboBox(this);
    SpanList->setObjectName(QStringLiteral("SpanList"));
    for (const char* Name : SpanNames)
        SpanList->addItem(QString::fromLatin1(Name));
    SpanList->setCurrentIndex(1);
    SpanList->setToolTip(QStringLiteral("The time the plots show, up to the newest sample"));
    SpanLabel->setBuddy(SpanList);
    PauseButton = new QToolButton(this);
    PauseButton->setObjectName(QStringLiteral("PauseButton"));
    PauseButton->setText(QStringLiteral("&Pause"));
    PauseButton->setCheckable(true);
    PauseButton->setToolTip(QStringLiteral("Hold the view still; samples are still collected"));
    SavePictureButton = new QPushButton(QString::fromUtf8("Save picture…"), this);
    SavePictureButton->setObjectName(QStringLiteral("SavePictureButton"));
    SavePictureButton->setToolTip(QStringLiteral("Save the plots as a PNG picture"));
    Bar->addWidget(SpanLabel);
    Bar->addWidget(SpanList);
    Bar->addWidget(PauseButton);
    Bar->addStretch(1);
    ExportButton = new QPushButton(QString::fromUtf8("Export…"), this);
    ExportButton->setObjectName(QStringLiteral("ExportButton"));
    ExportButton->setToolTip(
        QStringLiteral("Save the shown stretch, or another, as CSV, TAB or SYLK"));
    ExportButton->hide();
    Bar->addWidget(ExportButton);
    LiveFeedButton = new QPushButton(QString::fromUtf8("Live feed…"), this);
    LiveFeedButton->setObjectName(QStringLiteral("LiveFeedButton"));
    LiveFeedButton->setToolTip(QStringLiteral("Publish every sample to an MQTT broker or a "
                                              "line-protocol database"));
    LiveFeedButton->hide();
    Bar->addWidget(LiveFeedButton);
    Bar->addWidget(SavePictureButton);
    Layout->addLayout(Bar);

    FPlotArea = new QWidget(this);
    FPlotArea->setObjectName(QStringLiteral("TrendPlots"));
    auto* PlotLayout = new QVBoxLayout(FPlotArea);
    PlotLayout->setContentsMargins(0, 0, 0, 0);
    PlotLayout->setSpacing(0);
    Layout->addWidget(FPlotArea, 1);

    ReadOut = new QLabel(this);
    ReadOut->setObjectName(QStringLiteral("ReadOut"));
    ReadOut->setTextFormat(Qt::PlainText);
    ReadOut->setMinimumHeight(ReadOut->fontMetrics().height() + 4);
    Layout->addWidget(ReadOut);

    connect(SpanList, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    connect(PauseButton, &QToolButton::toggled, this, [this] { Refresh(); });
    connect(SavePictureButton, &QPushButton::clicked, this, [this] { SavePictureClick(); });
    connect(ExportButton, &QPushButton::clicked, this, [this] {
        if (OnExport)
            OnExport(FFrom, FTo);
    });
    SetBoard(-1);
}

void TTrendWindow::SetExport(std::function<void(std::int64_t, std::int64_t)> Handler)
{
    OnExport = std::move(Handler);
    ExportButton->setVisible(bool(OnExport));
}

void TTrendWindow::SetLiveFeed(std::function<void()> Handler)
{
    LiveFeedButton->setVisible(bool(Handler));
    disconnect(LiveFeedButton, &QPushButton::clicked, this, nullptr);
    if (Handler)
        connect(LiveFeedButton, &QPushButton::clicked, this, std::move(Handler));
}

TTrendWindow::~TTrendWindow() = default;

int TTrendWindow::Span() const
{
    return Spans[std::size_t(std::max(0, SpanList->currentIndex()))];
}

void TTrendWindow::SetSpan(int Seconds)
{
    for (std::size_t I = 0; I < Spans.size(); ++I)
        if (Spans[I] == Seconds)
            SpanList->setCurrentIndex(int(I));
}

bool TTrendWindow::Paused() const
{
    return PauseButton->isChecked();
}

void TTrendWindow::SetPaused(bool Paused)
{
    PauseButton->setChecked(Paused);
}

void TTrendWindow::SetBoard(int Board)
{
    if (Board == FBoard)
        return;
    FBoard = Board;
    BuildPlots();
    Refresh();
}

void TTrendWindow::SetFiltered(bool Filtered)
{
    if (Filtered == FFiltered)
        return;
    FFiltered = Filtered;
    Refresh();
}

void TTrendWindow::BuildPlots()
{
    for (TTrendPlot* Plot : FPlots)
        delete Plot;
    FPlots.clear();
    for (const TTrendPlotSpec& Spec : TrendPlotsFor(FBoard)) {
        auto* Plot = new TTrendPlot(FStore, Spec, FPlotArea);
        Plot->OnPointerTime = [this](std::int64_t Time) { ShowReadOut(Time); };
        FPlotArea->layout()->addWidget(Plot);
        FPlots.push_back(Plot);
    }
}

void TTrendWindow::ChooseTimes()
{
    using namespace std::chrono;
    if (Paused() && FTo != 0)
        return;
    if (!FStore.Empty())
        FTo = FStore.LastTick().Time;
    else
        FTo = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void TTrendWindow::Refresh()
{
    ChooseTimes();
    const int Seconds = Span();
    if (Seconds > 0)
        FFrom = FTo - std::int64_t(Seconds) * 1000;
    else
        FFrom = FStore.Empty() ? FTo - 600'000 : std::min(FStore.FirstTick().Time, FTo - 1000);
    // Days appear once the span reaches past one.
    const QString Format = FTo - FFrom > 24 * 3600 * 1000 ? QStringLiteral("dd.MM. HH:mm")
                           : FTo - FFrom > 3600 * 1000    ? QStringLiteral("HH:mm")
                                                          : QStringLiteral("HH:mm:ss");
    for (std::size_t I = 0; I < FPlots.size(); ++I) {
        FPlots[I]->SetTimeLabels(I + 1 == FPlots.size(), Format);
        FPlots[I]->ShowSpan(FFrom, FTo, FFiltered);
    }
    AlignPlots();
}

void TTrendWindow::AlignPlots()
{
    // Every plot area starts where the widest value labels need.
    int Widest = 0;
    for (const TTrendPlot* Plot : FPlots)
        Widest = std::max(Widest, Plot->LabelWidth());
    for (TTrendPlot* Plot : FPlots)
        Plot->SetLeftIndent(Widest - Plot->LabelWidth());
}

QString TTrendWindow::Number(float Value) const
{
    QString Text = QString::number(double(Value), 'f', 2);
    if (FDecimalSeparator != '.')
        Text.replace(QLatin1Char('.'), QLatin1Char(FDecimalSeparator));
    return Text;
}

QString TTrendWindow::ReadOutText(std::int64_t Time) const
{
    QStringList Parts;
    Parts << QDateTime::fromMSecsSinceEpoch(Time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    auto Text = [this](const std::optional<TTrendRange>& R) {
        if (!R)
            return QString::fromUtf8("–");
        if (R->Min == R->Max)
            return Number(R->Min);
        return Number(R->Min) + QString::fromUtf8("…") + Number(R->Max);
    };
    for (const TTrendChannel& Channel : TrendChannelsFor(FBoard)) {
        QString Part = Channel.Name + QLatin1Char(' ') +
                       Text(FStore.ValueAt(Channel.Channel, TTrendSeries::Sample, Time));
        if (FFiltered)
            if (const auto F = FStore.ValueAt(Channel.Channel, TTrendSeries::Filtered, Time))
                Part += QStringLiteral(" (") + Text(F) + QLatin1Char(')');
        Parts << Part;
    }
    return Parts.join(QStringLiteral("   "));
}

void TTrendWindow::ShowReadOut(std::int64_t Time)
{
    ReadOut->setText(ReadOutText(Time));
}

bool TTrendWindow::SavePicture(const QString& Path) const
{
    return FPlotArea->grab().save(Path, "PNG");
}

void TTrendWindow::SavePictureClick()
{
    const QString Path = QFileDialog::getSaveFileName(this, QStringLiteral("Save picture"),
                                                      QStringLiteral("trend.png"),
                                                      QStringLiteral("PNG pictures (*.png)"));
    if (Path.isEmpty())
        return;
    if (!SavePicture(Path))
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The picture could not be saved."));
}

void TTrendWindow::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    Refresh();
    // Minimising and restoring are not hiding and showing.
    if (OnShownChanged && !Event->spontaneous())
        OnShownChanged(true);
}

void TTrendWindow::hideEvent(QHideEvent* Event)
{
    QWidget::hideEvent(Event);
    if (OnShownChanged && !Event->spontaneous())
        OnShownChanged(false);
}

} // namespace kelvalog
