#pragma once

#include "common/localefacts.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kelvalog {

class THistoryStore;

enum class THistoryFormat { Csv, Tab, Sylk };

// "csv", "tab" or "sylk".
std::optional<THistoryFormat> HistoryFormatNamed(std::string_view Name);

struct THistoryExport
{
    std::int64_t From = 0; // microseconds since the epoch, inclusive
    std::int64_t To = 0;
    THistoryFormat Format = THistoryFormat::Csv;
    std::string OutPath; // replaced when it exists
    TLocaleFacts Facts;  // for TAB
};

// Writes the ticks kept at full resolution between From and To:
// - CSV: UTF-8, a header row with the channel names and units, per tick its
//   time in UTC and in local time (ISO 8601), the board and per channel the
//   sample, the filtered value (both empty when not valid) and the valid
//   flag; "." decimals, values as exact as they were kept;
// - TAB and SYLK: what a log at log interval 1 wrote for the same ticks.
// Progress(done, total) after every few thousand ticks; false cancels, and
// the file keeps what was written. Returns the ticks written; raises
// ELogError or EHistoryError.
std::uint64_t ExportHistory(THistoryStore& Store, const THistoryExport& Request,
                            const std::function<bool(std::uint64_t, std::uint64_t)>& Progress = {});

} // namespace kelvalog
