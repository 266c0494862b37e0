#include "history/historystore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <sqlite3.h>
#include <sys/stat.h>

namespace kelvalog {

namespace {

constexpr float NoValue = std::numeric_limits<float>::quiet_NaN();
constexpr int RangeCount = TTrendBucket::RangeCount;
constexpr std::size_t RangeBytes = 2 * RangeCount * sizeof(float);

// Rows of the finer levels that thinning always leaves: the trend's memory
// holds that many per resolution.
constexpr std::uint64_t KeepRows = TTrendStore::LevelCapacity;
// Shares of the file the finer levels may use before they are thinned, and
// what a row of each level weighs against a tick's row.
constexpr std::array<double, 3> Share = {0.70, 0.18, 0.08};
constexpr std::array<double, 3> Weight = {1.0, 1.4, 1.4};

const char* const Schema = R"(
CREATE TABLE IF NOT EXISTS runs(id INTEGER PRIMARY KEY, start INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS ticks(
  time INTEGER PRIMARY KEY, run INTEGER NOT NULL, board INTEGER NOT NULL,
  filter INTEGER NOT NULL, valid INTEGER NOT NULL,
  s0 REAL, f0 REAL, s1 REAL, f1 REAL, s2 REAL, f2 REAL, s3 REAL, f3 REAL,
  s4 REAL, f4 REAL, s5 REAL, f5 REAL, s6 REAL, f6 REAL, s7 REAL, f7 REAL);
CREATE TABLE IF NOT EXISTS buckets(
  level INTEGER NOT NULL, first INTEGER NOT NULL, last INTEGER NOT NULL,
  run INTEGER NOT NULL, ticks INTEGER NOT NULL, maxfirst INTEGER NOT NULL,
  ranges BLOB NOT NULL, PRIMARY KEY(level, first)) WITHOUT ROWID;
)";

constexpr const char* TickColumns =
    "time, run, board, filter, valid, s0, f0, s1, f1, s2, f2, s3, f3, s4, f4, s5, f5, s6, f6, "
    "s7, f7";

THistoryTick ReadTick(const TSqliteStatement& S, std::int64_t& Run)
{
    THistoryTick Tick;
    Tick.Time = S.Integer(0);
    Run = S.Integer(1);
    Tick.Board = static_cast<int>(S.Integer(2));
    Tick.Filter = static_cast<int>(S.Integer(3));
    Tick.Valid = static_cast<std::uint8_t>(S.Integer(4));
    for (int I = 0; I < ChannelCount; ++I) {
        Tick.Sample[I] = S.IsNull(5 + 2 * I) ? 0.0f : static_cast<float>(S.Real(5 + 2 * I));
        Tick.Filtered[I] = S.IsNull(6 + 2 * I) ? 0.0f : static_cast<float>(S.Real(6 + 2 * I));
    }
    return Tick;
}

TTrendBucket ReadBucket(const TSqliteStatement& S, std::int64_t& Run)
{
    TTrendBucket B;
    B.First = S.Integer(0);
    B.Last = S.Integer(1);
    Run = S.Integer(2);
    B.Ticks = static_cast<std::uint32_t>(S.Integer(3));
    B.MaxFirst = static_cast<std::uint16_t>(S.Integer(4));
    int Bytes = 0;
    const void* Data = S.Blob(5, Bytes);
    B.Min.fill(NoValue);
    B.Max.fill(NoValue);
    if (Data && static_cast<std::size_t>(Bytes) == RangeBytes) {
        std::memcpy(B.Min.data(), Data, RangeBytes / 2);
        std::memcpy(B.Max.data(), static_cast<const char*>(Data) + RangeBytes / 2, RangeBytes / 2);
    }
    return B;
}

std::uint64_t SizeOf(const std::string& Path)
{
    struct stat Info = {};
    return ::stat(Path.c_str(), &Info) == 0 ? static_cast<std::uint64_t>(Info.st_size) : 0;
}

} // namespace

std::uint32_t THistoryStore::Factor(int Level)
{
    std::uint32_t F = 1;
    for (int L = 0; L < Level; ++L)
        F *= TTrendStore::LevelFactor;
    return F;
}

THistoryStore::THistoryStore(const std::string& Path, TMode Mode)
    : FPath(Path), FDb(Path, Mode == TMode::Read), FWrite(Mode == TMode::Write)
{
    if (!FWrite)
        return;
    FDb.Execute("PRAGMA journal_mode=WAL");
    // Every tick's commit reaches the medium: a power cut loses at most the
    // tick being written.
    FDb.Execute("PRAGMA synchronous=FULL");
    CreateSchema();
    FInsertTick = std::make_unique<TSqliteStatement>(
        FDb, "INSERT INTO ticks VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    FInsertBucket = std::make_unique<TSqliteStatement>(
        FDb, "INSERT OR REPLACE INTO buckets VALUES(?,?,?,?,?,?,?)");
    Recover();
}

THistoryStore::~THistoryStore()
{
    FInsertTick.reset();
    FInsertBucket.reset();
}

void THistoryStore::CreateSchema()
{
    TSqliteTransaction T(FDb);
    FDb.Execute(Schema);
    T.Commit();
}

void THistoryStore::SetLimit(std::uint64_t LimitBytes)
{
    // A journal of a fortieth of the limit at most between checkpoints.
    const std::uint64_t Pages = std::clamp<std::uint64_t>(LimitBytes / 4096 / 40, 16, 1000);
    const std::string Sql = "PRAGMA wal_autocheckpoint=" + std::to_string(Pages) +
                            "; PRAGMA journal_size_limit=" + std::to_string(Pages * 4096 * 2);
    FDb.Execute(Sql.c_str());
}

void THistoryStore::Recover()
{
    // A killed program leaves its last buckets unwritten; its ticks are here.
    // Buckets of a level do not overlap: the newest one ends last.
    TSqliteStatement LastOf(FDb,
                            "SELECT last FROM buckets WHERE level=? ORDER BY first DESC LIMIT 1");
    for (int L = 1; L < LevelCount; ++L) {
        LastOf.Bind(1, std::int64_t(L));
        std::int64_t After = std::numeric_limits<std::int64_t>::min();
        if (LastOf.Step() && !LastOf.IsNull(0))
            After = LastOf.Integer(0);
        LastOf.Reset();
        std::vector<std::pair<TTrendBucket, std::int64_t>> Parts;
        if (L == 1) {
            TSqliteStatement S(FDb, (std::string("SELECT ") + TickColumns +
                                     " FROM ticks WHERE time>? ORDER BY time")
                                        .c_str());
            S.Bind(1,
                   After == std::numeric_limits<std::int64_t>::min() ? After : After * 1000 + 999);
            std::int64_t Run = 0;
            while (S.Step()) {
                const THistoryTick Tick = ReadTick(S, Run);
                Parts.emplace_back(TTrendBucket::Of(Tick.TrendTick()), Run);
            }
        } else {
            TSqliteStatement S(FDb, "SELECT first, last, run, ticks, maxfirst, ranges FROM "
                                    "buckets WHERE level=? AND first>? ORDER BY first");
            S.Bind(1, std::int64_t(L - 1)).Bind(2, After);
            std::int64_t Run = 0;
            while (S.Step()) {
                const TTrendBucket B = ReadBucket(S, Run);
                Parts.emplace_back(B, Run);
            }
        }
        if (Parts.empty())
            continue;
        TSqliteTransaction T(FDb);
        for (const auto& [Part, Run] : Parts)
            Fold(L, Part, Run);
        if (FOpen[L].Used)
            WriteBucket(L, FOpen[L]);
        FOpen[L] = {};
        T.Commit();
    }
    TSqliteStatement LastRun(FDb, "SELECT max(id) FROM runs");
    if (LastRun.Step())
        FRun = LastRun.Integer(0);
    LastRun.Reset();
}

void THistoryStore::Fold(int Level, const TTrendBucket& Part, std::int64_t Run)
{
    TOpenBucket& Open = FOpen[Level];
    if (Open.Used && Open.Run != Run) {
        WriteBucket(Level, Open);
        Open = {};
    }
    if (!Open.Used) {
        Open.Used = true;
        Open.Run = Run;
        Open.Bucket = Part;
    } else {
        Open.Bucket = TTrendBucket::Merge(Open.Bucket, Part);
    }
    if (Open.Bucket.Ticks >= Factor(Level)) {
        WriteBucket(Level, Open);
        Open = {};
    }
}

void THistoryStore::WriteBucket(int Level, const TOpenBucket& Open)
{
    std::array<float, 2 * RangeCount> Ranges;
    std::copy(Open.Bucket.Min.begin(), Open.Bucket.Min.end(), Ranges.begin());
    std::copy(Open.Bucket.Max.begin(), Open.Bucket.Max.end(), Ranges.begin() + RangeCount);
    FInsertBucket->Bind(1, std::int64_t(Level))
        .Bind(2, Open.Bucket.First)
        .Bind(3, Open.Bucket.Last)
        .Bind(4, Open.Run)
        .Bind(5, std::int64_t(Open.Bucket.Ticks))
        .Bind(6, std::int64_t(Open.Bucket.MaxFirst))
        .BindBlob(7, Ranges.data(), static_cast<int>(RangeBytes));
    FInsertBucket->Run();
    ++FRows[Level];
}

void THistoryStore::BeginRun(std::int64_t Time)
{
    TSqliteTransaction T(FDb);
    for (int L = 1; L < LevelCount; ++L)
        if (FOpen[L].Used)
            WriteBucket(L, FOpen[L]);
    TSqliteStatement S(FDb, "INSERT INTO runs(start) VALUES(?)");
    S.Bind(1, Time).Run();
    T.Commit();
    for (int L = 1; L < LevelCount; ++L)
        FOpen[L] = {};
    FRun = sqlite3_last_insert_rowid(FDb.Handle());
}

void THistoryStore::InsertTick(const THistoryTick& Tick)
{
    TSqliteStatement& S = *FInsertTick;
    S.Bind(2, FRun)
        .Bind(3, std::int64_t(Tick.Board))
        .Bind(4, std::int64_t(Tick.Filter))
        .Bind(5, std::int64_t(Tick.Valid));
    for (int I = 0; I < ChannelCount; ++I) {
        if (Tick.IsValid(I)) {
            S.Bind(6 + 2 * I, double(Tick.Sample[I])).Bind(7 + 2 * I, double(Tick.Filtered[I]));
        } else {
            S.BindNull(6 + 2 * I).BindNull(7 + 2 * I);
        }
    }
    // Two ticks within one microsecond (a clock set back): the later one
    // moves on by a microsecond rather than being lost.
    for (std::int64_t Time = Tick.Time;; ++Time) {
        S.Bind(1, Time);
        try {
            S.Run();
            break;
        } catch (const EHistoryError& E) {
            if ((E.Code() & 0xff) != SQLITE_CONSTRAINT || Time - Tick.Time > 1000)
                throw;
        }
    }
    ++FRows[0];
}

void THistoryStore::Append(std::span<const THistoryTick> Ticks)
{
    if (Ticks.empty())
        return;
    if (FRun == 0)
        BeginRun(Ticks.front().Time);
    const auto Saved = FOpen;
    const auto SavedRows = FRows;
    try {
        TSqliteTransaction T(FDb);
        for (const THistoryTick& Tick : Ticks) {
            InsertTick(Tick);
            const TTrendBucket One = TTrendBucket::Of(Tick.TrendTick());
            for (int L = 1; L < LevelCount; ++L)
                Fold(L, One, FRun);
        }
        T.Commit();
    } catch (...) {
        // Nothing of the ticks is kept, in the file or in the buckets.
        FOpen = Saved;
        FRows = SavedRows;
        throw;
    }
}

void THistoryStore::Flush()
{
    TSqliteTransaction T(FDb);
    for (int L = 1; L < LevelCount; ++L)
        if (FOpen[L].Used)
            WriteBucket(L, FOpen[L]);
    T.Commit();
    for (int L = 1; L < LevelCount; ++L)
        FOpen[L] = {};
}

std::uint64_t THistoryStore::FileBytes() const
{
    return SizeOf(FPath) + SizeOf(FPath + "-wal");
}

void THistoryStore::CountRows()
{
    TSqliteStatement Ticks(FDb, "SELECT count(*) FROM ticks");
    if (Ticks.Step())
        FRows[0] = static_cast<std::uint64_t>(Ticks.Integer(0));
    Ticks.Reset();
    TSqliteStatement Buckets(FDb, "SELECT level, count(*) FROM buckets GROUP BY level");
    for (int L = 1; L < LevelCount; ++L)
        FRows[L] = 0;
    while (Buckets.Step()) {
        const auto L = Buckets.Integer(0);
        if (L > 0 && L < LevelCount)
            FRows[L] = static_cast<std::uint64_t>(Buckets.Integer(1));
    }
    FRowsKnown = true;
}

std::uint64_t THistoryStore::Rows(int Level)
{
    CountRows();
    return FRows[Level];
}

bool THistoryStore::Thin(std::uint64_t LimitBytes)
{
    TSqliteStatement Pages(FDb, "SELECT (SELECT page_count FROM pragma_page_count()) - "
                                "(SELECT freelist_count FROM pragma_freelist_count()), "
                                "(SELECT page_size FROM pragma_page_size())");
    auto Used = [&Pages] {
        Pages.Step();
        const auto Bytes = static_cast<std::uint64_t>(Pages.Integer(0) * Pages.Integer(1));
        Pages.Reset();
        return Bytes;
    };
    if (Used() <= LimitBytes / 100 * 85)
        return false;
    if (!FRowsKnown)
        CountRows();
    TSqliteStatement DropTicks(
        FDb, "DELETE FROM ticks WHERE time<=(SELECT time FROM ticks ORDER BY time LIMIT 1 "
             "OFFSET ?)");
    TSqliteStatement DropBuckets(
        FDb, "DELETE FROM buckets WHERE level=?1 AND first<=(SELECT first FROM buckets WHERE "
             "level=?1 ORDER BY first LIMIT 1 OFFSET ?2)");
    bool Thinned = false;
    while (Used() > LimitBytes / 100 * 80) {
        // The level furthest over its share gives up its oldest rows.
        int Pick = -1;
        double Worst = 0;
        for (int L = 0; L < 3; ++L) {
            if (FRows[L] <= KeepRows)
                continue;
            const double Load = Weight[L] * double(FRows[L]) / Share[L];
            if (Load > Worst) {
                Worst = Load;
                Pick = L;
            }
        }
        if (Pick < 0)
            break;
        const std::uint64_t Drop =
            std::min(FRows[Pick] - KeepRows, std::max<std::uint64_t>(FRows[Pick] / 64, 256));
        if (Pick == 0) {
            DropTicks.Bind(1, std::int64_t(Drop - 1)).Run();
        } else {
            DropBuckets.Bind(1, std::int64_t(Pick)).Bind(2, std::int64_t(Drop - 1)).Run();
        }
        FRows[Pick] -= Drop;
        Thinned = true;
    }
    return Thinned;
}

void THistoryStore::ReadTicks(std::int64_t From, std::int64_t To,
                              const std::function<bool(const THistoryTick&, std::int64_t)>& Visit)
{
    TSqliteStatement S(FDb, (std::string("SELECT ") + TickColumns +
                             " FROM ticks WHERE time BETWEEN ? AND ? ORDER BY time")
                                .c_str());
    S.Bind(1, From).Bind(2, To);
    std::int64_t Run = 0;
    while (S.Step()) {
        const THistoryTick Tick = ReadTick(S, Run);
        if (!Visit(Tick, Run)) {
            S.Reset();
            break;
        }
    }
}

std::uint64_t THistoryStore::CountTicks(std::int64_t From, std::int64_t To)
{
    TSqliteStatement S(FDb, "SELECT count(*) FROM ticks WHERE time BETWEEN ? AND ?");
    S.Bind(1, From).Bind(2, To);
    const std::uint64_t N = S.Step() ? static_cast<std::uint64_t>(S.Integer(0)) : 0;
    S.Reset();
    return N;
}

std::optional<std::int64_t> THistoryStore::ThinnedFrom(std::int64_t From)
{
    TSqliteStatement Oldest(FDb, "SELECT min(time) FROM ticks");
    std::int64_t Kept = std::numeric_limits<std::int64_t>::max();
    if (Oldest.Step() && !Oldest.IsNull(0))
        Kept = Oldest.Integer(0);
    Oldest.Reset();
    if (Kept <= From)
        return std::nullopt;
    TSqliteStatement S(FDb, "SELECT 1 FROM buckets WHERE level=? AND last>=? AND first<? LIMIT 1");
    S.Bind(1, std::int64_t(LevelCount - 1)).Bind(2, From / 1000).Bind(3, Kept / 1000);
    const bool Thinned = S.Step();
    S.Reset();
    return Thinned ? std::optional<std::int64_t>(Kept) : std::nullopt;
}

std::vector<TTrendBucket> THistoryStore::Buckets(int Level, std::size_t Count)
{
    std::vector<TTrendBucket> Out;
    std::vector<std::int64_t> Runs;
    const std::int64_t Limit = Count == 0 ? -1 : static_cast<std::int64_t>(Count);
    if (Level == 0) {
        TSqliteStatement S(
            FDb, (std::string("SELECT ") + TickColumns + " FROM ticks ORDER BY time DESC LIMIT ?")
                     .c_str());
        S.Bind(1, Limit);
        std::int64_t Run = 0;
        while (S.Step()) {
            Out.push_back(TTrendBucket::Of(ReadTick(S, Run).TrendTick()));
            Runs.push_back(Run);
        }
    } else {
        TSqliteStatement S(FDb, "SELECT first, last, run, ticks, maxfirst, ranges FROM buckets "
                                "WHERE level=? ORDER BY first DESC LIMIT ?");
        S.Bind(1, std::int64_t(Level)).Bind(2, Limit);
        std::int64_t Run = 0;
        while (S.Step()) {
            Out.push_back(ReadBucket(S, Run));
            Runs.push_back(Run);
        }
    }
    std::reverse(Out.begin(), Out.end());
    std::reverse(Runs.begin(), Runs.end());
    for (std::size_t I = 1; I < Out.size(); ++I)
        Out[I].BreakBefore = Runs[I] != Runs[I - 1];
    return Out;
}

void THistoryStore::SeedTrend(TTrendStore& Trend)
{
    std::array<std::vector<TTrendBucket>, LevelCount> Levels;
    for (int L = 0; L < LevelCount; ++L)
        Levels[L] = Buckets(L, L == LevelCount - 1 ? 0 : TTrendStore::LevelCapacity);
    if (Levels[0].empty() && Levels[LevelCount - 1].empty())
        return;
    std::uint64_t Ticks = 0;
    for (const TTrendBucket& B : Levels[LevelCount - 1])
        Ticks += B.Ticks;
    TTrendTick Last;
    Last.Sample.fill(NoValue);
    Last.Filtered.fill(NoValue);
    TSqliteStatement S(
        FDb,
        (std::string("SELECT ") + TickColumns + " FROM ticks ORDER BY time DESC LIMIT 1").c_str());
    if (S.Step()) {
        std::int64_t Run = 0;
        Last = ReadTick(S, Run).TrendTick();
        S.Reset();
    } else if (!Levels[LevelCount - 1].empty()) {
        Last.Time = Levels[LevelCount - 1].back().Last;
    }
    Trend.Seed(Levels, Ticks, Last);
}

} // namespace kelvalog
