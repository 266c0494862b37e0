#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kelvalog {

// One item of the queue between the device threads and the dispatch thread.
class TIOBuffer
{
public:
    virtual ~TIOBuffer() = default;
    virtual bool IsData() const = 0;
};

// Received bytes: up to 256, with the count filled and the count already moved on.
class TDataBuffer : public TIOBuffer
{
public:
    static constexpr std::size_t Capacity = 256;
    bool IsData() const override { return true; }
    std::array<std::uint8_t, Capacity> Data{};
    std::size_t Used = 0;
    std::size_t ReadCount = 0;
    // When the bytes were read, in milliseconds of a steady clock.
    std::int64_t ArrivalMs = 0;
    // The queue's held time when they were queued (see TIOQueue::BeginHold).
    std::int64_t HeldAtArrivalMs = 0;
    std::size_t Remaining() const { return Used - ReadCount; }
};

// A device event mask.
class TStatusBuffer : public TIOBuffer
{
public:
    explicit TStatusBuffer(std::uint32_t Mask) : EventMask(Mask) {}
    bool IsData() const override { return false; }
    std::uint32_t EventMask;
};

// Items in arrival order under a lock of their own; appending wakes a waiter
// (an auto-reset signal: one wake-up per burst of appends).
//
// The unread bytes are bounded: a consumer that cannot keep up must not make
// the process grow without end, nor fall ever further behind the input. When
// an append goes over the byte limit, or the oldest bytes are older than the
// age limit, the oldest data buffers are dropped (an overrun). Time in which
// the consumer is held up by someone else (the window thread busy with other
// work) does not count towards the age: only a consumer that cannot keep up
// with the input loses bytes to age.
class TIOQueue
{
public:
    static constexpr std::size_t DefaultByteLimit = 2 * 1024 * 1024;
    static constexpr std::int64_t DefaultAgeLimitMs = 1000;

    // Returns the number of bytes dropped to make room (0 mostly). Without
    // Wake the waiter is not told; a later Signal() tells it of a whole burst.
    std::size_t Append(std::unique_ptr<TIOBuffer> Item, bool Wake = true);
    // Waits up to Timeout for an append since the last wait; true when signalled.
    bool WaitForItem(std::chrono::milliseconds Timeout);
    // 0 for either: no limit of that kind.
    void SetLimits(std::size_t MaxBytes, std::int64_t MaxAgeMs);
    // Wakes a waiter: after appends without Wake, or for stopping.
    void Signal();

    // Milliseconds of the steady clock the read thread stamps buffers with.
    static std::int64_t NowMs();
    // The consumer waits for someone else from NowMs until EndHold (a second
    // EndHold does nothing); the time between ages no queued byte.
    void BeginHold(std::int64_t NowMs);
    void EndHold(std::int64_t NowMs);
    // Drops the oldest data buffers whose age at NowMs is over the age limit;
    // returns the bytes dropped. For the consumer before it takes data.
    std::size_t DropStale(std::int64_t NowMs);

    // Takes the front item when it is a status buffer; returns its mask, or 0.
    std::uint32_t TakeFrontStatus();
    // Copies bytes of the front data buffers into Out (at most Max) and
    // consumes them; stops at a status buffer. Returns the count copied.
    std::size_t MoveData(std::uint8_t* Out, std::size_t Max);

    void Clear();
    bool Empty() const;
    std::size_t Count() const;
    std::size_t PendingBytes() const;

private:
    friend class TIOQueueProbe; // lets tests watch each append (tests/link)
    mutable std::mutex FLock;
    std::condition_variable FAppended;
    bool FSignalled = false;
    std::deque<std::unique_ptr<TIOBuffer>> FItems;
    std::function<void(const TIOBuffer&)> FObserver; // called under FLock per append
    std::size_t FPendingBytes = 0;                   // unread bytes of the data buffers
    std::size_t FDataItems = 0;
    std::size_t FMaxBytes = DefaultByteLimit;
    std::int64_t FMaxAgeMs = DefaultAgeLimitMs;
    std::int64_t FHeldMs = 0;       // held time of the holds that ended
    std::int64_t FHoldStartMs = -1; // start of the hold under way, -1 for none

    std::int64_t HeldAtLocked(std::int64_t NowMs) const;
    std::size_t DropOldestLocked(std::int64_t NowMs);
};

} // namespace kelvalog
