#pragma once

// The serial port component: owner of the line settings, keeper of the port
// state, list of subscribers, and bridge from the dispatcher's notifications to
// events on the window thread.
//
// Typical use by a window:
//     ComPort->SetBaud(9600);
//     ComPort->SetOpen(true);   // may show the port dialog; EOpenComm on failure
//     ...
//     ComPort->SetOpen(false);
// Every property and event is used on the window thread only. Exceptions that
// escape its events go to the application's handler (QApplication::notify).
// A device that vanishes while open (unplugged adapter) is reported once,
// through OnDeviceLost when that is assigned, else as an EInOutError through
// that handler; the port then waits to be closed and can be opened again on
// the same number once the device is back.

#include "link/port/basecomponent.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kelvalog {

class TSerialDispatcher;
class TComNotifyWindow;

enum class TParity { pNone, pOdd, pEven, pMark, pSpace };
enum class TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum class TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum class TDeviceLayer { dlWin32, dlWinsock };
enum class TPortState { psClosed, psShuttingDown, psOpen };

// Hardware flow options, combined as a bit set.
enum THWFlowOption : std::uint8_t {
    hwfUseDTR = 1,
    hwfUseRTS = 2,
    hwfRequireDSR = 4,
    hwfRequireCTS = 8,
};
using THWFlowOptionSet = std::uint8_t;

// What the full subscriber callback is told.
enum class TPortCallbackKind { pckOpen, pckClosing, pckClosed };

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TTriggerEvent = std::function<void(QObject* CP, std::uint16_t Msg,
                                         std::uint16_t TriggerHandle, std::uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(QObject* CP, std::uint16_t Count)>;
using TTriggerDataEvent = std::function<void(QObject* CP, std::uint16_t TriggerHandle)>;
using TTriggerStatusEvent = std::function<void(QObject* CP, std::uint16_t TriggerHandle)>;
using TTriggerTimerEvent = std::function<void(QObject* CP, std::uint16_t TriggerHandle)>;
using TTriggerLineErrorEvent =
    std::function<void(QObject* CP, std::uint16_t Error, bool LineBreak)>;

// Subscriber callbacks. Simple: told true after opening, false after closing.
using TPortCallback = std::function<void(QObject* Sender, bool Opening)>;
using TPortCallbackEx = std::function<void(QObject* Sender, TPortCallbackKind Kind)>;

// A handler called directly on the dispatch thread with (message, first
// parameter, second parameter).
using TDispatchHandler = std::function<void(unsigned Msg, unsigned WParam, unsigned LParam)>;

class TCustomComPort : public TBaseComponent
{
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* AOwner = nullptr);
    ~TCustomComPort() override;

    // --- Properties -------------------------------------------------------
    std::uint16_t ComNumber() const { return FComNumber; }
    // While open: closes and opens again on the new number (subscribers hear
    // both); triggers are set up anew by their owners. From inside an event
    // the opening follows once the closing has completed; its failure goes to
    // the application's handler.
    void SetComNumber(std::uint16_t Value);
    std::int32_t Baud() const { return FBaud; }
    void SetBaud(std::int32_t Value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value);
    std::uint16_t DataBits() const { return FDataBits; }
    void SetDataBits(std::uint16_t Value);
    std::uint16_t StopBits() const { return FStopBits; }
    void SetStopBits(std::uint16_t Value);
    std::uint16_t InSize() const { return FInSize; }
    void SetInSize(std::uint16_t Value);
    std::uint16_t OutSize() const { return FOutSize; }
    void SetOutSize(std::uint16_t Value);
    bool DTR() const { return FDTR; }
    void SetDTR(bool Value);
    bool RTS() const { return FRTS; }
    void SetRTS(bool Value);
    THWFlowOptionSet HWFlowOptions() const { return FHWFlowOptions; }
    void SetHWFlowOptions(THWFlowOptionSet Value);
    TSWFlowOptions SWFlowOptions() const { return FSWFlowOptions; }
    void SetSWFlowOptions(TSWFlowOptions Value);
    std::uint8_t XOnChar() const { return FXOnChar; }
    void SetXOnChar(std::uint8_t Value);
    std::uint8_t XOffChar() const { return FXOffChar; }
    void SetXOffChar(std::uint8_t Value);
    std::uint16_t BufferFull() const { return FBufferFull; }
    void SetBufferFull(std::uint16_t Value);
    std::uint16_t BufferResume() const { return FBufferResume; }
    void SetBufferResume(std::uint16_t Value);
    bool PromptForPort() const { return FPromptForPort; }
    void SetPromptForPort(bool Value) { FPromptForPort = Value; }
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    TTapiMode TapiMode() const { return FTapiMode; }
    void SetTapiMode(TTapiMode Value) { FTapiMode = Value; }
    TDeviceLayer DeviceLayer() const { return FDeviceLayer; }
    void SetDeviceLayer(TDeviceLayer Value) { FDeviceLayer = Value; }
    bool RS485Mode() const { return FRS485Mode; }
    void SetRS485Mode(bool Value) { FRS485Mode = Value; }
    bool Tracing() const { return false; }
    bool Logging() const { return false; }

    bool Open() const { return FOpen; }
    // Opens (may show the port dialog) or closes; the current value does nothing.
    // Opening failures raise (EOpenComm family and others); the port stays closed.
    void SetOpen(bool Value);

    TPortState PortState() const { return FPortState.load(); }

    // --- Events (window thread) -------------------------------------------
    TNotifyEvent OnPortOpen;
    TNotifyEvent OnPortClose;
    TTriggerEvent OnTrigger;
    TTriggerDataEvent OnTriggerData;
    TTriggerLineErrorEvent OnTriggerLineError;
    TNotifyEvent OnTriggerModemStatus;
    TNotifyEvent OnTriggerOutbuffFree;
    TNotifyEvent OnTriggerOutbuffUsed;
    TNotifyEvent OnTriggerOutSent;
    // The open device vanished (Code: the worker threads' error code).
    std::function<void(QObject* Sender, int Code)> OnDeviceLost;
    // The three events a light controller replaces; setting them tells an open
    // dispatcher whether notifications must reach the window thread.
    const TTriggerAvailEvent& OnTriggerAvail() const { return FOnTriggerAvail; }
    void SetOnTriggerAvail(TTriggerAvailEvent Value);
    const TTriggerStatusEvent& OnTriggerStatus() const { return FOnTriggerStatus; }
    void SetOnTriggerStatus(TTriggerStatusEvent Value);
    const TTriggerTimerEvent& OnTriggerTimer() const { return FOnTriggerTimer; }
    void SetOnTriggerTimer(TTriggerTimerEvent Value);
    // OnTriggerAvail only needs to know that data is arriving (a light): it
    // is told at most once per tick, and does not read the bytes.
    void SetTriggerAvailPaced(bool Value);
    // While held, such an OnTriggerAvail is not told at all (its light is lit
    // and waits for its off-timeout). Setting the pace releases it.
    void SetTriggerAvailHeld(bool Value);
    // Received bytes were dropped because they were not taken fast enough;
    // Dropped counts the bytes dropped since the port opened.
    std::function<void(QObject* Sender, std::uint64_t Dropped)> OnInputOverrun;

    // --- Subscribers: removed by the key given at registration -------------
    void RegisterCallback(const void* Key, TPortCallback Callback);
    void DeregisterCallback(const void* Key);
    void RegisterCallbackEx(const void* Key, TPortCallbackEx Callback);
    void DeregisterCallbackEx(const void* Key);

    // --- Services passed on to the dispatcher ------------------------------
    // These need the port open (ECommNotOpen otherwise, unless AutoOpen opens
    // it). Adding or setting triggers does nothing and gives 0 while the port
    // is shutting down. Virtual so that tests can stand in for the device.
    virtual int AddTimerTrigger();
    // Kind: stkind:: of link/dispatcher.h.
    virtual int AddStatusTrigger(int Kind);
    virtual void SetTimerTrigger(int Handle, std::int32_t Ticks, bool Active);
    virtual void SetStatusTrigger(int Handle, int Value, bool Active);
    // Only while open; ignored otherwise.
    virtual void RemoveTrigger(int Handle);
    // Handlers called directly on the dispatch thread.
    virtual void RegisterEventHandler(const void* Key, TDispatchHandler Handler);
    virtual void RemoveEventHandler(const void* Key);
    // Count of unread received bytes.
    virtual int CharReady();
    // Block read of Count bytes (within a data-available notification).
    virtual void GetBlock(char* Dest, int Count);
    // Bytes waiting to be sent.
    virtual int OutBuffUsed();
    // Takes the accumulated line error (1 overflow, 2 overrun, 3 parity,
    // 4 framing, 9 break, 0 none) / the break flag.
    virtual int GetLineError();
    virtual bool CheckLineBreak();
    virtual bool CheckCTS();
    virtual bool CheckDSR();
    virtual bool CheckDCD();
    virtual bool CheckRing();
    // Runs Call on the window thread and waits for it (from the dispatch
    // thread); runs it directly when there is no dispatch thread.
    virtual void HandOff(const std::function<void()>& Call);

    // The dispatcher of the current opening, none while closed.
    TSerialDispatcher* Dispatcher() const { return FDispatcher.get(); }

    // How an opening without a port number asks for one: the chosen number,
    // or 0 (cancelled). The window installs the port dialog as the default
    // prompt; a hook, when set, goes before it. With neither, nothing is chosen.
    using TPortPrompt = std::function<std::uint16_t(QObject* Port)>;
    static void SetPortPromptHook(TPortPrompt Hook);
    static void SetDefaultPortPrompt(TPortPrompt Prompt);

protected:
    void Loaded() override;
    // The device part of opening (dispatcher, device, settings, notification
    // window) and of closing; a test port stands in for the device here.
    virtual void OpenDevice();
    virtual void CloseDevice();
    // Raises ECommNotOpen when the port is closed and may not open by itself.
    void CheckOpen();
    // The notification window's handling of one notification.
    void HandleNotification(unsigned Msg, unsigned WParam, unsigned LParam);
    void HandleClosePending();
    void HandleDeviceLost(std::uint16_t Number, int Code);
    void HandleInputOverrun(std::uint16_t Number, std::uint64_t Dropped);
    bool TriggerEventsAssigned() const;

private:
    friend class TComNotifyWindow;

    std::uint16_t FComNumber = 0;
    std::int32_t FBaud = 19200;
    TParity FParity = TParity::pNone;
    std::uint16_t FDataBits = 8;
    std::uint16_t FStopBits = 1;
    std::uint16_t FInSize = 4096;
    std::uint16_t FOutSize = 4096;
    bool FDTR = true;
    bool FRTS = true;
    THWFlowOptionSet FHWFlowOptions = 0;
    TSWFlowOptions FSWFlowOptions = TSWFlowOptions::swfNone;
    std::uint8_t FXOnChar = 17;
    std::uint8_t FXOffChar = 19;
    std::uint16_t FBufferFull = 0;
    std::uint16_t FBufferResume = 0;
    bool FPromptForPort = true;
    bool FAutoOpen = true;
    TTapiMode FTapiMode = TTapiMode::tmAuto;
    TDeviceLayer FDeviceLayer = TDeviceLayer::dlWin32;
    bool FRS485Mode = false;
    bool FOpen = false;
    bool FOpenAfterLoading = false;
    // A new number was set while a closing had to wait for the dispatch
    // thread: the port opens on it once that closing has completed.
    bool FReopenAfterClose = false;
    // Read by the dispatch thread too (services called by the framer).
    std::atomic<TPortState> FPortState{TPortState::psClosed};
    bool FForce = false;
    std::uint16_t FAvailThreshold = 1;
    bool FTriggerAvailPaced = false;
    bool FTriggerAvailHeld = false;

    TTriggerAvailEvent FOnTriggerAvail;
    TTriggerStatusEvent FOnTriggerStatus;
    TTriggerTimerEvent FOnTriggerTimer;

    struct TSubscriber
    {
        const void* Key;
        TPortCallback Simple;
        TPortCallbackEx Full;
    };
    std::vector<TSubscriber> FSubscribers;
    // Event handlers registered with the dispatcher, by key.
    std::vector<std::pair<const void*, int>> FEventHandlers;
    int FWindowHandlerId = 0;

    std::unique_ptr<TSerialDispatcher> FDispatcher;
    std::unique_ptr<TComNotifyWindow> FNotifyWindow;

    void DoOpen();
    void DoClose();
    void Teardown();
    void NotifySubscribers(TPortCallbackKind Kind);
    void ApplyLineSettings();
    void ApplyHWFlow();
    void ApplySWFlow();
    void ApplyXOnXOffChars();
    void ApplyDTR();
    void ApplyRTS();
    void UpdatePortHandler();
    void CheckResult(int Code);
    void AdjustFlowThresholds();
    // Stores Value; false when it is the current value and the opening is
    // not re-applying every setting.
    template <class T> bool Store(T& Field, T Value)
    {
        if (Value == Field && !FForce)
            return false;
        Field = Value;
        return true;
    }
};

class TComPort : public TCustomComPort
{
    Q_OBJECT
public:
    explicit TComPort(QObject* AOwner = nullptr) : TCustomComPort(AOwner) {}
};

} // namespace kelvalog
