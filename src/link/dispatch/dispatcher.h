#pragma once

#include "common/tickclock.h"
#include "link/device/serialdevice.h"
#include "link/dispatch/handlerlist.h"
#include "link/dispatch/inputring.h"
#include "link/dispatch/iqueue.h"
#include "link/dispatch/outputqueue.h"
#include "link/dispatch/threadhost.h"
#include "link/dispatch/triggerset.h"
#include "link/dispatch/wakebytes.h"
#include "link/dispatch/windowbridge.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kelvalog {

// Notification messages.
namespace msg {
inline constexpr std::uint32_t TriggerAvail = 32257;
inline constexpr std::uint32_t TriggerData = 32258;
inline constexpr std::uint32_t TriggerTimer = 32259;
inline constexpr std::uint32_t TriggerStatus = 32260;
inline constexpr std::uint32_t ClosePending = 32266;
} // namespace msg

// Status trigger kinds.
namespace stkind {
inline constexpr int ModemStatus = 1;
inline constexpr int LineError = 2;
inline constexpr int OutbuffFree = 3;
inline constexpr int OutbuffUsed = 4;
inline constexpr int OutSent = 5;
} // namespace stkind

// Hardware flow option bits.
namespace hwf {
inline constexpr unsigned UseDTR = 1;
inline constexpr unsigned UseRTS = 2;
inline constexpr unsigned RequireDSR = 4;
inline constexpr unsigned RequireCTS = 8;
} // namespace hwf

// Software flow: 0 none, 1 receive, 2 transmit, 3 both.
namespace swf {
inline constexpr int None = 0;
inline constexpr int Receive = 1;
inline constexpr int Transmit = 2;
inline constexpr int Both = 3;
} // namespace swf

// Line-error trigger mask bits and the codes TakeLineError returns.
namespace lemask {
inline constexpr unsigned Overrun = 1;
inline constexpr unsigned Parity = 2;
inline constexpr unsigned Framing = 4;
inline constexpr unsigned Break = 8;
} // namespace lemask

struct TLineOptions
{
    bool Dtr = true;
    bool Rts = true;
    unsigned HWFlow = 0; // hwf bits
};

class TDispatcherThread;

// Everything of a dispatcher that does not depend on the device. All public
// operations run on the window thread unless marked otherwise. Its parts each
// keep their own lock: the input ring, the output queue, the triggers and the
// handlers; the general lock guards the device and its settings.
class TBaseDispatcher : private TThreadHost
{
public:
    static constexpr std::size_t DispatchBufferSize = TInputRing::Size;
    static constexpr int SendTimeoutMs = 3000;
    // Line values that keep the device's current setting.
    static constexpr int UnchangedParity = 5;
    static constexpr int UnchangedDataBits = 9;
    static constexpr int UnchangedStopBits = 3;

    // Bridge: how notifications reach the window thread (null: the process
    // default, and when there is none, direct calls). Clock: the tick clock
    // (null: the process clock).
    explicit TBaseDispatcher(TWindowBridge* Bridge = nullptr, const TTickClock* Clock = nullptr);
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    // --- process-wide table
    std::uint16_t DispatcherNumber() const { return FNumber; }
    // Whether Number names a live dispatcher (window thread).
    static bool IsCurrentDispatcher(std::uint16_t Number);
    static TBaseDispatcher* FindDispatcher(std::uint16_t Number);

    // --- life cycle
    virtual int OpenDevice(const std::string& Name, std::uint32_t Baud, int Parity, int DataBits,
                           int StopBits, int InSize, int OutSize, const TLineOptions& Options);
    // Stops the threads (running queued window calls meanwhile) and closes the
    // device. Returns at once when called again while it runs. Called from
    // inside a call the dispatch thread is waiting for, it does not wait for
    // the dispatch thread: it marks close pending and the destructor waits.
    void ShutdownDevice();
    bool IsOpen() const;

    // --- settings
    int SetLine(std::uint32_t Baud, int Parity, int DataBits, int StopBits);
    int SetDtr(bool On); // 1 while DTR is under handshake control
    int SetRts(bool On);
    int SetHWFlow(int FullThreshold, int ResumeThreshold, unsigned Options);
    int SetSWFlow(int Options, std::uint8_t XOnChar, std::uint8_t XOffChar);
    int SetXonXoffChars(std::uint8_t XOnChar, std::uint8_t XOffChar);
    int SetQueueSizes(int InSize, int OutSize);
    void SetDataAvailableThreshold(std::uint16_t Bytes); // 0 = off
    std::uint16_t DataAvailableThreshold() const;
    bool DtrState() const;
    bool RtsState() const;

    // --- triggers (any thread, also from inside a handler)
    int AddTimerTrigger();
    int AddStatusTrigger(int Kind);
    int AddDataTrigger(const std::string& Text);
    int SetTimerTrigger(int Handle, std::uint32_t Ticks, bool Active);
    int SetStatusTrigger(int Handle, std::uint32_t Value, bool Active);
    int RemoveTrigger(int Handle);

    // --- handlers; each registration returns an id for its removal
    // A window handler receives each notification through the bridge, waited
    // for at most 3000 ms, when there is more than one window handler or the
    // port handler is installed.
    int RegisterWindowHandler(TNotifyHandler Handler);
    // Called on the dispatch thread, or handed over to the window thread and
    // waited for when HandOff is set.
    int RegisterEventHandler(TNotifyHandler Handler, bool HandOff);
    int RegisterProcHandler(TNotifyHandler Handler);
    void RemoveHandler(int Id);
    void SetPortHandlerInstalled(bool Installed);
    // Window handlers that only need to know that data is arriving (a light)
    // hear of it at most once per tick: at a slow pace the bytes come one at
    // a time, and each would wake the window thread. Such handlers cannot
    // count on reading every byte in their notification.
    void SetWindowAvailPaced(bool Paced);
    // Such handlers hear nothing while Held: a light already lit.
    void SetWindowAvailHeld(bool Held);

    // Bytes that end a message (a framer's line end; any thread). While some
    // are set, the read thread tells the dispatch thread of input at once
    // only when it holds one of them, when the input pauses, or when it has
    // waited WakeDelayMs: a line coming byte by byte then wakes the dispatch
    // thread about once. All handlers hear of data accordingly. Empty: every
    // read is told at once.
    void SetWakeBytes(std::string_view Bytes);
    static constexpr int WakeDelayMs = 50;
    TByteSet WakeBytes() const;

    // --- received data
    // Unread bytes (minus what the current handler read during a data notification).
    int InBuffUsed() const;
    // Copies Count bytes: during a data notification after what the current
    // handler read (moving nothing), otherwise from the tail (moving it).
    // ecode::BufferIsEmpty when fewer are unread.
    int GetBlock(void* Buffer, std::size_t Count);
    // Bytes received but still waiting in the input queue (ring full).
    std::size_t QueuedBytes() const { return FQueue.PendingBytes(); }
    TIOQueue& InputQueue() { return FQueue; }

    // --- output
    // Count, or ecode::BadArgument when it does not fit.
    int PutBlock(const void* Data, std::size_t Count);
    int OutBuffUsed() const;
    int OutBuffFree() const;
    int FlushOutBuffer();
    int FlushInBuffer();

    // --- line state
    int TakeLineError(); // 1 overflow, 2 overrun, 3 parity, 4 framing, 9 break alone, 0
    bool TakeBreak();
    std::uint8_t ModemStatus();

    // --- window thread
    // Hands Call over to the window thread and waits until it has run; a
    // direct call when not on the dispatch thread.
    void HandOff(const std::function<void()>& Call);
    // True while the dispatch thread waits for the window thread (a hand-off
    // or a window-handler message).
    bool WaitingForWindow() const { return FWaitingForWindow.load(); }
    // True while a call of the dispatch thread runs on the window thread (a
    // close requested now comes from inside it and must not wait).
    bool InWindowCall() const { return FInWindowCall.load(); }
    bool InService() const;
    void SetClosePending();
    bool ClosePending() const { return FClosePending.load(); }

    // The device failed under a worker thread (read failure, hang-up): called
    // once per opening on the window thread through the bridge (directly
    // without one) with the dispatcher number and the code; the threads end.
    void SetOnDeviceLost(std::function<void(std::uint16_t Number, int Code)> Handler);

    // Received bytes the input queue dropped because the subscribers could not
    // keep up: Handler is called on the window thread through the bridge
    // (directly without one) with the dispatcher number and the bytes dropped
    // since the opening; while one call is on its way no other is posted. The
    // line errors also get the input-overflow bit, as a device overflow would.
    void
    SetOnInputOverrun(std::function<void(std::uint16_t Number, std::uint64_t Dropped)> Handler);
    std::uint64_t OverrunBytes() const { return FOverrun->Dropped.load(); }

    bool ThreadsRunning() const { return FThreadsRunning.load(); }
    int RunningThreadCount() const { return FRunningThreads.load(); }
    // The code the worker threads stopped with (0 while fine).
    int ThreadError() const { return FThreadError.load(); }

protected:
    // Device hooks of a concrete dispatcher.
    virtual int DeviceOpen(const std::string& Path) = 0;
    virtual void DeviceClose() = 0;
    virtual TSerialDevice* Device() = 0;
    // Shuts the device down and waits until no worker thread runs; a concrete
    // dispatcher calls it from its destructor, while its device still exists.
    void Destroy();

private:
    TWindowBridge* FBridge;
    const TTickClock* FClock;
    std::uint16_t FNumber = 0;

    // General lock: the device, its settings, line errors and modem status,
    // and the failure handlers.
    mutable std::mutex FGeneralLock;
    std::uint32_t FLastBaud = 115200;
    bool FDtrState = true, FDtrAuto = false;
    bool FRtsState = true, FRtsAuto = false;
    int FInSize = 4096;
    std::uint32_t FLineErrors = 0;
    std::uint8_t FModemStatus = 0;
    bool FDeviceOpen = false;
    std::function<void(std::uint16_t, int)> FOnDeviceLost;
    std::function<void(std::uint16_t, std::uint64_t)> FOnInputOverrun;

    // The parts, each with its own lock.
    TInputRing FRing;
    TOutputQueue FOutput;
    TTriggerSet FTriggers;
    THandlerList FHandlers;
    TIOQueue FQueue;
    TWakeBytes FWakeBytes;

    std::atomic<bool> FThreadsRunning{false};
    std::atomic<bool> FStopThreads{false};
    std::atomic<bool> FClosePending{false};
    std::atomic<bool> FShuttingDown{false};
    std::atomic<bool> FWaitingForWindow{false};
    std::atomic<bool> FInWindowCall{false};
    std::atomic<int> FRunningThreads{0};
    std::atomic<int> FThreadError{0};
    std::atomic<bool> FLossReported{false};
    std::atomic<std::thread::id> FDispatchThreadId{};
    // Shared with the calls posted to the window thread, which may run after
    // the dispatcher is gone.
    struct TOverrunState
    {
        std::atomic<std::uint64_t> Dropped{0};
        std::atomic<bool> Posted{false};
    };
    std::shared_ptr<TOverrunState> FOverrun = std::make_shared<TOverrunState>();

    std::unique_ptr<TDispatcherThread> FReadThread, FDispThread, FWriteThread, FStatusThread;

    // Thread start and end.
    std::mutex FThreadLock;
    std::condition_variable FThreadSignal;

    void ClearState();
    bool CallOnWindowThread(const std::function<void()>& Call, int TimeoutMs);
    int ApplyLine(std::uint32_t Baud, int Parity, int DataBits, int StopBits);
    // Reads the device's settings, lets Change change them and writes them
    // back (general lock held).
    int ChangeSettingsLocked(const std::function<void(TDeviceSettings&)>& Change);
    int StartThreads();
    // Waits until Done() or TimeoutMs (negative: no limit) has passed, running
    // the window calls queued meanwhile when on the window thread.
    bool WaitWhileProcessing(const std::function<bool()>& Done, int TimeoutMs);
    void JoinThreads();

    // The threads' side.
    const std::atomic<bool>& StopFlag() const override { return FStopThreads; }
    void ThreadFailed(int Code, bool DeviceLost) override;
    void ThreadEnded() override;
    void InputDropped(std::size_t Bytes) override;
    void RunDispatch() override;
    std::uint32_t LineEventMask() const override;

    // Wakes the dispatch loop when it goes out of scope (after the lock the
    // caller took later), so that it sees a trigger just armed.
    struct TWakeLoop
    {
        TBaseDispatcher& D;
        bool Armed;
        ~TWakeLoop();
    };
    // Dispatch thread.
    void DispatchLoop();
    // True when it moved bytes and more are still queued.
    bool DispatchCycle();
    bool CheckStatusTriggers();
    bool CheckTimerTriggers();
    bool CheckDataTriggers();
    bool CheckDataAvailable();
    TLineSnapshot LineSnapshot();
    // Hands out Msg for Handle; false when no trigger fired (Handle 0).
    bool FireTrigger(std::uint32_t Msg, int Handle);
    void Notify(std::uint32_t Msg, std::uint32_t WParam, std::uint16_t LParamLow);
    void Invoke(const THandlerList::THandler& Handler, std::uint32_t Msg, std::uint32_t WParam,
                std::uint32_t LParam);
    void CollectLineErrorsLocked();
    void ReadModemStatusLocked();
};

// The dispatcher of a serial device (a POSIX terminal, or whatever the device
// factory gives).
class TSerialDispatcher : public TBaseDispatcher
{
public:
    explicit TSerialDispatcher(TWindowBridge* Bridge = nullptr, const TTickClock* Clock = nullptr);
    ~TSerialDispatcher() override;

    // Opens the device the way an opening would and closes it again at once,
    // without threads: 0, or the opening's error (-5: exists but in use).
    static int ProbeDevice(const std::string& Name);
    // The error number behind the last failed opening of the device (0 if none).
    int LastOpenErrno() const { return FDevice ? FDevice->LastOpenErrno() : 0; }

protected:
    int DeviceOpen(const std::string& Path) override;
    void DeviceClose() override;
    TSerialDevice* Device() override { return FDevice.get(); }

private:
    std::unique_ptr<TSerialDevice> FDevice;
};

} // namespace kelvalog
