#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kelvalog {

class TIOQueue;

// The dispatch ring: received bytes the subscribers read, moved in from the
// input queue by the dispatch thread. During a data notification each handler
// reads from the same start; the ring's tail moves by the most any of them
// read once the notification is over.
class TInputRing
{
public:
    static constexpr std::size_t Size = 8192;

    // Empties the ring and forgets its counters; Allocate gives it its bytes
    // (an opening), otherwise it keeps what it has.
    void Reset(bool Allocate);
    bool Allocated() const;
    // Unread bytes, minus what the current handler read in a data notification.
    int Used() const;
    // Copies Count bytes: in a data notification after what the current
    // handler read (moving nothing), otherwise from the tail (moving it).
    // Count, or BufferIsEmpty when fewer are unread. Freed: room was made.
    int Get(void* Buffer, std::size_t Count, bool& Freed);
    // Moves queued bytes in while there is room; the count moved.
    std::size_t MoveIn(TIOQueue& Queue);
    bool HasRoom() const;
    // Drops every unread byte, also what handlers read in a notification.
    void Flush();

    // Whether Threshold or more unread bytes have come since the last such
    // notice; Count: the bytes unread then.
    bool TakeAvail(std::size_t Threshold, std::size_t& Count);
    // Calls Visit with each byte not seen yet until it returns true; bytes
    // read before they were seen are skipped. Without Visit all count as seen.
    template <class F> void ScanUnseen(F&& Visit);
    void SkipUnseen();

    // A notification's data mode: handlers read without moving the tail.
    void BeginService(bool DataMode);
    void StartHandler();
    void EndService(bool DataMode);

private:
    mutable std::mutex FLock;
    std::vector<std::uint8_t> FRing;
    std::size_t FHead = 0, FTail = 0;
    bool FFull = false;
    bool FDataMode = false;
    std::size_t FHandlerRead = 0;      // read by the current handler in data mode
    std::size_t FMaxRead = 0;          // most any handler read in this service
    std::uint64_t FTotalIn = 0;        // bytes ever moved into the ring
    std::uint64_t FLastAvailTotal = 0; // FTotalIn at the last data-available notice
    std::uint64_t FScannedTotal = 0;   // bytes the data triggers have seen

    std::size_t UnreadLocked() const;
};

template <class F> void TInputRing::ScanUnseen(F&& Visit)
{
    std::lock_guard Guard(FLock);
    while (FScannedTotal < FTotalIn) {
        // The byte FTotalIn - FScannedTotal before the head.
        const auto Back = static_cast<std::size_t>(FTotalIn - FScannedTotal);
        if (Back > UnreadLocked()) {
            FScannedTotal = FTotalIn - UnreadLocked(); // read before it was seen
            continue;
        }
        const std::uint8_t Byte = FRing[(FHead + Size - Back) % Size];
        ++FScannedTotal;
        if (Visit(Byte))
            return;
    }
}

} // namespace kelvalog
