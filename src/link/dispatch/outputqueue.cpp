#include "link/dispatch/outputqueue.h"

#include "common/linkerror.h"

#include <algorithm>
#include <chrono>

namespace kelvalog {

void TOutputQueue::Reset()
{
    std::lock_guard Guard(FLock);
    FBytes.clear();
    FReady = FFlush = FFlushDone = false;
}

int TOutputQueue::Capacity() const
{
    std::lock_guard Guard(FLock);
    return FCapacity;
}

void TOutputQueue::SetCapacity(int Bytes)
{
    std::lock_guard Guard(FLock);
    FCapacity = Bytes;
}

int TOutputQueue::Put(const void* Data, std::size_t Count)
{
    {
        std::lock_guard Guard(FLock);
        if (FBytes.size() + Count > static_cast<std::size_t>(std::max(FCapacity, 0)))
            return ecode::BadArgument;
        const auto* Bytes = static_cast<const std::uint8_t*>(Data);
        FBytes.insert(FBytes.end(), Bytes, Bytes + Count);
        FReady = true;
    }
    FSignal.notify_all();
    return static_cast<int>(Count);
}

int TOutputQueue::Used() const
{
    std::lock_guard Guard(FLock);
    return static_cast<int>(FBytes.size());
}

std::pair<int, int> TOutputQueue::UsedAndCapacity() const
{
    std::lock_guard Guard(FLock);
    return {static_cast<int>(FBytes.size()), FCapacity};
}

int TOutputQueue::Free() const
{
    std::lock_guard Guard(FLock);
    return std::max(FCapacity - static_cast<int>(FBytes.size()), 0);
}

bool TOutputQueue::Empty() const
{
    std::lock_guard Guard(FLock);
    return FBytes.empty();
}

void TOutputQueue::Flush(bool WriterRuns, const std::atomic<bool>& Stop)
{
    std::unique_lock Guard(FLock);
    FBytes.clear();
    FReady = false;
    if (!WriterRuns)
        return;
    FFlushDone = false;
    FFlush = true;
    FSignal.notify_all();
    FSignal.wait_for(Guard, std::chrono::milliseconds(5000),
                     [&] { return FFlushDone || Stop.load(); });
}

void TOutputQueue::Wake()
{
    std::lock_guard Guard(FLock);
    FSignal.notify_all();
}

std::size_t TOutputQueue::Take(std::uint8_t* Chunk, int IdleMs, const std::atomic<bool>& Stop)
{
    std::unique_lock Guard(FLock);
    FSignal.wait_for(Guard, std::chrono::milliseconds(IdleMs),
                     [&] { return FReady || FFlush || Stop.load(); });
    if (FFlush) {
        FFlush = false;
        FFlushDone = true;
        FSignal.notify_all();
        return 0;
    }
    if (Stop.load())
        return 0;
    const std::size_t Count = std::min(ChunkSize, FBytes.size());
    std::copy_n(FBytes.begin(), Count, Chunk);
    if (Count == 0)
        FReady = false;
    return Count;
}

void TOutputQueue::Written(std::size_t Count)
{
    std::lock_guard Guard(FLock);
    const std::size_t Done = std::min(Count, FBytes.size());
    FBytes.erase(FBytes.begin(), FBytes.begin() + static_cast<std::ptrdiff_t>(Done));
}

} // namespace kelvalog
