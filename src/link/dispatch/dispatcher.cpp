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
    : FBridge(Bridge ? Bridge : DefaultWindowBridge()), FClock(Clock ? Clock : &TickClock())
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
    std::lock_guard Guard(FGeneralLock);
    FLineErrors = 0;
    FModemStatus = 0;
    FTimers.clear();
    FStatusTriggers.clear();
    FDataTriggers.clear();
    FAvailThreshold = 0;
    FHandleCounter = 1;
    FStopThreads = false;
    FClosePending = false;
    FShuttingDown = false;
    FLossReported = false;
    FThreadError = 0;
    FOverrun->Dropped = 0;
    FWindowAvailSent = false;
    std::lock_guard RingGuard(FDispatchLock);
    FHead = FTail = 0;
    FFull = false;
    FTotalIn = FLastAvailTotal = FScannedTotal = 0;
    FDataMode = false;
    FHandlerRead = FMaxRead = 0;
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
    {
        std::lock_guard Guard(FGeneralLock);
        FInSize = InSize;
        FOutSize = OutSize;
        SettingsResult = Dev.GetSettings(FSettings);
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
    {
        std::lock_guard Guard(FDispatchLock);
        FRing.assign(DispatchBufferSize, 0);
    }
    {
        std::lock_guard Guard(FOutputLock);
        FOutBuf.clear();
        FOutputReady = FOutputFlush = FFlushDone = false;
    }
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
    FReadThread = std::make_unique<TReadThread>(*this, Dev);
    FDispThread = std::make_unique<TDispThread>(*this);
    FWriteThread = std::make_unique<TWriteThread>(*this, Dev);
    FStatusThread = std::make_unique<TStatusThread>(*this, Dev);
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

void TBaseDispatcher::FailThreads(int Code, bool DeviceLost)
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
    {
        std::lock_guard Guard(FOutputLock);
        FOutputSignal.notify_all();
    }
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

void TBaseDispatcher::InputOverrun(std::size_t Bytes)
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
        {
            std::lock_guard Guard(FOutputLock);
            FOutputSignal.notify_all();
        }
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
        std::lock_guard Guard(FGeneralLock);
        if (FInService)
            FClosePending = true;
        FDeviceOpen = false;
        DeviceClose();
    }
    JoinThreads();
    FShuttingDown = false;
}

// ---------------------------------------------------------------- settings

int TBaseDispatcher::ApplyLine(std::uint32_t Baud, int Parity, int DataBits, int StopBits)
{
    std::lock_guard Guard(FGeneralLock);
    if (!FDeviceOpen)
        return ecode::CommNotOpen;
    TSerialDevice& Dev = *Device();
    TDeviceSettings Current;
    if (const int Result = Dev.GetSettings(Current); Result < 0)
        return Result;
    TDeviceSettings Next = Current;
    if (Baud != 0)
        Next.Baud = Baud;
    if (Parity != 5) {
        if (Parity < 0 || Parity > 4)
            return ecode::InvalidParameter;
        Next.Parity = static_cast<std::uint8_t>(Parity);
    }
    if (DataBits != 9) {
        if (DataBits < 5 || DataBits > 8)
            return ecode::InvalidParameter;
        Next.DataBits = static_cast<std::uint8_t>(DataBits);
    }
    if (StopBits != 3) {
        const int Bits = StopBits <= 0 ? 1 : (StopBits > 2 ? 2 : StopBits);
        Next.StopBits = Bits == 1 ? 0 : 2;
    }
    if (Next.DataBits == 5)
        Next.StopBits = 1; // one and a half
    Next.Binary = true;
    Next.ParityCheck = false;
    Next.DsrSensitivity = false;
    Next.TxContinueOnXoff = true;
    Next.NullStrip = false;
    if (Next == Current) {
        FSettings = Current;
        return 0;
    }
    // Let what is being sent leave first.
    for (int I = 0; I < 5000 && Dev.OutputCount() > 0; ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const int StopTenths = Current.StopBits == 0 ? 10 : (Current.StopBits == 1 ? 15 : 20);
    const std::uint64_t BitsPerChar10 =
        10 + Current.DataBits * 10 + (Current.Parity != 0 ? 10 : 0) + StopTenths;
    std::uint64_t Time100ns =
        (10'000'000 / std::max<std::uint32_t>(FLastBaud, 1)) * BitsPerChar10 * 18 / 10;
    if (Time100ns < 10'000)
        Time100ns *= 2;
    std::this_thread::sleep_for(std::chrono::milliseconds((Time100ns + 9'999) / 10'000));

    if (!FDtrAuto)
        Next.DtrControl = FDtrState ? TLineControl::Enable : TLineControl::Disable;
    if (!FRtsAuto)
        Next.RtsControl = FRtsState ? TLineControl::Enable : TLineControl::Disable;
    if (const int Result = Dev.SetSettings(Next); Result < 0)
        return Result;
    FSettings = Next;
    FLastBaud = Next.Baud;
    if (!FDtrAuto)
        Dev.SetDtr(FDtrState);
    if (!FRtsAuto)
        Dev.SetRts(FRtsState);
    return 0;
}

int TBaseDispatcher::SetLine(std::uint32_t Baud, int Parity, int DataBits, int StopBits)
{
    return ApplyLine(Baud, Parity, DataBits, StopBits);
}

int TBaseDispatcher::SetDtr(bool On)
{
    std::lock_guard Guard(FGeneralLock);
    if (FDtrAuto)
        return 1;
    if (FDeviceOpen)
        if (const int Result = Device()->SetDtr(On); Result < 0)
            return Result;
    FDtrState = On;
    return 0;
}

int TBaseDispatcher::SetRts(bool On)
{
    std::lock_guard Guard(FGeneralLock);
    if (FRtsAuto)
        return 1;
    if (FDeviceOpen)
        if (const int Result = Device()->SetRts(On); Result < 0)
            return Result;
    FRtsState = On;
    return 0;
}

bool TBaseDispatcher::DtrState() const
{
    std::lock_guard Guard(FGeneralLock);
    return FDtrState;
}

bool TBaseDispatcher::RtsState() const
{
    std::lock_guard Guard(FGeneralLock);
    return FRtsState;
}

int TBaseDispatcher::SetHWFlow(int FullThreshold, int ResumeThreshold, unsigned Options)
{
    std::lock_guard Guard(FGeneralLock);
    if (FullThreshold < ResumeThreshold || FullThreshold > FInSize || ResumeThreshold < 0)
        return ecode::BadArgument;
    if (!FDeviceOpen)
        return ecode::CommNotOpen;
    TDeviceSettings Settings;
    if (const int Result = Device()->GetSettings(Settings); Result < 0)
        return Result;
    Settings.OutxCtsFlow = (Options & hwf::RequireCTS) != 0;
    Settings.OutxDsrFlow = (Options & hwf::RequireDSR) != 0;
    FDtrAuto = (Options & hwf::UseDTR) != 0;
    FRtsAuto = (Options & hwf::UseRTS) != 0;
    Settings.DtrControl = FDtrAuto ? TLineControl::Handshake
                                   : (FDtrState ? TLineControl::Enable : TLineControl::Disable);
    Settings.RtsControl = FRtsAuto ? TLineControl::Handshake
                                   : (FRtsState ? TLineControl::Enable : TLineControl::Disable);
    Settings.XoffLim = static_cast<std::uint16_t>(FInSize - FullThreshold);
    Settings.XonLim = static_cast<std::uint16_t>(ResumeThreshold);
    if (const int Result = Device()->SetSettings(Settings); Result < 0)
        return Result;
    FSettings = Settings;
    return 0;
}

int TBaseDispatcher::SetSWFlow(int Options, std::uint8_t XOnChar, std::uint8_t XOffChar)
{
    std::lock_guard Guard(FGeneralLock);
    if (Options < swf::None || Options > swf::Both)
        return ecode::BadArgument;
    if (!FDeviceOpen)
        return ecode::CommNotOpen;
    TDeviceSettings Settings;
    if (const int Result = Device()->GetSettings(Settings); Result < 0)
        return Result;
    Settings.OutX = (Options & swf::Transmit) != 0;
    Settings.InX = (Options & swf::Receive) != 0;
    Settings.XonChar = XOnChar;
    Settings.XoffChar = XOffChar;
    if (const int Result = Device()->SetSettings(Settings); Result < 0)
        return Result;
    FSettings = Settings;
    return 0;
}

int TBaseDispatcher::SetXonXoffChars(std::uint8_t XOnChar, std::uint8_t XOffChar)
{
    std::lock_guard Guard(FGeneralLock);
    if (!FDeviceOpen)
        return ecode::CommNotOpen;
    TDeviceSettings Settings;
    if (const int Result = Device()->GetSettings(Settings); Result < 0)
        return Result;
    Settings.XonChar = XOnChar;
    Settings.XoffChar = XOffChar;
    if (const int Result = Device()->SetSettings(Settings); Result < 0)
        return Result;
    FSettings = Settings;
    return 0;
}

int TBaseDispatcher::SetQueueSizes(int InSize, int OutSize)
{
    std::lock_guard Guard(FGeneralLock);
    if (FDeviceOpen)
        if (const int Result = Device()->SetQueueSizes(InSize, OutSize); Result < 0)
            return Result;
    FInSize = InSize;
    FOutSize = OutSize;
    return 0;
}

void TBaseDispatcher::SetDataAvailableThreshold(std::uint16_t Bytes)
{
    // Bytes already waiting are announced now, not at the loop's next turn.
    const TWakeLoop Wake{*this, Bytes != 0};
    std::lock_guard Guard(FGeneralLock);
    FAvailThreshold = Bytes;
}

std::uint16_t TBaseDispatcher::DataAvailableThreshold() const
{
    std::lock_guard Guard(FGeneralLock);
    return FAvailThreshold;
}

// ---------------------------------------------------------------- handlers

int TBaseDispatcher::RegisterWindowHandler(TNotifyHandler Handler)
{
    std::lock_guard Guard(FGeneralLock);
    FHandlers.push_back({FNextHandlerId, THandlerKind::Window, std::move(Handler), false, false});
    FServiceNeeded = true;
    return FNextHandlerId++;
}

int TBaseDispatcher::RegisterEventHandler(TNotifyHandler Handler, bool HandOff)
{
    std::lock_guard Guard(FGeneralLock);
    FHandlers.push_back({FNextHandlerId, THandlerKind::Event, std::move(Handler), HandOff, false});
    FServiceNeeded = true;
    return FNextHandlerId++;
}

int TBaseDispatcher::RegisterProcHandler(TNotifyHandler Handler)
{
    std::lock_guard Guard(FGeneralLock);
    FHandlers.push_back({FNextHandlerId, THandlerKind::Proc, std::move(Handler), false, false});
    FServiceNeeded = true;
    return FNextHandlerId++;
}

void TBaseDispatcher::RemoveHandler(int Id)
{
    std::lock_guard Guard(FGeneralLock);
    const auto It =
        std::find_if(FHandlers.begin(), FHandlers.end(), [Id](auto& H) { return H.Id == Id; });
    if (It == FHandlers.end())
        return;
    if (FInService) {
        It->Removed = true;
        FRemovalPending = true;
    } else {
        FHandlers.erase(It);
    }
}

void TBaseDispatcher::SetPortHandlerInstalled(bool Installed)
{
    std::lock_guard Guard(FGeneralLock);
    FPortHandlerInstalled = Installed;
}

void TBaseDispatcher::SetWindowAvailPaced(bool Paced)
{
    std::lock_guard Guard(FGeneralLock);
    FWindowAvailPaced = Paced;
}

void TBaseDispatcher::SetWindowAvailHeld(bool Held)
{
    std::lock_guard Guard(FGeneralLock);
    FWindowAvailHeld = Held;
}

void TBaseDispatcher::SetWakeBytes(std::string_view Bytes)
{
    TByteSet Set;
    for (const char C : Bytes)
        Set.Add(static_cast<std::uint8_t>(C));
    for (std::size_t I = 0; I < Set.Words.size(); ++I)
        FWakeBytes[I].store(Set.Words[I], std::memory_order_relaxed);
}

TByteSet TBaseDispatcher::WakeBytes() const
{
    TByteSet Set;
    for (std::size_t I = 0; I < Set.Words.size(); ++I)
        Set.Words[I] = FWakeBytes[I].load(std::memory_order_relaxed);
    return Set;
}

bool TByteSet::HoldsAny(const std::uint8_t* Bytes, std::size_t Count) const
{
    return !Empty() && std::any_of(Bytes, Bytes + Count, [this](std::uint8_t B) {
        return (Words[B / 64] >> (B % 64)) & 1;
    });
}

bool TBaseDispatcher::InService() const
{
    std::lock_guard Guard(FGeneralLock);
    return FInService;
}

void TBaseDispatcher::SetClosePending()
{
    FClosePending = true;
    FQueue.Signal();
}

// ---------------------------------------------------------------- output

int TBaseDispatcher::OutBuffUsedLocked() const
{
    return static_cast<int>(FOutBuf.size());
}

int TBaseDispatcher::PutBlock(const void* Data, std::size_t Count)
{
    {
        std::lock_guard Guard(FOutputLock);
        if (FOutBuf.size() + Count > static_cast<std::size_t>(std::max(FOutSize, 0)))
            return ecode::BadArgument;
        const auto* Bytes = static_cast<const std::uint8_t*>(Data);
        FOutBuf.insert(FOutBuf.end(), Bytes, Bytes + Count);
        FOutputReady = true;
    }
    FOutputSignal.notify_all();
    return static_cast<int>(Count);
}

int TBaseDispatcher::OutBuffUsed() const
{
    std::lock_guard Guard(FOutputLock);
    return OutBuffUsedLocked();
}

int TBaseDispatcher::OutBuffFree() const
{
    std::lock_guard Guard(FOutputLock);
    return std::max(FOutSize - OutBuffUsedLocked(), 0);
}

int TBaseDispatcher::FlushOutBuffer()
{
    const bool WriterRuns = FWriteThread && !FWriteThread->Finished() && !FStopThreads.load();
    std::unique_lock Guard(FOutputLock);
    FOutBuf.clear();
    FOutputReady = false;
    if (WriterRuns) {
        FFlushDone = false;
        FOutputFlush = true;
        FOutputSignal.notify_all();
        FOutputSignal.wait_for(Guard, std::chrono::milliseconds(5000),
                               [this] { return FFlushDone || FStopThreads.load(); });
    }
    Guard.unlock();
    std::lock_guard General(FGeneralLock);
    return FDeviceOpen ? Device()->Purge(purge::TxAbort | purge::TxClear) : 0;
}

int TBaseDispatcher::FlushInBuffer()
{
    int Result = 0;
    {
        std::lock_guard General(FGeneralLock);
        if (FDeviceOpen)
            Result = Device()->Purge(purge::RxAbort | purge::RxClear);
    }
    FQueue.Clear();
    std::lock_guard Guard(FDispatchLock);
    FTail = FHead;
    FFull = false;
    // Inside a data notification, what its handlers read went with the rest:
    // the tail must not move past the head when the service ends.
    FHandlerRead = FMaxRead = 0;
    return Result;
}

// ---------------------------------------------------------------- line state

void TBaseDispatcher::CollectLineErrorsLocked()
{
    if (FDeviceOpen)
        Device()->CollectErrors(FLineErrors);
}

void TBaseDispatcher::ReadModemStatusLocked()
{
    if (FDeviceOpen)
        Device()->GetModemStatus(FModemStatus);
}

int TBaseDispatcher::TakeLineError()
{
    std::lock_guard Guard(FGeneralLock);
    int Result = 0;
    if (FLineErrors & lineerr::RxOver)
        Result = 1;
    else if (FLineErrors & lineerr::Overrun)
        Result = 2;
    else if (FLineErrors & lineerr::Parity)
        Result = 3;
    else if (FLineErrors & lineerr::Frame)
        Result = 4;
    else if (FLineErrors & lineerr::Break)
        Result = 9;
    FLineErrors &= ~(lineerr::RxOver | lineerr::Overrun | lineerr::Parity | lineerr::Frame);
    return Result;
}

bool TBaseDispatcher::TakeBreak()
{
    std::lock_guard Guard(FGeneralLock);
    const bool Break = (FLineErrors & lineerr::Break) != 0;
    FLineErrors &= ~lineerr::Break;
    return Break;
}

std::uint8_t TBaseDispatcher::ModemStatus()
{
    std::lock_guard Guard(FGeneralLock);
    ReadModemStatusLocked();
    return FModemStatus;
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
        FInWindowCall = true;
        struct TReset
        {
            std::atomic<bool>& Flag;
            ~TReset() { Flag = false; }
        } Reset{FInWindowCall};
        Call();
    };
    FWaitingForWindow = true;
    struct TReset
    {
        std::atomic<bool>& Flag;
        ~TReset() { Flag = false; }
    } Reset{FWaitingForWindow};
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
