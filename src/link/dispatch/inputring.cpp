#include "link/dispatch/inputring.h"

#include "common/linkerror.h"
#include "link/dispatch/iqueue.h"

#include <algorithm>
#include <cstring>

namespace kelvalog {

void TInputRing::Reset(bool Allocate)
{
    std::lock_guard Guard(FLock);
    if (Allocate)
        FRing.assign(Size, 0);
    FHead = FTail = 0;
    FFull = false;
    FTotalIn = FLastAvailTotal = FScannedTotal = 0;
    FDataMode = false;
    FHandlerRead = FMaxRead = 0;
}

bool TInputRing::Allocated() const
{
    std::lock_guard Guard(FLock);
    return !FRing.empty();
}

std::size_t TInputRing::UnreadLocked() const
{
    if (FFull)
        return Size;
    return (FHead + Size - FTail) % Size;
}

int TInputRing::Used() const
{
    std::lock_guard Guard(FLock);
    if (FRing.empty())
        return 0;
    const std::size_t Unread = UnreadLocked();
    const std::size_t Taken = FDataMode ? FHandlerRead : 0;
    return static_cast<int>(Unread > Taken ? Unread - Taken : 0);
}

int TInputRing::Get(void* Buffer, std::size_t Count, bool& Freed)
{
    Freed = false;
    std::lock_guard Guard(FLock);
    if (FRing.empty())
        return ecode::BufferIsEmpty;
    const std::size_t Skip = FDataMode ? FHandlerRead : 0;
    const std::size_t Unread = UnreadLocked();
    if (Count > Unread || Skip > Unread - Count)
        return ecode::BufferIsEmpty;
    auto* Out = static_cast<std::uint8_t*>(Buffer);
    const std::size_t From = (FTail + Skip) % Size;
    const std::size_t First = std::min(Count, Size - From);
    std::memcpy(Out, FRing.data() + From, First);
    std::memcpy(Out + First, FRing.data(), Count - First);
    if (FDataMode) {
        FHandlerRead += Count;
    } else if (Count > 0) {
        FTail = (FTail + Count) % Size;
        FFull = false;
        Freed = true;
    }
    return static_cast<int>(Count);
}

std::size_t TInputRing::MoveIn(TIOQueue& Queue)
{
    std::lock_guard Guard(FLock);
    if (FRing.empty() || FFull)
        return 0;
    // Up to the end of the ring, then from its start.
    const std::size_t ToEnd = FHead >= FTail ? Size - FHead : FTail - FHead;
    std::size_t Moved = Queue.MoveData(FRing.data() + FHead, ToEnd);
    FHead = (FHead + Moved) % Size;
    if (Moved == ToEnd && FHead < FTail) {
        const std::size_t More = Queue.MoveData(FRing.data() + FHead, FTail - FHead);
        FHead += More;
        Moved += More;
    }
    FTotalIn += Moved;
    if (Moved > 0 && FHead == FTail)
        FFull = true;
    return Moved;
}

bool TInputRing::HasRoom() const
{
    std::lock_guard Guard(FLock);
    return !FRing.empty() && !FFull;
}

void TInputRing::Flush()
{
    std::lock_guard Guard(FLock);
    FTail = FHead;
    FFull = false;
    // Inside a data notification, what its handlers read went with the rest:
    // the tail must not move past the head when the service ends.
    FHandlerRead = FMaxRead = 0;
}

bool TInputRing::TakeAvail(std::size_t Threshold, std::size_t& Count)
{
    std::lock_guard Guard(FLock);
    if (Threshold == 0 || FTotalIn == FLastAvailTotal)
        return false;
    Count = UnreadLocked();
    if (Count < Threshold)
        return false;
    FLastAvailTotal = FTotalIn;
    return true;
}

void TInputRing::SkipUnseen()
{
    std::lock_guard Guard(FLock);
    FScannedTotal = FTotalIn;
}

void TInputRing::BeginService(bool DataMode)
{
    std::lock_guard Guard(FLock);
    FDataMode = DataMode;
    FHandlerRead = 0;
    FMaxRead = 0;
}

void TInputRing::StartHandler()
{
    std::lock_guard Guard(FLock);
    FMaxRead = std::max(FMaxRead, FHandlerRead);
    FHandlerRead = 0;
}

void TInputRing::EndService(bool DataMode)
{
    std::lock_guard Guard(FLock);
    if (DataMode) {
        FMaxRead = std::max(FMaxRead, FHandlerRead);
        if (FMaxRead > 0 && !FRing.empty()) {
            FTail = (FTail + FMaxRead) % Size;
            FFull = false;
        }
    }
    FDataMode = false;
    FHandlerRead = 0;
    FMaxRead = 0;
}

} // namespace kelvalog
