#pragma once

// The window's side of the trend.

#include "acquisition/trendstore.h"
#include "trend/trendwindow.h"

#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kelvalog {

// What the window keeps for its trend.
struct TMainFormTrend
{
    TTrendStore Store;
    // Microseconds since the epoch.
    std::function<std::int64_t()> Clock;
    // Declared after the store: goes first.
    std::unique_ptr<TTrendWindow> Window;
    // The settings: written back when the file had them or the window was
    // used, so a file of someone who never opens the trend stays as it was.
    bool Known = false;
    bool Shown = false;
    static constexpr int DefaultSpan = 3600; // seconds
    int Span = DefaultSpan;
    std::optional<QRect> Place; // frame position and client size
};

} // namespace kelvalog
