#pragma once

// The window's side of the history on disk.

#include "history/historywriter.h"

#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

namespace kelvalog {

struct TMainFormHistory
{
    // [History] in the settings file.
    bool Enabled = true;
    static constexpr std::int32_t DefaultLimitMB = 1024;
    std::int32_t LimitMB = DefaultLimitMB;
    std::string Path;
    std::unique_ptr<THistoryWriter> Writer;
    // The status text last shown, so that a notice is shown once; while one
    // is shown it is looked at every second, also between slow ticks.
    std::string Shown;
    QTimer Poll;
};

} // namespace kelvalog
