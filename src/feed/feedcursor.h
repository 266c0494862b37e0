#pragma once

#include "history/historystore.h"
#include "history/sqlite.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvalog {

// A feed's place in the history: the time of the last tick it delivered,
// kept in the history file itself (table feeds), so that a restart or a
// reboot goes on from there. A feed met for the first time starts after
// the newest tick stored then: the past before it was switched on is not sent.
class TFeedCursor
{
public:
    // Raises EHistoryError when the history file cannot be opened.
    TFeedCursor(const std::string& HistoryPath, std::string Feed);
    TFeedCursor(const TFeedCursor&) = delete;
    TFeedCursor& operator=(const TFeedCursor&) = delete;

    std::int64_t Last() const { return FLast; }
    // Up to Max ticks after the cursor, in time order.
    std::vector<THistoryTick> Next(std::size_t Max);
    // Ticks stored after the cursor.
    std::uint64_t Behind();
    // Delivered up to and including Time; committed before it returns.
    void Advance(std::int64_t Time);

private:
    std::string FFeed;
    TSqliteDatabase FDb;
    THistoryStore FStore;
    std::int64_t FLast = 0;
};

} // namespace kelvalog
