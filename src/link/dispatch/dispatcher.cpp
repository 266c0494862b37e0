#include "link/dispatch/dispatcher.h"

#include "common/linkerror.h"
#include "link/device/comnames.h"
#include "link/dispatch/dispatcherthreads.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kelvalog {

namespace {

// The process-wide dispatcher table; a dispatcher's index is its number.
std::mutex TableLock;
std::vector<TBaseDispatcher*>& Table()
{
    static std::vector<TBaseDispatcher*> Instance;
    return Instance;
}

std::uint16_t EnterTable(TBaseDispatcher* Dispatcher)
{
    std::lock_guard Guard(TableLock);
    auto& List = Table();
    const auto Empty = std::find(List.begin(), List.end(), nullptr);
    if (Empty != List.end()) {
        *Empty = Dispatcher;
        return static_cast<std::uint16_t>(Empty - List.begin());
    }
    List.push_back(Dispatcher);
    return static_cast<std::uint16_t>(List.size() - 1);
}

// Raises a flag for its lifetime.
class TFlagUp
{
public:
    explicit TFlagUp(std::atomic<bool>& Flag) : FFlag(Flag) { FFlag = true; }
    ~TFlagUp() { FFlag = false; }
    TFlagUp(const TFlagUp&) = delete;
    TFlagUp& operator=(const TFlagUp&) = delete;

private:
    std::atomic<bool>& FFlag;
};

void LeaveTable(TBaseDispatcher* Dispatcher)
{
    std::lock_guard Guard(TableLock);
    auto& List = Table();
    std::replace(List.begin(), List.end(), Dispatcher, static_cast<TBaseDispatcher*>(nullptr));
    while (!List.empty() && List.back() == nullptr)
        List.pop_back();
}

} // namespace

// ---------------------------------------------------------------- life cycle

TBaseDispatcher::TBaseDispatcher(TWindowBridge* Bridge, const TTickClock* Clock)
    : FBridge(Bridge ? Bridge : DefaultWindowBridge()), FClock(Clock ? Clock : &TickClock()),
      FTriggers(*FClock), FHandlers(*FClock)
{
    FNumber = EnterTable(this);
}

TBaseDispatcher::~TBaseDispatcher()
{
    // A concrete dispatcher has shut down already; this only waits for
    // threads a subclass that forgot Destroy() would leave running.
    WaitWhileProcessing([this] { return FRunningThreads.load() == 0; }, -1);
    JoinThreads();
    LeaveTable(this);
}

bool TBaseDispatcher::IsCurrentDispatcher(std::uint16_t Number)
{
    return FindDispatcher(Number) != nullptr;
}

TBaseDispatcher* TBaseDispatcher::FindDispatcher(std::uint16_t Number)
{
    std::lock_guard Guard(TableLock);
    const auto& List = Table();
    return Number < List.size() ? List[Number] : nullptr;
}

void TBaseDispatcher::Destroy()
{
    ShutdownDevice();
    WaitWhileProcessing([this] { return FRunningThreads.load() == 0; }, -1);
    JoinThreads();
}

void TBaseDispatcher::ClearState()
{
    {
        std::lock_guard Guard(FGeneralLock);
        FLineErrors = 0;
        FModemStatus = 0;
    }
    FTriggers.Clear();
    FStopThreads = false;
    FClosePending = false;
    FShuttingDown = false;
    FLossReported = false;
    FThreadError = 0;
    FOverrun->Dropped = 0;
    FHandlers.ResetPacing();
    FRing.Reset(false);
}

int TBaseDispatcher::OpenDevice(const std::string& Name, std::uint32_t Baud, int Parity,
                                int DataBits, int StopBits, int InSize, int OutSize,
                                const TLineOptions& Options)
{
    if (IsOpen() || FRunningThreads.load() != 0)
        return ecode::AlreadyOpen;
    JoinThreads();
    ClearState();
    const std::string Path = ResolvePortName(Name);
    if (Path.empty())
        return ecode::FileNotFound;
    if (const int Result = DeviceOpen(Path); Result != 0)
        return Result < 0 ? Result : ecode::GeneralFailure;
    TSerialDevice& Dev = *Device();
    {
        std::lock_guard Guard(FGeneralLock);
        FDeviceOpen = true;
    }
    auto Fail = [this](int Code) {
        ShutdownDevice();
        return Code;
    };
    if (const int Result = Dev.SetQueueSizes(InSize, OutSize); Result < 0)
        return Fail(Result);
    int SettingsResult = 0;
    FOutput.SetCapacity(OutSize);
    {
        std::lock_guard Guard(FGeneralLock);
        FInSize = InSize;
        TDeviceSettings Settings;
        SettingsResult = Dev.GetSettings(Settings);
        FDtrAuto = (Options.HWFlow & hwf::UseDTR) != 0;
        FRtsAuto = (Options.HWFlow & hwf::UseRTS) != 0;
        FDtrState = Options.Dtr;
        FRtsState = Options.Rts;
        ReadModemStatusLocked();
        FLastBaud = 115200;
    }
    // The shutdown takes the general lock itself.
    if (SettingsResult < 0)
        return Fail(SettingsResult);
    FRing.Reset(true);
    FOutput.Reset();
    FQueue.Clear();
    if (const int Result = ApplyLine(Baud, Parity, DataBits, StopBits); Result != 0)
        return Fail(Result);
    {
        std::lock_guard Guard(FGeneralLock);
        // Unchanged settings are not written again; the lines still follow
        // the options.
        if (!FDtrAuto)
            Dev.SetDtr(FDtrState);
        if (!FRtsAuto)
            Dev.SetRts(FRtsState);
        CollectLineErrorsLocked();
        FLineErrors = 0;
    }
    return StartThreads();
}

bool TBaseDispatcher::IsOpen() const
{
    std::lock_guard Guard(FGeneralLock);
    return FDeviceOpen;
}

int TBaseDispatcher::StartThreads()
{
    TSerialDevice& Dev = *Device();
    Dev.ResetWake();
    FStopThreads = false;
    TThreadHost& Host = *this;
    FReadThread = std::make_unique<TReadThread>(Host, Dev, FQueue, FWakeBytes);
    FDispThread = std::make_unique<TDispThread>(Host);
    FWriteThread = std::make_unique<TWriteThread>(Host, Dev, FOutput);
    FStatusThread = std::make_unique<TStatusThread>(Host, Dev, FQueue);
    FThreadsRunning = true;
    for (auto* Thread :
         {FReadThread.get(), FDispThread.get(), FWriteThread.get(), FStatusThread.get()}) {
        FRunningThreads.fetch_add(1);
        Thread->Start(3000);
    }
    return 0;
}

void TBaseDispatcher::ThreadEnded()
{
    {
        std::lock_guard Guard(FThreadLock);
        if (FRunningThreads.fetch_sub(1) == 1)
            FThreadsRunning = false;
    }
    FThreadSignal.notify_all();
}

void TBaseDispatcher::ThreadFailed(int Code, bool DeviceLost)
{
    if (FStopThreads.exchange(true))
        return; // stopping already: a shutdown, or another thread failed first
    FThreadError.store(Code);
    {
        std::lock_guard Guard(FGeneralLock);
        if (FDeviceOpen)
            Device()->Wake();
    }
    FQueue.Signal();
    FOutput.Wake();
    if (!DeviceLost || FLossReported.exchange(true))
        return;
    std::function<void(std::uint16_t, int)> Handler;
    {
        std::lock_guard Guard(FGeneralLock);
        Handler = FOnDeviceLost;
    }
    if (!Handler)
        return;
    const std::uint16_t Number = FNumber;
    if (FBridge)
        FBridge->Post([Handler, Number, Code] { Handler(Number, Code); });
    else
        Handler(Number, Code);
}

void TBaseDispatcher::SetOnDeviceLost(std::function<void(std::uint16_t, int)> Handler)
{
    std::lock_guard Guard(FGeneralLock);
    FOnDeviceLost = std::move(Handler);
}

void TBaseDispatcher::SetOnInputOverrun(std::function<void(std::uint16_t, std::uint64_t)> Handler)
{
    std::lock_guard Guard(FGeneralLock);
    FOnInputOverrun = std::move(Handler);
}

void TBaseDispatcher::InputDropped(std::size_t Bytes)
{
    FOverrun->Dropped.fetch_add(Bytes);
    std::function<void(std::uint16_t, std::uint64_t)> Handler;
    {
        std::lock_guard Guard(FGeneralLock);
        // Seen by the line-error trigger at the next turn of the dispatch loop.
        FLineErrors |= lineerr::RxOver;
        Handler = FOnInputOverrun;
    }
    if (!Handler || FOverrun->Posted.exchange(true))
        return;
    const std::uint16_t Number = FNumber;
    auto State = FOverrun;
    auto Report = [Handler, Number, State] {
        State->Posted = false;
        Handler(Number, State->Dropped.load());
    };
    if (FBridge)
        FBridge->Post(Report);
    else
        Report();
}

void TBaseDispatcher::RunDispatch()
{
    FDispatchThreadId.store(std::this_thread::get_id());
    try {
        DispatchLoop();
    } catch (const std::exception& Error) {
        // Shown on the window thread, never from here.
        if (FBridge)
            FBridge->ReportThreadFailure(Error.what());
        ThreadFailed(0, false);
    } catch (...) {
        if (FBridge)
            FBridge->ReportThreadFailure("Unknown error");
        ThreadFailed(0, false);
    }
}

bool TBaseDispatcher::WaitWhileProcessing(const std::function<bool()>& Done, int TimeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
    const bool Pump = FBridge && FBridge->IsWindowThread();
    for (;;) {
        if (Pump)
            FBridge->ProcessPending();
        if (Done())
            return true;
        if (TimeoutMs >= 0 && Clock::now() >= Deadline)
            return false;
        if (Pump) {
            FBridge->WaitForCalls(5);
        } else {
            std::unique_lock Guard(FThreadLock);
            FThreadSignal.wait_for(Guard, std::chrono::milliseconds(5));
        }
    }
}

void TBaseDispatcher::JoinThreads()
{
    for (auto* Thread : {&FStatusThread, &FWriteThread, &FReadThread, &FDispThread})
        if (*Thread && (*Thread)->Finished()) {
            (*Thread)->Join();
            Thread->reset();
        }
}

void TBaseDispatcher::ShutdownDevice()
{
    if (FShuttingDown.exchange(true))
        return;
    if (!IsOpen()) {
        FShuttingDown = false;
        return;
    }
    TSerialDevice& Dev = *Device();
    FlushOutBuffer();
    FlushInBuffer();
    if (FRunningThreads.load() != 0) {
        FStopThreads = true;
        Dev.Wake();
        FQueue.Signal();
        FOutput.Wake();
        auto Ended = [](const std::unique_ptr<TDispatcherThread>& Thread) {
            return [&Thread] { return !Thread || Thread->Finished(); };
        };
        WaitWhileProcessing(Ended(FStatusThread), -1);
        WaitWhileProcessing(Ended(FWriteThread), -1);
        WaitWhileProcessing(Ended(FReadThread), -1);
        if (FInWindowCall.load() && FBridge && FBridge->IsWindowThread()) {
            // Called from inside the call the dispatch thread waits for: it
            // ends once that call returns; the destructor waits for it.
            FClosePending = true;
        } else if (!WaitWhileProcessing(Ended(FDispThread), 36 * TickMilliseconds)) {
            FQueue.Signal();
            WaitWhileProcessing(Ended(FDispThread), -1);
        }
    }
    {
        if (FHandlers.InService())
            FClosePending = true;
        std::lock_guard Guard(FGeneralLock);
        FDeviceOpen = false;
        DeviceClose();
    }
    JoinThreads();
    FShuttingDown = false;
}

// ---------------------------------------------------------------- window thread

bool TBaseDispatcher::CallOnWindowThread(const std::function<void()>& Call, int TimeoutMs)
{
    // Until the window thread takes up the call it is busy with other work:
    // the input waiting meanwhile does not age (see TIOQueue).
    const bool Consumer = std::this_thread::get_id() == FDispatchThreadId.load();
    auto Wrapped = [this, Call, Consumer] {
        if (Consumer)
            FQueue.EndHold(TIOQueue::NowMs());
        const TFlagUp InCall(FInWindowCall);
        Call();
    };
    const TFlagUp Waiting(FWaitingForWindow);
    if (Consumer)
        FQueue.BeginHold(TIOQueue::NowMs());
    const bool Ran =
        TimeoutMs < 0 ? FBridge->InvokeAndWait(Wrapped) : FBridge->Send(Wrapped, TimeoutMs);
    if (Consumer)
        FQueue.EndHold(TIOQueue::NowMs());
    return Ran;
}

void TBaseDispatcher::HandOff(const std::function<void()>& Call)
{
    if (FBridge && std::this_thread::get_id() == FDispatchThreadId.load() &&
        !FBridge->IsWindowThread())
        CallOnWindowThread(Call, -1);
    else
        Call();
}

// ---------------------------------------------------------------- serial dispatcher

TSerialDispatcher::TSerialDispatcher(TWindowBridge* Bridge, const TTickClock* Clock)
    : TBaseDispatcher(Bridge, Clock)
{
}

TSerialDispatcher::~TSerialDispatcher()
{
    Destroy();
}

int TSerialDispatcher::DeviceOpen(const std::string& Path)
{
    FDevice = CreateSerialDevice(Path);
    if (!FDevice)
        return ecode::FileNotFound;
    return FDevice->Open(Path);
}

void TSerialDispatcher::DeviceClose()
{
    if (FDevice)
        FDevice->Close();
}

int TSerialDispatcher::ProbeDevice(const std::string& Name)
{
    const std::string Path = ResolvePortName(Name);
    if (Path.empty())
        return ecode::FileNotFound;
    auto Device = CreateSerialDevice(Path);
    if (!Device)
        return ecode::FileNotFound;
    const int Result = Device->Open(Path);
    Device->Close();
    return Result;
}

} // namespace kelvalog
