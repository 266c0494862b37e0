#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

namespace kelvalog {

// Bytes given to send, taken by the write thread.
class TOutputQueue
{
public:
    // How much one write takes at most.
    static constexpr std::size_t ChunkSize = 256;

    // Empties the queue and forgets a flush under way.
    void Reset();
    int Capacity() const;
    void SetCapacity(int Bytes);

    // Count, or BadArgument when the bytes do not fit.
    int Put(const void* Data, std::size_t Count);
    int Used() const;
    int Free() const;
    // Used and Capacity at one moment.
    std::pair<int, int> UsedAndCapacity() const;
    bool Empty() const;
    // Drops what waits; with WriterRuns, waits (at most 5 s, or until Stop)
    // until the write thread has dropped the chunk it holds, too.
    void Flush(bool WriterRuns, const std::atomic<bool>& Stop);
    // Wakes the write thread (to see Stop).
    void Wake();

    // Write thread: waits up to IdleMs for bytes, a flush or Stop, and copies
    // up to ChunkSize bytes into Chunk; 0 when there are none.
    std::size_t Take(std::uint8_t* Chunk, int IdleMs, const std::atomic<bool>& Stop);
    // Write thread: Count bytes of the front were written.
    void Written(std::size_t Count);

private:
    mutable std::mutex FLock;
    std::condition_variable FSignal;
    std::deque<std::uint8_t> FBytes;
    int FCapacity = 4096;
    bool FReady = false, FFlush = false, FFlushDone = false;
};

} // namespace kelvalog
