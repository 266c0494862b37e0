#include "trend/trendchannels.h"

#include "acquisition/displayfields.h"

namespace kelvalog {

namespace {

// Distinct on white and for the common colour-vision deficiencies.
QColor Colour(int Index)
{
    static const QColor Colours[] = {QColor(0, 114, 178), QColor(213, 94, 0),
                                     QColor(0, 158, 115), QColor(204, 121, 167),
                                     QColor(86, 60, 140), QColor(160, 120, 0)};
    return Colours[Index % std::size(Colours)];
}

TTrendChannel Channel(int Number, const char* Name, int ColourIndex)
{
    return {Number, QString::fromUtf8(Name), Colour(ColourIndex)};
}

} // namespace

std::vector<TTrendPlotSpec> TrendPlotsFor(int Board)
{
    const QString Pressure = QStringLiteral("Pressure (mbar)");
    const QString Temperatures = QString::fromUtf8("Temperatures (°C)");
    const QString Humidity = QStringLiteral("Relative humidity (%)");
    if (Board == Board5V) {
        return {{Pressure, {Channel(0, "Pressure", 0)}},
                {Temperatures,
                 {Channel(1, "Tobj (°C)", 1), Channel(2, "Tamb (°C)", 2), Channel(3, "T1 (°C)", 3),
                  Channel(4, "T2 (°C)", 4)}}};
    }
    if (Board == Board3V) {
        // The window calls both ambient temperatures "Tamb"; the legend tells
        // the humidity sensor's apart.
        return {
            {Temperatures,
             {Channel(0, "Tobj (°C)", 1), Channel(1, "Tamb (°C)", 2), Channel(3, "Tamb RH (°C)", 5),
              Channel(4, "T1 (°C)", 3), Channel(5, "T2 (°C)", 4)}},
            {Humidity, {Channel(2, "RH(%)", 0)}}};
    }
    return {};
}

std::vector<TTrendChannel> TrendChannelsFor(int Board)
{
    std::vector<TTrendChannel> All;
    for (const TTrendPlotSpec& Plot : TrendPlotsFor(Board))
        All.insert(All.end(), Plot.Channels.begin(), Plot.Channels.end());
    return All;
}

} // namespace kelvalog
