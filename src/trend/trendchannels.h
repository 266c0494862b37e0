#pragma once

#include <QColor>
#include <QString>

#include <vector>

namespace kelvalog {

// A channel as the trend shows it: its number, the name the window gives it
// and its colour.
struct TTrendChannel
{
    int Channel = 0;
    QString Name;
    QColor Colour;
};

// One plot: a kind of quantity and the channels of that kind.
struct TTrendPlotSpec
{
    QString Title;
    std::vector<TTrendChannel> Channels;
};

// The plots of a board, in the order pressure, temperatures, relative
// humidity; only the kinds the board has. None for no board.
std::vector<TTrendPlotSpec> TrendPlotsFor(int Board);

// The shown channels of a board, in plot order.
std::vector<TTrendChannel> TrendChannelsFor(int Board);

} // namespace kelvalog
