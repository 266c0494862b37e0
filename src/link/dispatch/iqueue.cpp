#include "link/dispatch/iqueue.h"

#include <algorithm>
#include <cstring>

namespace kelvalog {

void TIOQueue::Append(std::unique_ptr<TIOBuffer> Item)
{
    {
        std::lock_guard Guard(FLock);
        if (FObserver)
            FObserver(*Item);
        FItems.push_back(std::move(Item));
        FSignalled = true;
    }
    FAppended.notify_one();
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
        if (Buffer.Remaining() == 0)
            FItems.pop_front();
    }
    return Moved;
}

void TIOQueue::Clear()
{
    std::lock_guard Guard(FLock);
    FItems.clear();
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
    std::size_t Bytes = 0;
    for (const auto& Item : FItems)
        if (Item->IsData())
            Bytes += static_cast<const TDataBuffer&>(*Item).Remaining();
    return Bytes;
}

void TIOQueue::SetAppendObserver(std::function<void(const TIOBuffer&)> Observer)
{
    std::lock_guard Guard(FLock);
    FObserver = std::move(Observer);
}

} // namespace kelvalog
