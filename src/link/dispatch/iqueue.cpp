#include "link/dispatch/iqueue.h"

#include <algorithm>
#include <cstring>

namespace kelvalog {

namespace {

// A small read still costs a whole buffer: the limit counts buffers, so that
// the memory held stays bounded whatever the size of the reads.
constexpr std::size_t BytesPerItem = TDataBuffer::Capacity;

} // namespace

std::size_t TIOQueue::Append(std::unique_ptr<TIOBuffer> Item, bool Wake)
{
    std::size_t Dropped = 0;
    {
        std::lock_guard Guard(FLock);
        if (FObserver)
            FObserver(*Item);
        if (Item->IsData()) {
            auto& Data = static_cast<TDataBuffer&>(*Item);
            Data.HeldAtArrivalMs = HeldAtLocked(Data.ArrivalMs);
            FPendingBytes += Data.Remaining();
            ++FDataItems;
            FItems.push_back(std::move(Item));
            Dropped = DropOldestLocked(Data.ArrivalMs);
        } else {
            FItems.push_back(std::move(Item));
        }
        if (!Wake)
            return Dropped;
        FSignalled = true;
    }
    FAppended.notify_one();
    return Dropped;
}

std::int64_t TIOQueue::HeldAtLocked(std::int64_t NowMs) const
{
    return FHeldMs + (FHoldStartMs >= 0 ? std::max<std::int64_t>(NowMs - FHoldStartMs, 0) : 0);
}

std::size_t TIOQueue::DropOldestLocked(std::int64_t NowMs)
{
    const std::int64_t HeldNow = HeldAtLocked(NowMs);
    auto OverLimit = [this, NowMs, HeldNow](const TDataBuffer& Oldest) {
        if (FMaxBytes != 0 && FDataItems * BytesPerItem > FMaxBytes)
            return true;
        const std::int64_t Held = HeldNow - Oldest.HeldAtArrivalMs;
        return FMaxAgeMs != 0 && NowMs - Oldest.ArrivalMs - Held > FMaxAgeMs;
    };
    std::size_t Dropped = 0;
    // The newest buffer always stays; status items keep their place.
    for (auto It = FItems.begin(); FDataItems > 1 && It != FItems.end();) {
        if (!(*It)->IsData()) {
            ++It;
            continue;
        }
        const auto& Oldest = static_cast<const TDataBuffer&>(**It);
        if (!OverLimit(Oldest))
            break;
        Dropped += Oldest.Remaining();
        FPendingBytes -= Oldest.Remaining();
        --FDataItems;
        It = FItems.erase(It);
    }
    return Dropped;
}

std::int64_t TIOQueue::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TIOQueue::BeginHold(std::int64_t NowMs)
{
    std::lock_guard Guard(FLock);
    if (FHoldStartMs < 0)
        FHoldStartMs = NowMs;
}

void TIOQueue::EndHold(std::int64_t NowMs)
{
    std::lock_guard Guard(FLock);
    FHeldMs = HeldAtLocked(NowMs);
    FHoldStartMs = -1;
}

std::size_t TIOQueue::DropStale(std::int64_t NowMs)
{
    std::lock_guard Guard(FLock);
    return DropOldestLocked(NowMs);
}

void TIOQueue::SetLimits(std::size_t MaxBytes, std::int64_t MaxAgeMs)
{
    std::lock_guard Guard(FLock);
    FMaxBytes = MaxBytes;
    FMaxAgeMs = MaxAgeMs;
}

bool TIOQueue::WaitForItem(std::chrono::milliseconds Timeout)
{
    std::unique_lock Guard(FLock);
    const bool Got = FAppended.wait_for(Guard, Timeout, [this] { return FSignalled; });
    FSignalled = false;
    return Got;
}

void TIOQueue::Signal()
{
    {
        std::lock_guard Guard(FLock);
        FSignalled = true;
    }
    FAppended.notify_all();
}

std::uint32_t TIOQueue::TakeFrontStatus()
{
    std::lock_guard Guard(FLock);
    if (FItems.empty() || FItems.front()->IsData())
        return 0;
    const std::uint32_t Mask = static_cast<TStatusBuffer&>(*FItems.front()).EventMask;
    FItems.pop_front();
    return Mask;
}

std::size_t TIOQueue::MoveData(std::uint8_t* Out, std::size_t Max)
{
    std::lock_guard Guard(FLock);
    std::size_t Moved = 0;
    while (Moved < Max && !FItems.empty() && FItems.front()->IsData()) {
        auto& Buffer = static_cast<TDataBuffer&>(*FItems.front());
        const std::size_t Take = std::min(Max - Moved, Buffer.Remaining());
        std::memcpy(Out + Moved, Buffer.Data.data() + Buffer.ReadCount, Take);
        Buffer.ReadCount += Take;
        Moved += Take;
        FPendingBytes -= Take;
        if (Buffer.Remaining() == 0) {
            FItems.pop_front();
            --FDataItems;
        }
    }
    return Moved;
}

void TIOQueue::Clear()
{
    std::lock_guard Guard(FLock);
    FItems.clear();
    FPendingBytes = 0;
    FDataItems = 0;
}

bool TIOQueue::Empty() const
{
    std::lock_guard Guard(FLock);
    return FItems.empty();
}

std::size_t TIOQueue::Count() const
{
    std::lock_guard Guard(FLock);
    return FItems.size();
}

std::size_t TIOQueue::PendingBytes() const
{
    std::lock_guard Guard(FLock);
    return FPendingBytes;
}

} // namespace kelvalog
