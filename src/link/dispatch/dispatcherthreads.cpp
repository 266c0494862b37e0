#include "link/dispatch/dispatcherthreads.h"

#include "common/linkerror.h"
#include "link/dispatch/dispatcher.h"
#include "link/dispatch/iqueue.h"
#include "link/dispatch/outputqueue.h"
#include "link/dispatch/wakebytes.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace kelvalog {

namespace {
// A pause after a read that emptied the device, by the size of the burst
// read: short at a line's pace, which is all a board at up to 115,200 baud
// ever reaches; while lines come faster than that, two screen frames, so
// that each hand-off to the window carries many lines (the hand-offs, not
// the lines, are most of the cost); short again in a flood, where the
// device's own queue (a few tens of KB) must not fill up meanwhile.
std::chrono::milliseconds GatherTime(std::size_t Burst)
{
    using namespace std::chrono_literals;
    if (Burst < TDataBuffer::Capacity)
        return 8ms;
    return Burst < 8192 ? 33ms : 2ms;
}
// The threads are woken for input and for stopping; these waits only bound
// how long a thread sleeps when nothing happens, so that a program on line
// with a silent board costs nothing: a turn a minute.
constexpr int IdleWaitMs = 60'000;
// In a long burst the dispatch thread is told of every so many bytes, so
// that it works while the read thread goes on reading.
constexpr std::size_t TellEvery = 8192;
} // namespace

// The dispatch, status and write threads wake often for a little work,
// woken by another thread. As batch threads they keep their fair share of
// the processor but, once woken, wait for the running thread to sleep
// instead of preempting it: at a board's pace the dispatch thread, woken by
// the read thread and by the window's reply, had preempted each of them at
// most lines, a pair of extra context switches each time.
void SetBatchScheduling(bool Batch)
{
#ifdef SCHED_BATCH
    const sched_param Param{};
    // A hint: failing costs nothing.
    pthread_setschedparam(pthread_self(), Batch ? SCHED_BATCH : SCHED_OTHER, &Param);
#endif
}

TDispatcherThread::~TDispatcherThread()
{
    Join();
}

bool TDispatcherThread::Start(int TimeoutMs)
{
    FThread = std::thread([this] { Run(); });
    std::unique_lock Guard(FLock);
    return FStarted.wait_for(Guard, std::chrono::milliseconds(TimeoutMs),
                             [this] { return FRunning; });
}

void TDispatcherThread::Join()
{
    if (FThread.joinable())
        FThread.join();
}

void TDispatcherThread::Run()
{
    {
        std::lock_guard Guard(FLock);
        FRunning = true;
    }
    FStarted.notify_all();
    int Code = 0;
    try {
        Code = Execute();
    } catch (...) {
        // A device thread reports by its code, never by throwing; the
        // dispatch thread reports its own failures. Nothing is left to say.
    }
    if (Code < 0)
        FHost.ThreadFailed(Code, true);
    FFinished.store(true);
    FHost.ThreadEnded();
}

int TReadThread::Execute()
{
    // One read takes what the line discipline holds (a few KB at most), cut
    // into queue buffers afterwards: a system call per buffer was most of
    // this thread's work while lines come fast.
    std::array<std::uint8_t, ReadChunk> Chunk;
    // How long to wait for bytes before the next read: idle, as long as it
    // takes; while a line's end is due, a gather time, after which the read
    // tells what waits; 0: read at once.
    int WaitMs = IdleWaitMs;
    while (!FHost.StopRequested()) {
        // Bytes read right after a wait for them came just now.
        const bool Watched = WaitMs > 0 && WaitMs != IdleWaitMs;
        if (WaitMs > 0) {
            const int Ready = FDevice.WaitReadable(WaitMs);
            if (Ready < 0)
                return FHost.StopRequested() ? 0 : ecode::ReadThreadFailed;
            if (Ready == 0 && WaitMs == IdleWaitMs)
                continue;
        }
        // Read as long as reads return bytes. The dispatch thread hears once
        // of a burst, not of every read.
        const TByteSet Wake = FWakeBytes.Get();
        std::size_t Burst = 0;
        std::size_t Ends = 0;
        while (!FHost.StopRequested()) {
            const int Count = FDevice.Read(Chunk.data(), Chunk.size());
            if (Count < 0)
                return FHost.StopRequested() ? 0 : ecode::ReadThreadFailed;
            if (Count == 0)
                break;
            const auto Size = static_cast<std::size_t>(Count);
            if (const int Code = Queue(Chunk.data(), Size); Code < 0)
                return Code;
            Ends += Wake.CountIn(Chunk.data(), Size);
            Burst += Size;
            // Well short of the discipline's buffer: it was emptied, and the
            // read that would say so can wait for the next turn.
            if (Size < ReadChunk / 2)
                break;
        }
        // Without wake bytes every read is told; with them, when a message
        // ended, the input paused, or the bytes waited long enough.
        if (FUntold > 0 && (Wake.Empty() || Ends > 0 || Burst == 0 ||
                            std::chrono::steady_clock::now() - FUntoldSince >=
                                std::chrono::milliseconds(TBaseDispatcher::WakeDelayMs)))
            Tell();
        // Nothing came: wait until something does.
        if (Burst == 0) {
            WaitMs = IdleWaitMs;
            continue;
        }
        // At a line's pace the bytes come one at a time, and under load in
        // small bursts: a short pause after a read lets more gather, instead
        // of waking the dispatch thread (and through it the window) for each.
        // The device keeps what arrives meanwhile, and the next turn reads it
        // without asking first whether there is any.
        const TNextRead Next = NextRead(Burst, Ends, Watched);
        WaitMs = Next.Watch ? static_cast<int>(GatherTime(Burst).count()) : 0;
        if (!Next.Watch && !FHost.StopRequested())
            std::this_thread::sleep_for(Next.Pause);
    }
    return 0;
}

TReadThread::TNextRead TReadThread::NextRead(std::size_t Burst, std::size_t Ends, bool Watched)
{
    using namespace std::chrono;
    using namespace std::chrono_literals;
    const milliseconds Pause = GatherTime(Burst);
    if (Burst >= TDataBuffer::Capacity)
        return {Pause, false};
    const auto Now = steady_clock::now();
    const bool LineEnded = Ends > 0;
    if (LineEnded)
        LineEndRead(Now, Ends, Watched);
    // A board sends its lines at a steady pace, byte by byte: the next line
    // cannot end before the shortest of the last gaps between line ends.
    // Most lines are read whole by one turn that starts just after the end
    // is due. Every few lines the turn starts shortly before instead, and
    // each arrival is read at once from then on, so that the end is seen as
    // it comes and the pace stays measured; a turn that finds no end yet
    // does the same.
    const auto Shortest = *std::min_element(FEndGaps.begin(), FEndGaps.end());
    if (Shortest == steady_clock::duration::zero())
        return {Pause, false};
    const auto Left = FLastEnd + Shortest - Now;
    const microseconds Wake = FAfterDue ? -MinMargin : FMargin;
    // Within a line, bytes that come faster than the last lines did (a
    // sender catching up) are met no later than a gather time apart.
    if (const auto Sleep = duration_cast<microseconds>(Left - Wake); Sleep >= 100us)
        return {std::min<microseconds>(Sleep, LineEnded ? 50ms : Pause), false};
    // Overdue by more than a gather time: the pace has changed, and the
    // last gaps will say so once the line has ended.
    if (Left > -duration_cast<steady_clock::duration>(Pause))
        return {Pause, true};
    return {Pause, false};
}

void TReadThread::LineEndRead(std::chrono::steady_clock::time_point Now, std::size_t Ends,
                              bool Watched)
{
    using namespace std::chrono;
    using namespace std::chrono_literals;
    // The lines read whole between two ends seen as they came.
    constexpr int SeenEvery = 8;
    constexpr auto Late = 8ms;
    const auto Shortest = *std::min_element(FEndGaps.begin(), FEndGaps.end());
    const auto Due = FLastEnd + Shortest;
    const auto Since = Now - Due;
    // More than one end in a read: the pace is not what was taken.
    const bool Paced = !Watched && Ends == 1 && Shortest != steady_clock::duration::zero();
    // A line read whole just after its end was due ended about then.
    const bool TakenWhole = Paced && FAfterDue && Since >= 0s && Since <= MinMargin + Late;
    // A line's end found a little after it was due, after a sleep meant to
    // end before it, came at some time before this read: taken as due, so
    // that late wake-ups on a busy machine do not push the next one later
    // and later, and the next line is watched from earlier on, until an end
    // is seen as it comes.
    const bool TakenLate = Paced && !FAfterDue && Since > 0s && Since <= Late;
    if (TakenWhole || TakenLate) {
        FLastEnd = Due;
        ++FTakenSinceSeen;
        ++FEndsSinceSeen;
        if (TakenLate)
            FMargin = std::min<microseconds>(2 * FMargin, Late);
    } else {
        // The gap is averaged over the lines ended since the last end seen,
        // so that ends taken as due, or read together, do not skew it.
        FEndsSinceSeen += static_cast<int>(std::min<std::size_t>(Ends, 1000));
        if (FLastSeen != steady_clock::time_point{})
            FEndGaps[FEndGapNext++ % FEndGaps.size()] = (Now - FLastSeen) / FEndsSinceSeen;
        FLastEnd = Now;
        FLastSeen = Now;
        FTakenSinceSeen = Ends > 1 ? SeenEvery : 0;
        FEndsSinceSeen = 0;
        if (Watched)
            FMargin = MinMargin;
    }
    FAfterDue = FLastSeen != steady_clock::time_point{} && FTakenSinceSeen + 1 < SeenEvery;
}

int TReadThread::Queue(const std::uint8_t* Bytes, std::size_t Size)
{
    const auto Now = std::chrono::steady_clock::now();
    const auto ArrivalMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Now.time_since_epoch()).count();
    if (FUntold == 0)
        FUntoldSince = Now;
    for (std::size_t Done = 0; Done < Size;) {
        std::unique_ptr<TDataBuffer> Buffer(new (std::nothrow) TDataBuffer);
        if (!Buffer)
            return ecode::ReadBufferAllocation;
        const std::size_t Take = std::min(Size - Done, TDataBuffer::Capacity);
        std::copy_n(Bytes + Done, Take, Buffer->Data.begin());
        Buffer->Used = Take;
        Buffer->ArrivalMs = ArrivalMs;
        Done += Take;
        FUntold += Take;
        const bool Full = FUntold >= TellEvery;
        if (const std::size_t Dropped = FQueue.Append(std::move(Buffer), Full); Dropped > 0)
            FHost.InputDropped(Dropped);
        if (Full) {
            FUntold = 0;
            FUntoldSince = Now;
        }
    }
    return 0;
}

void TReadThread::Tell()
{
    FQueue.Signal();
    FUntold = 0;
}

int TStatusThread::Execute()
{
    SetBatchScheduling(true);
    while (!FHost.StopRequested()) {
        std::uint32_t Events = 0;
        const int Result = FDevice.WaitLineEvent(FHost.LineEventMask(), IdleWaitMs, Events);
        if (Result < 0)
            return FHost.StopRequested() ? 0 : Result;
        if (Events & (evt::ModemEvents | evt::ErrorEvents))
            FQueue.Append(std::make_unique<TStatusBuffer>(Events));
    }
    return 0;
}

int TWriteThread::Execute()
{
    SetBatchScheduling(true);
    using namespace std::chrono_literals;
    std::array<std::uint8_t, TOutputQueue::ChunkSize> Chunk;
    while (!FHost.StopRequested()) {
        const std::size_t Count = FOutput.Take(Chunk.data(), IdleWaitMs, FHost.StopFlag());
        if (Count == 0)
            continue;
        const int Written = FDevice.Write(Chunk.data(), Count);
        if (Written < 0)
            return FHost.StopRequested() ? 0 : ecode::WriteThreadFailed;
        if (Written == 0) {
            // The device's queue is full; try again shortly.
            std::this_thread::sleep_for(5ms);
            continue;
        }
        FOutput.Written(static_cast<std::size_t>(Written));
    }
    return 0;
}

int TDispThread::Execute()
{
    SetBatchScheduling(true);
    FHost.RunDispatch();
    return 0;
}

} // namespace kelvalog
