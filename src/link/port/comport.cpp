#include "link/port/comport.h"

#include "common/linkerror.h"
#include "link/device/comnames.h"
#include "link/device/openfailure.h"
#include "link/device/portinfo.h"
#include "link/dispatch/dispatcher.h"
#include "link/dispatch/exceptionrelay.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <algorithm>

namespace kelvalog {

// The per-opening receiver of the dispatcher's notifications on the window
// thread; also the target of the posted close-pending message.
class TComNotifyWindow : public QObject
{
public:
    explicit TComNotifyWindow(TCustomComPort* Port) : FPort(Port) {}

    void PostClosePending()
    {
        QMetaObject::invokeMethod(
            this, [this] { FPort->HandleClosePending(); }, Qt::QueuedConnection);
    }

private:
    TCustomComPort* FPort;
};

namespace {

TCustomComPort::TPortPrompt& PromptHook()
{
    static TCustomComPort::TPortPrompt Hook;
    return Hook;
}

TCustomComPort::TPortPrompt& DefaultPrompt()
{
    static TCustomComPort::TPortPrompt Prompt;
    return Prompt;
}

std::uint16_t AskForPort(QObject* Port)
{
    if (PromptHook())
        return PromptHook()(Port);
    return DefaultPrompt() ? DefaultPrompt()(Port) : 0;
}

int MapOpenResult(int Code)
{
    if (Code == ecode::AccessDenied)
        return ecode::AlreadyOpen;
    if (Code == ecode::FileNotFound || Code == ecode::PathNotFound)
        return ecode::BadId;
    return Code;
}

// The device and the cause of a failed opening, for the user.
std::string OpenFailureDetail(const std::string& Name, int DeviceResult, int Errno)
{
    const std::string Path = ResolvePortName(Name);
    const std::string Device = Path.empty() ? Name : ShownDevicePath(Path);
    TOpenFailure Failure = Errno != 0 ? OpenFailureOf(Errno) : TOpenFailure::Other;
    if (Failure == TOpenFailure::Other)
        Failure = OpenFailureOfCode(DeviceResult);
    return OpenFailureText(Device, Failure);
}

} // namespace

void TCustomComPort::SetPortPromptHook(TPortPrompt Hook)
{
    PromptHook() = std::move(Hook);
}

void TCustomComPort::SetDefaultPortPrompt(TPortPrompt Prompt)
{
    DefaultPrompt() = std::move(Prompt);
}

TCustomComPort::TCustomComPort(QObject* AOwner) : TBaseComponent(AOwner) {}

TCustomComPort::~TCustomComPort()
{
    try {
        if (FPortState.load() == TPortState::psOpen)
            DoClose();
        if (FPortState.load() == TPortState::psShuttingDown)
            Teardown();
    } catch (...) {
        // A destructor must not throw; the device is closed either way.
    }
    FSubscribers.clear();
}

// --- Opening and closing -----------------------------------------------------

void TCustomComPort::SetOpen(bool Value)
{
    if (Loading()) {
        FOpenAfterLoading = Value;
        return;
    }
    if (!Value)
        FReopenAfterClose = false;
    if (Value == FOpen)
        return;
    if (Value)
        DoOpen();
    else
        DoClose();
}

void TCustomComPort::Loaded()
{
    if (!FOpenAfterLoading)
        return;
    FOpenAfterLoading = false;
    RunGuarded([this] { SetOpen(true); });
}

void TCustomComPort::CheckResult(int Code)
{
    if (Code < 0 && !Loading())
        RaiseLinkError(Code);
}

void TCustomComPort::DoOpen()
{
    if (FPortState.load() != TPortState::psClosed)
        return;
    if (FTapiMode != TTapiMode::tmOn && FComNumber == 0) {
        if (!FPromptForPort)
            throw ENoPortSelected();
        const std::uint16_t Chosen = AskForPort(this);
        if (Chosen == 0)
            throw ENoPortSelected();
        FComNumber = Chosen;
    }
    if (FDeviceLayer != TDeviceLayer::dlWin32)
        throw ENullApi();

    bool Told = false;
    try {
        OpenDevice();
        FPortState.store(TPortState::psOpen);
        FOpen = true;
        Told = true;
        NotifySubscribers(TPortCallbackKind::pckOpen);
        if (OnPortOpen)
            OnPortOpen(this);
    } catch (...) {
        FForce = false;
        FOpen = false;
        FPortState.store(TPortState::psClosed);
        CloseDevice();
        // Subscribers that were told "open" must not stay attached to the
        // dispatcher just destroyed.
        if (Told) {
            try {
                NotifySubscribers(TPortCallbackKind::pckClosed);
            } catch (...) {
                // The opening's own error is the one to report.
            }
        }
        throw;
    }
}

void TCustomComPort::OpenDevice()
{
    auto Dispatcher = std::make_unique<TSerialDispatcher>();
    const std::string Name = ComDisplayName(FComNumber);
    QPointer<TCustomComPort> Self(this);
    Dispatcher->SetOnDeviceLost([Self](std::uint16_t Number, int Code) {
        if (Self)
            Self->HandleDeviceLost(Number, Code);
    });
    Dispatcher->SetOnInputOverrun([Self](std::uint16_t Number, std::uint64_t Dropped) {
        if (Self)
            Self->HandleInputOverrun(Number, Dropped);
    });
    TLineOptions Options;
    Options.Dtr = FDTR;
    Options.Rts = FRTS;
    Options.HWFlow = FHWFlowOptions;
    const int DeviceResult =
        Dispatcher->OpenDevice(Name, static_cast<std::uint32_t>(FBaud), static_cast<int>(FParity),
                               FDataBits, FStopBits, FInSize, FOutSize, Options);
    if (const int Result = MapOpenResult(DeviceResult); Result < 0)
        RaiseLinkError(Result, OpenFailureDetail(Name, DeviceResult, Dispatcher->LastOpenErrno()));

    FDispatcher = std::move(Dispatcher);
    UpdatePortHandler();
    FForce = true;
    ApplyHWFlow();
    ApplySWFlow();
    ApplyXOnXOffChars();
    FDispatcher->SetDataAvailableThreshold(FAvailThreshold);
    ApplyDTR();
    ApplyRTS();
    FForce = false;

    FNotifyWindow = std::make_unique<TComNotifyWindow>(this);
    FWindowHandlerId = FDispatcher->RegisterWindowHandler(
        [Self](std::uint32_t Msg, std::uint32_t WParam, std::uint32_t LParam) {
            if (Self)
                Self->HandleNotification(Msg, WParam, LParam);
        });
}

void TCustomComPort::CloseDevice()
{
    if (FDispatcher) {
        FDispatcher->ShutdownDevice();
        if (FWindowHandlerId)
            FDispatcher->RemoveHandler(FWindowHandlerId);
    }
    FWindowHandlerId = 0;
    FEventHandlers.clear();
    FNotifyWindow.reset();
    FDispatcher.reset();
}

void TCustomComPort::DoClose()
{
    if (FPortState.load() != TPortState::psOpen)
        return;
    FPortState.store(TPortState::psShuttingDown);
    NotifySubscribers(TPortCallbackKind::pckClosing);

    if (FDispatcher && FDispatcher->WaitingForWindow()) {
        // Closed from inside an event the dispatch thread is waiting for:
        // waiting for that thread here would never end.
        FDispatcher->SetClosePending();
        FNotifyWindow->PostClosePending();
    } else {
        Teardown();
    }
    NotifySubscribers(TPortCallbackKind::pckClosed);
    if (OnPortClose)
        OnPortClose(this);
}

void TCustomComPort::HandleClosePending()
{
    if (FPortState.load() != TPortState::psShuttingDown)
        return;
    if (FDispatcher && FDispatcher->WaitingForWindow()) {
        FNotifyWindow->PostClosePending();
        return;
    }
    Teardown();
    if (FReopenAfterClose) {
        FReopenAfterClose = false;
        RunGuarded([this] { SetOpen(true); });
    }
}

void TCustomComPort::Teardown()
{
    CloseDevice();
    FPortState.store(TPortState::psClosed);
    FOpen = false;
}

void TCustomComPort::HandleDeviceLost(std::uint16_t Number, int Code)
{
    if (!FDispatcher || FDispatcher->DispatcherNumber() != Number ||
        FPortState.load() != TPortState::psOpen)
        return;
    if (OnDeviceLost) {
        RunGuarded([&] { OnDeviceLost(this, Code); });
        return;
    }
    // The device vanished under the worker threads: say so, as an error of an
    // event, so that the owner takes the link off line.
    std::exception_ptr Error;
    if (Code <= ecode::OsErrorFirst && Code >= ecode::OsErrorLast && Code != ecode::OutOfMemory)
        Error = MakeLinkException(Code);
    else
        Error = std::make_exception_ptr(
            EInOutError(SystemErrorText(-ecode::GeneralFailure), -ecode::GeneralFailure));
    PassToApplication(Error);
}

void TCustomComPort::NotifySubscribers(TPortCallbackKind Kind)
{
    // Reverse order of registration; a callback may deregister itself.
    const auto Copy = FSubscribers;
    for (auto It = Copy.rbegin(); It != Copy.rend(); ++It) {
        const bool Present = std::any_of(FSubscribers.begin(), FSubscribers.end(),
                                         [&](const TSubscriber& S) { return S.Key == It->Key; });
        if (!Present)
            continue;
        if (It->Full)
            It->Full(this, Kind);
        else if (It->Simple && Kind != TPortCallbackKind::pckClosing)
            It->Simple(this, Kind == TPortCallbackKind::pckOpen);
    }
}

// --- Notifications -------------------------------------------------------------

void TCustomComPort::HandleNotification(unsigned Msg, unsigned WParam, unsigned LParam)
{
    if (!FDispatcher || (LParam >> 16) != FDispatcher->DispatcherNumber())
        return;
    const auto W = static_cast<std::uint16_t>(WParam);
    RunGuarded([&] {
        if (Msg >= msg::TriggerAvail && Msg <= msg::TriggerStatus && OnTrigger)
            OnTrigger(this, static_cast<std::uint16_t>(Msg), W,
                      static_cast<std::uint16_t>(LParam & 0xFFFF));
        switch (Msg) {
        case msg::TriggerAvail:
            if (FOnTriggerAvail)
                FOnTriggerAvail(this, W);
            break;
        case msg::TriggerData:
            if (OnTriggerData)
                OnTriggerData(this, W);
            break;
        case msg::TriggerTimer:
            if (FOnTriggerTimer)
                FOnTriggerTimer(this, W);
            break;
        case msg::TriggerStatus:
            if (FOnTriggerStatus)
                FOnTriggerStatus(this, W);
            switch (W & 7) {
            case stkind::ModemStatus:
                if (OnTriggerModemStatus)
                    OnTriggerModemStatus(this);
                break;
            case stkind::LineError:
                if (OnTriggerLineError && FDispatcher) {
                    const int Error = FDispatcher->TakeLineError();
                    const bool Break = FDispatcher->TakeBreak();
                    OnTriggerLineError(this, static_cast<std::uint16_t>(Error), Break);
                }
                break;
            case stkind::OutbuffFree:
                if (OnTriggerOutbuffFree)
                    OnTriggerOutbuffFree(this);
                break;
            case stkind::OutbuffUsed:
                if (OnTriggerOutbuffUsed)
                    OnTriggerOutbuffUsed(this);
                break;
            case stkind::OutSent:
                if (OnTriggerOutSent)
                    OnTriggerOutSent(this);
                break;
            default:
                break;
            }
            break;
        default:
            break;
        }
    });
}

bool TCustomComPort::TriggerEventsAssigned() const
{
    return OnTrigger || FOnTriggerAvail || OnTriggerData || FOnTriggerTimer || FOnTriggerStatus ||
           OnTriggerLineError || OnTriggerModemStatus || OnTriggerOutbuffFree ||
           OnTriggerOutbuffUsed || OnTriggerOutSent;
}

void TCustomComPort::UpdatePortHandler()
{
    if (!FDispatcher)
        return;
    FDispatcher->SetPortHandlerInstalled(TriggerEventsAssigned());
    FDispatcher->SetWindowAvailPaced(FTriggerAvailPaced);
    FDispatcher->SetWindowAvailHeld(FTriggerAvailPaced && FTriggerAvailHeld);
}

void TCustomComPort::SetTriggerAvailPaced(bool Value)
{
    FTriggerAvailPaced = Value;
    FTriggerAvailHeld = false;
    UpdatePortHandler();
}

void TCustomComPort::SetTriggerAvailHeld(bool Value)
{
    if (Value == FTriggerAvailHeld)
        return;
    FTriggerAvailHeld = Value;
    UpdatePortHandler();
}

void TCustomComPort::HandleInputOverrun(std::uint16_t Number, std::uint64_t Dropped)
{
    if (!FDispatcher || FDispatcher->DispatcherNumber() != Number ||
        FPortState.load() != TPortState::psOpen || !OnInputOverrun)
        return;
    RunGuarded([&] { OnInputOverrun(this, Dropped); });
}

void TCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent Value)
{
    FOnTriggerAvail = std::move(Value);
    UpdatePortHandler();
}

void TCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent Value)
{
    FOnTriggerStatus = std::move(Value);
    UpdatePortHandler();
}

void TCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent Value)
{
    FOnTriggerTimer = std::move(Value);
    UpdatePortHandler();
}

// --- Subscribers ---------------------------------------------------------------

void TCustomComPort::RegisterCallback(const void* Key, TPortCallback Callback)
{
    FSubscribers.push_back({Key, std::move(Callback), {}});
}

void TCustomComPort::DeregisterCallback(const void* Key)
{
    auto It = std::find_if(FSubscribers.begin(), FSubscribers.end(),
                           [&](const TSubscriber& S) { return S.Key == Key && S.Simple; });
    if (It != FSubscribers.end())
        FSubscribers.erase(It);
}

void TCustomComPort::RegisterCallbackEx(const void* Key, TPortCallbackEx Callback)
{
    FSubscribers.push_back({Key, {}, std::move(Callback)});
}

void TCustomComPort::DeregisterCallbackEx(const void* Key)
{
    auto It = std::find_if(FSubscribers.begin(), FSubscribers.end(),
                           [&](const TSubscriber& S) { return S.Key == Key && S.Full; });
    if (It != FSubscribers.end())
        FSubscribers.erase(It);
}

// --- Settings ------------------------------------------------------------------

void TCustomComPort::SetComNumber(std::uint16_t Value)
{
    if (!Store(FComNumber, Value))
        return;
    if (FPortState.load() != TPortState::psOpen || Loading())
        return;
    // Reopen on the new number; the triggers of this moment are not carried
    // over by the device layer, so the subscribers set theirs up again through
    // the open and closed callbacks.
    DoClose();
    if (FPortState.load() == TPortState::psClosed)
        DoOpen();
    else
        FReopenAfterClose = true;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!FDispatcher)
        return;
    CheckResult(FDispatcher->SetLine(static_cast<std::uint32_t>(FBaud), static_cast<int>(FParity),
                                     FDataBits, FStopBits));
}

void TCustomComPort::SetBaud(std::int32_t Value)
{
    if (Store(FBaud, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetParity(TParity Value)
{
    if (Store(FParity, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetDataBits(std::uint16_t Value)
{
    if (Store(FDataBits, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetStopBits(std::uint16_t Value)
{
    if (Store(FStopBits, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetInSize(std::uint16_t Value)
{
    if (Store(FInSize, Value) && FDispatcher)
        CheckResult(FDispatcher->SetQueueSizes(FInSize, FOutSize));
}

void TCustomComPort::SetOutSize(std::uint16_t Value)
{
    if (Store(FOutSize, Value) && FDispatcher)
        CheckResult(FDispatcher->SetQueueSizes(FInSize, FOutSize));
}

void TCustomComPort::ApplyDTR()
{
    if (FDispatcher)
        CheckResult(FDispatcher->SetDtr(FDTR));
}

void TCustomComPort::ApplyRTS()
{
    if (FDispatcher)
        CheckResult(FDispatcher->SetRts(FRTS));
}

void TCustomComPort::SetDTR(bool Value)
{
    if (Value == FDTR && !FForce)
        return;
    if (!FDispatcher) {
        FDTR = Value;
        return;
    }
    const int Result = FDispatcher->SetDtr(Value);
    CheckResult(Result);
    if (Result != 1) // 1: under handshake control, nothing changed
        FDTR = Value;
}

void TCustomComPort::SetRTS(bool Value)
{
    if (Value == FRTS && !FForce)
        return;
    if (!FDispatcher) {
        FRTS = Value;
        return;
    }
    const int Result = FDispatcher->SetRts(Value);
    CheckResult(Result);
    if (Result != 1)
        FRTS = Value;
}

void TCustomComPort::AdjustFlowThresholds()
{
    int FullShare = 0, ResumeShare = 0;
    if (FHWFlowOptions != 0) {
        FullShare = 90;
        ResumeShare = 10;
    } else if (FSWFlowOptions != TSWFlowOptions::swfNone) {
        FullShare = 75;
        ResumeShare = 25;
    } else {
        return;
    }
    if (FBufferFull == 0 || FBufferFull > FInSize)
        FBufferFull = static_cast<std::uint16_t>(FInSize * FullShare / 100);
    if (FBufferResume == 0 || FBufferResume > FBufferFull)
        FBufferResume = static_cast<std::uint16_t>(FInSize * ResumeShare / 100);
}

void TCustomComPort::ApplyHWFlow()
{
    AdjustFlowThresholds();
    if (FDispatcher)
        CheckResult(FDispatcher->SetHWFlow(FBufferFull, FBufferResume, FHWFlowOptions));
}

void TCustomComPort::ApplySWFlow()
{
    AdjustFlowThresholds();
    if (FDispatcher)
        CheckResult(FDispatcher->SetSWFlow(static_cast<int>(FSWFlowOptions), FXOnChar, FXOffChar));
}

void TCustomComPort::ApplyXOnXOffChars()
{
    if (FDispatcher)
        CheckResult(FDispatcher->SetXonXoffChars(FXOnChar, FXOffChar));
}

void TCustomComPort::SetHWFlowOptions(THWFlowOptionSet Value)
{
    if (Store(FHWFlowOptions, Value))
        ApplyHWFlow();
}

void TCustomComPort::SetSWFlowOptions(TSWFlowOptions Value)
{
    if (Store(FSWFlowOptions, Value))
        ApplySWFlow();
}

void TCustomComPort::SetXOnChar(std::uint8_t Value)
{
    if (Store(FXOnChar, Value))
        ApplyXOnXOffChars();
}

void TCustomComPort::SetXOffChar(std::uint8_t Value)
{
    if (Store(FXOffChar, Value))
        ApplyXOnXOffChars();
}

void TCustomComPort::SetBufferFull(std::uint16_t Value)
{
    if (Store(FBufferFull, Value) && FHWFlowOptions != 0)
        ApplyHWFlow();
}

void TCustomComPort::SetBufferResume(std::uint16_t Value)
{
    if (Store(FBufferResume, Value) && FHWFlowOptions != 0)
        ApplyHWFlow();
}

// --- Services passed on to the dispatcher -----------------------------------

void TCustomComPort::CheckOpen()
{
    const auto State = FPortState.load();
    if (State != TPortState::psClosed)
        return;
    if (FAutoOpen && !Loading()) {
        SetOpen(true);
        return;
    }
    throw ECommNotOpen();
}

int TCustomComPort::AddTimerTrigger()
{
    if (FPortState.load() == TPortState::psShuttingDown)
        return 0;
    CheckOpen();
    return CheckLinkResult(FDispatcher->AddTimerTrigger());
}

int TCustomComPort::AddStatusTrigger(int Kind)
{
    if (FPortState.load() == TPortState::psShuttingDown)
        return 0;
    CheckOpen();
    return CheckLinkResult(FDispatcher->AddStatusTrigger(Kind));
}

void TCustomComPort::SetTimerTrigger(int Handle, std::int32_t Ticks, bool Active)
{
    if (FPortState.load() == TPortState::psShuttingDown)
        return;
    CheckOpen();
    CheckLinkResult(FDispatcher->SetTimerTrigger(
        Handle, static_cast<std::uint32_t>(std::max(Ticks, 0)), Active));
}

void TCustomComPort::SetStatusTrigger(int Handle, int Value, bool Active)
{
    if (FPortState.load() == TPortState::psShuttingDown)
        return;
    CheckOpen();
    CheckLinkResult(
        FDispatcher->SetStatusTrigger(Handle, static_cast<std::uint32_t>(Value), Active));
}

void TCustomComPort::RemoveTrigger(int Handle)
{
    // While shutting down the dispatcher still exists and takes it back.
    if (!FDispatcher || FPortState.load() == TPortState::psClosed)
        return;
    FDispatcher->RemoveTrigger(Handle);
}

void TCustomComPort::RegisterEventHandler(const void* Key, TDispatchHandler Handler)
{
    CheckOpen();
    const int Id = FDispatcher->RegisterEventHandler(
        [H = std::move(Handler)](std::uint32_t Msg, std::uint32_t W, std::uint32_t L) {
            H(Msg, W, L);
        },
        false);
    FEventHandlers.emplace_back(Key, Id);
}

void TCustomComPort::RemoveEventHandler(const void* Key)
{
    auto It = std::find_if(FEventHandlers.begin(), FEventHandlers.end(),
                           [&](const auto& E) { return E.first == Key; });
    if (It == FEventHandlers.end())
        return;
    if (FDispatcher)
        FDispatcher->RemoveHandler(It->second);
    FEventHandlers.erase(It);
}

int TCustomComPort::CharReady()
{
    CheckOpen();
    return FDispatcher->InBuffUsed();
}

void TCustomComPort::GetBlock(char* Dest, int Count)
{
    CheckOpen();
    CheckLinkResult(FDispatcher->GetBlock(Dest, static_cast<std::size_t>(Count)));
}

int TCustomComPort::OutBuffUsed()
{
    CheckOpen();
    return FDispatcher->OutBuffUsed();
}

int TCustomComPort::GetLineError()
{
    CheckOpen();
    return FDispatcher->TakeLineError();
}

bool TCustomComPort::CheckLineBreak()
{
    CheckOpen();
    return FDispatcher->TakeBreak();
}

bool TCustomComPort::CheckCTS()
{
    CheckOpen();
    return (FDispatcher->ModemStatus() & modem::Cts) != 0;
}

bool TCustomComPort::CheckDSR()
{
    CheckOpen();
    return (FDispatcher->ModemStatus() & modem::Dsr) != 0;
}

bool TCustomComPort::CheckDCD()
{
    CheckOpen();
    return (FDispatcher->ModemStatus() & modem::Rlsd) != 0;
}

bool TCustomComPort::CheckRing()
{
    CheckOpen();
    return (FDispatcher->ModemStatus() & modem::Ring) != 0;
}

void TCustomComPort::HandOff(const std::function<void()>& Call)
{
    if (FDispatcher)
        FDispatcher->HandOff(Call);
    else
        Call();
}

} // namespace kelvalog
