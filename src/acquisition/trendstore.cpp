#include "acquisition/trendstore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvalog {

namespace {

constexpr float NoValue = std::numeric_limits<float>::quiet_NaN();

float TickValue(const TTrendTick& Tick, int Range)
{
    return Range < ChannelCount ? Tick.Sample[Range] : Tick.Filtered[Range - ChannelCount];
}

int RangeOf(int Channel, TTrendSeries Series)
{
    if (Channel < 0 || Channel >= ChannelCount)
        throw ERangeError();
    return Channel + (Series == TTrendSeries::Filtered ? ChannelCount : 0);
}

// One plot column's share of the buckets: its lowest and highest value and
// the times of its first and last bucket.
struct TColumn
{
    bool Used = false;
    long long Index = 0;
    float Min = 0, Max = 0;
    bool MaxFirst = false;
    std::int64_t First = 0, Last = 0;
};

} // namespace

TTrendStore::TTrendStore()
{
    std::uint32_t Factor = 1;
    for (TLevel& Level : FLevels) {
        Level.Factor = Factor;
        Factor *= LevelFactor;
    }
}

TTrendBucket TTrendBucket::Of(const TTrendTick& Tick)
{
    TTrendBucket Bucket;
    Bucket.First = Tick.Time;
    Bucket.Min.fill(NoValue);
    Bucket.Max.fill(NoValue);
    Bucket.Fold(Tick);
    return Bucket;
}

void TTrendBucket::Fold(const TTrendTick& Tick)
{
    Last = Tick.Time;
    ++Ticks;
    for (int R = 0; R < RangeCount; ++R) {
        const float V = TickValue(Tick, R);
        if (std::isnan(V))
            continue;
        const std::uint16_t Bit = std::uint16_t(1u << R);
        if (std::isnan(Min[R])) {
            Min[R] = Max[R] = V;
            MaxFirst &= std::uint16_t(~Bit);
        } else if (V < Min[R]) {
            Min[R] = V;
            MaxFirst |= Bit;
        } else if (V > Max[R]) {
            Max[R] = V;
            MaxFirst &= std::uint16_t(~Bit);
        }
    }
}

TTrendBucket TTrendBucket::Merge(const TTrendBucket& A, const TTrendBucket& B)
{
    TTrendBucket M = A;
    M.Last = B.Last;
    M.Ticks = A.Ticks + B.Ticks;
    for (int R = 0; R < RangeCount; ++R) {
        const std::uint16_t Bit = std::uint16_t(1u << R);
        if (std::isnan(B.Min[R]))
            continue;
        if (std::isnan(A.Min[R])) {
            M.Min[R] = B.Min[R];
            M.Max[R] = B.Max[R];
            M.MaxFirst = std::uint16_t((M.MaxFirst & ~Bit) | (B.MaxFirst & Bit));
            continue;
        }
        const bool MinFromB = B.Min[R] < A.Min[R];
        const bool MaxFromB = B.Max[R] > A.Max[R];
        M.Min[R] = MinFromB ? B.Min[R] : A.Min[R];
        M.Max[R] = MaxFromB ? B.Max[R] : A.Max[R];
        bool MaxFirst;
        if (MinFromB == MaxFromB)
            MaxFirst = ((MinFromB ? B.MaxFirst : A.MaxFirst) & Bit) != 0;
        else
            MaxFirst = MinFromB; // the top is in the earlier half
        M.MaxFirst = std::uint16_t(MaxFirst ? (M.MaxFirst | Bit) : (M.MaxFirst & ~Bit));
    }
    return M;
}

void TTrendStore::HalveLevel(TLevel& Level)
{
    // The coarsest resolution never wraps, so its buckets lie in order from 0.
    std::size_t Out = 0;
    for (std::size_t I = 0; I < Level.Count; I += 2) {
        if (I + 1 < Level.Count)
            Level.Buckets[Out] = TTrendBucket::Merge(Level.Buckets[I], Level.Buckets[I + 1]);
        else
            Level.Buckets[Out] = Level.Buckets[I];
        ++Out;
    }
    Level.Count = Out;
    Level.Factor *= 2;
    Level.Open = Level.Buckets[Out - 1].Ticks < Level.Factor && !Level.PendingBreak;
}

void TTrendStore::AppendTo(TLevel& Level, bool Last, const TTrendTick& Tick)
{
    if (Level.Count > 0 && Level.Open && !Level.PendingBreak) {
        TBucket& Newest = Level.At(Level.Count - 1);
        Newest.Fold(Tick);
        Level.Open = Newest.Ticks < Level.Factor;
        return;
    }
    if (Level.Buckets.empty())
        Level.Buckets.resize(LevelCapacity);
    if (Level.Count == LevelCapacity) {
        if (Last) {
            HalveLevel(Level);
            if (Level.Open && !Level.PendingBreak) {
                TBucket& Newest = Level.At(Level.Count - 1);
                Newest.Fold(Tick);
                Level.Open = Newest.Ticks < Level.Factor;
                return;
            }
        } else {
            Level.Head = (Level.Head + 1) % LevelCapacity;
            --Level.Count;
            Level.Dropped = true;
        }
    }
    TBucket& Fresh = Level.At(Level.Count++);
    Fresh = TTrendBucket::Of(Tick);
    Fresh.BreakBefore = Level.PendingBreak;
    Level.PendingBreak = false;
    Level.Open = Fresh.Ticks < Level.Factor;
}

void TTrendStore::Append(const TTrendTick& Tick)
{
    if (FTicks == 0)
        FFirst = Tick;
    FLast = Tick;
    ++FTicks;
    for (int L = 0; L < LevelCount; ++L)
        AppendTo(FLevels[L], L == LevelCount - 1, Tick);
}

void TTrendStore::Seed(const std::array<std::vector<TTrendBucket>, LevelCount>& Levels,
                       std::uint64_t Ticks, const TTrendTick& Last)
{
    *this = TTrendStore();
    std::int64_t Earliest = std::numeric_limits<std::int64_t>::max();
    for (const std::vector<TTrendBucket>& From : Levels)
        if (!From.empty())
            Earliest = std::min(Earliest, From.front().First);
    for (int L = 0; L < LevelCount; ++L) {
        TLevel& Level = FLevels[L];
        const std::vector<TTrendBucket>& From = Levels[L];
        if (From.empty())
            continue;
        Level.Buckets.resize(LevelCapacity);
        std::size_t Skip = 0;
        if (L < LevelCount - 1 && From.size() > LevelCapacity)
            Skip = From.size() - LevelCapacity;
        // A resolution that does not reach back to the start gave up its
        // oldest buckets, here or in the history.
        Level.Dropped = Skip > 0 || From.front().First > Earliest;
        if (L == LevelCount - 1) {
            // The coarsest resolution covers everything: halve until it fits.
            std::vector<TTrendBucket> All(From);
            while (All.size() > LevelCapacity) {
                std::vector<TTrendBucket> Half;
                for (std::size_t I = 0; I < All.size(); I += 2)
                    Half.push_back(I + 1 < All.size() ? TTrendBucket::Merge(All[I], All[I + 1])
                                                      : All[I]);
                All.swap(Half);
                Level.Factor *= 2;
            }
            std::copy(All.begin(), All.end(), Level.Buckets.begin());
            Level.Count = All.size();
        } else {
            std::copy(From.begin() + Skip, From.end(), Level.Buckets.begin());
            Level.Count = From.size() - Skip;
        }
        Level.PendingBreak = true;
    }
    FTicks = Ticks;
    FLast = Last;
    // The first tick is not known exactly any more: only its time.
    FFirst = TTrendTick{};
    FFirst.Sample.fill(NoValue);
    FFirst.Filtered.fill(NoValue);
    for (const TLevel& Level : FLevels)
        if (Level.Count > 0)
            FFirst.Time =
                FFirst.Time == 0 ? Level.At(0).First : std::min(FFirst.Time, Level.At(0).First);
}

void TTrendStore::Break()
{
    if (FTicks == 0)
        return;
    for (TLevel& Level : FLevels)
        Level.PendingBreak = true;
}

const TTrendStore::TLevel& TTrendStore::LevelFor(std::int64_t Time) const
{
    for (int L = 0; L < LevelCount - 1; ++L) {
        const TLevel& Level = FLevels[L];
        if (Level.Count > 0 && (!Level.Dropped || Level.At(0).First <= Time))
            return Level;
    }
    return FLevels[LevelCount - 1];
}

std::size_t TTrendStore::LowerBound(const TLevel& Level, std::int64_t Time)
{
    std::size_t Low = 0, High = Level.Count;
    while (Low < High) {
        const std::size_t Mid = (Low + High) / 2;
        if (Level.At(Mid).Last < Time)
            Low = Mid + 1;
        else
            High = Mid;
    }
    return Low;
}

void TTrendStore::Extract(int Channel, TTrendSeries Series, std::int64_t From, std::int64_t To,
                          int Columns, std::vector<TTrendPoint>& Out) const
{
    Out.clear();
    const int Range = RangeOf(Channel, Series);
    if (FTicks == 0 || To < From || Columns <= 0)
        return;
    const TLevel& Level = LevelFor(From);
    const double Span = double(std::max<std::int64_t>(To - From, 1));

    auto Break = [&Out] {
        if (!Out.empty() && !std::isnan(Out.back().Value))
            Out.push_back({Out.back().Time, NoValue});
    };
    TColumn Column;
    auto Flush = [&Out, &Column] {
        if (!Column.Used)
            return;
        if (Column.Min == Column.Max) {
            Out.push_back({Column.First + (Column.Last - Column.First) / 2, Column.Min});
        } else {
            const float A = Column.MaxFirst ? Column.Max : Column.Min;
            const float B = Column.MaxFirst ? Column.Min : Column.Max;
            Out.push_back({Column.First, A});
            Out.push_back({Column.Last, B});
        }
        Column.Used = false;
    };

    const float FirstValue = TickValue(FFirst, Range);
    const bool ExactFirst = FFirst.Time >= From && FFirst.Time <= To && !std::isnan(FirstValue);
    if (ExactFirst)
        Out.push_back({FFirst.Time, FirstValue});

    for (std::size_t I = LowerBound(Level, From); I < Level.Count; ++I) {
        const TBucket& B = Level.At(I);
        if (B.First > To)
            break;
        if (B.BreakBefore) {
            Flush();
            Break();
        }
        if (std::isnan(B.Min[Range])) {
            Flush();
            Break();
            continue;
        }
        const std::int64_t Mid = B.First + (B.Last - B.First) / 2;
        const long long Index = std::clamp<long long>(
            static_cast<long long>(double(Mid - From) * Columns / Span), 0, Columns - 1);
        const bool MaxFirst = (B.MaxFirst >> Range) & 1u;
        if (Column.Used && Column.Index == Index) {
            const bool MinFromB = B.Min[Range] < Column.Min;
            const bool MaxFromB = B.Max[Range] > Column.Max;
            if (MinFromB != MaxFromB)
                Column.MaxFirst = MinFromB;
            else if (MinFromB)
                Column.MaxFirst = MaxFirst;
            Column.Min = std::min(Column.Min, B.Min[Range]);
            Column.Max = std::max(Column.Max, B.Max[Range]);
            Column.Last = B.Last;
        } else {
            Flush();
            Column = {true, Index, B.Min[Range], B.Max[Range], MaxFirst, B.First, B.Last};
        }
    }
    Flush();

    // The line starts and ends on the exact ticks, not on a bucket's extremes.
    if (ExactFirst && Out.size() > 1 && Out[1].Time == FFirst.Time && Out[1].Value == FirstValue)
        Out.erase(Out.begin() + 1);
    const float LastValue = TickValue(FLast, Range);
    if (FLast.Time >= From && FLast.Time <= To && !std::isnan(LastValue) &&
        (Out.empty() || Out.back().Time != FLast.Time || Out.back().Value != LastValue))
        Out.push_back({FLast.Time, LastValue});
}

std::optional<TTrendRange> TTrendStore::ValueAt(int Channel, TTrendSeries Series,
                                                std::int64_t Time) const
{
    const int Range = RangeOf(Channel, Series);
    if (FTicks == 0 || Time < FFirst.Time || Time > FLast.Time)
        return std::nullopt;
    const TLevel& Level = LevelFor(Time);
    const std::size_t I = LowerBound(Level, Time);
    if (I >= Level.Count)
        return std::nullopt;
    std::size_t Pick = I;
    const TBucket& After = Level.At(I);
    if (Time < After.First && I > 0) {
        // Between two buckets: a gap when the link was off line, otherwise
        // the nearer one.
        if (After.BreakBefore)
            return std::nullopt;
        const TBucket& Before = Level.At(I - 1);
        if (Time - Before.Last < After.First - Time)
            Pick = I - 1;
    }
    const TBucket& B = Level.At(Pick);
    if (std::isnan(B.Min[Range]))
        return std::nullopt;
    return TTrendRange{B.Min[Range], B.Max[Range]};
}

std::size_t TTrendStore::MemoryBytes() const
{
    std::size_t Bytes = 0;
    for (const TLevel& Level : FLevels)
        Bytes += Level.Buckets.capacity() * sizeof(TBucket);
    return Bytes;
}

} // namespace kelvalog
