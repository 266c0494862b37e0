#include "feed/feedcursor.h"

#include <limits>

namespace kelvalog {

TFeedCursor::TFeedCursor(const std::string& HistoryPath, std::string Feed)
    : FFeed(std::move(Feed)), FDb(HistoryPath, false),
      FStore(HistoryPath, THistoryStore::TMode::Read)
{
    FDb.Execute("CREATE TABLE IF NOT EXISTS feeds(name TEXT PRIMARY KEY, last INTEGER NOT NULL)");
    TSqliteStatement Read(FDb, "SELECT last FROM feeds WHERE name=?");
    Read.BindText(1, FFeed);
    if (Read.Step()) {
        FLast = Read.Integer(0);
        Read.Reset();
        return;
    }
    TSqliteStatement Newest(FDb, "SELECT coalesce(max(time), 0) FROM ticks");
    FLast = Newest.Step() ? Newest.Integer(0) : 0;
    Newest.Reset();
    Advance(FLast);
}

std::vector<THistoryTick> TFeedCursor::Next(std::size_t Max)
{
    std::vector<THistoryTick> Ticks;
    if (Max == 0)
        return Ticks;
    FStore.ReadTicks(FLast + 1, std::numeric_limits<std::int64_t>::max(),
                     [&Ticks, Max](const THistoryTick& Tick, std::int64_t) {
                         Ticks.push_back(Tick);
                         return Ticks.size() < Max;
                     });
    return Ticks;
}

std::uint64_t TFeedCursor::Behind()
{
    return FStore.CountTicks(FLast + 1, std::numeric_limits<std::int64_t>::max());
}

void TFeedCursor::Advance(std::int64_t Time)
{
    TSqliteStatement Write(FDb, "INSERT OR REPLACE INTO feeds(name, last) VALUES(?, ?)");
    Write.BindText(1, FFeed).Bind(2, Time).Run();
    FLast = Time;
}

} // namespace kelvalog
