#pragma once

#include "acquisition/trendstore.h"
#include "trend/trendchannels.h"

#include <QChartView>

#include <cstdint>
#include <functional>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace kelvalog {

class TTrendCurves;

// One plot of the trend window: a kind of quantity over time.
class TTrendPlot : public QChartView
{
    Q_OBJECT

public:
    TTrendPlot(const TTrendStore& Store, const TTrendPlotSpec& Spec, QWidget* Parent = nullptr);
    ~TTrendPlot() override;

    // Shows the store between two times; the filtered lines when asked.
    void ShowSpan(std::int64_t From, std::int64_t To, bool Filtered);
    void SetTimeLabels(bool Visible, const QString& Format);

    const TTrendPlotSpec& Spec() const { return FSpec; }
    QDateTimeAxis* TimeAxis() const { return FTimeAxis; }
    QValueAxis* ValueAxis() const { return FValueAxis; }

    // The time under the pointer, while it moves over the plot area.
    std::function<void(std::int64_t)> OnPointerTime;

    // Extra room left of the value axis, so that plots with narrower value
    // labels line their times up with the others.
    void SetLeftIndent(int Indent);
    int LeftIndent() const { return FLeftIndent; }
    // Width of the widest value label.
    int LabelWidth() const;

protected:
    void mouseMoveEvent(QMouseEvent* Event) override;

private:
    const TTrendStore& FStore;
    TTrendPlotSpec FSpec;
    QDateTimeAxis* FTimeAxis = nullptr;
    QValueAxis* FValueAxis = nullptr;
    std::vector<QLineSeries*> FLegend;
    TTrendCurves* FCurves = nullptr;
    std::int64_t FFrom = 0, FTo = 0;
    bool FFiltered = false;
    int FColumns = 0;
    int FLeftIndent = 0;

    void Extract();
    void PlaceCurves();
};

} // namespace kelvalog
