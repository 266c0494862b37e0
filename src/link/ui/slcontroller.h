#pragma once

// The line status light controller: while Watching, it lights the receive
// light when bytes arrive and the error light when the port reports a receive
// error, and turns them off again after their off-timeouts (ticks of 55 ms).
//
// Typical use by a window:
//     SLController->SetComPort(ComPort);
//     SLController->Lights().RXDLight = RecveiveStatusLight;
//     SLController->Lights().ERRORLight = ErrorStatusLight;
//     SLController->SetRXDOffTimeout(2);
//     SLController->SetWatching(OnLine);   // in UpdateControls
// Everything runs on the window thread.

#include "link/port/basecomponent.h"
#include "link/port/comport.h"
#include "link/ui/statuslight.h"

#include <QPointer>

#include <cstdint>

namespace kelvalog {

struct TLightSet
{
    QPointer<TCustomStatusLight> CTSLight;
    QPointer<TCustomStatusLight> DSRLight;
    QPointer<TCustomStatusLight> DCDLight;
    QPointer<TCustomStatusLight> RINGLight;
    QPointer<TCustomStatusLight> TXDLight;
    QPointer<TCustomStatusLight> RXDLight;
    QPointer<TCustomStatusLight> ERRORLight;
    QPointer<TCustomStatusLight> BREAKLight;
};

class TCustomSLController : public TBaseComponent
{
    Q_OBJECT
public:
    // ComPort defaults to the first port component among the owner's children.
    explicit TCustomSLController(QObject* AOwner = nullptr);
    ~TCustomSLController() override;

    TCustomComPort* ComPort() const { return FComPort; }
    void SetComPort(TCustomComPort* Value);
    std::int32_t ErrorOffTimeout() const { return FErrorOffTimeout; }
    void SetErrorOffTimeout(std::int32_t Value) { FErrorOffTimeout = Value; }
    std::int32_t BreakOffTimeout() const { return FBreakOffTimeout; }
    void SetBreakOffTimeout(std::int32_t Value) { FBreakOffTimeout = Value; }
    std::int32_t RXDOffTimeout() const { return FRXDOffTimeout; }
    void SetRXDOffTimeout(std::int32_t Value) { FRXDOffTimeout = Value; }
    std::int32_t TXDOffTimeout() const { return FTXDOffTimeout; }
    void SetTXDOffTimeout(std::int32_t Value) { FTXDOffTimeout = Value; }
    std::int32_t RingOffTimeout() const { return FRingOffTimeout; }
    void SetRingOffTimeout(std::int32_t Value) { FRingOffTimeout = Value; }
    // The lights; change them while not watching.
    TLightSet& Lights() { return FLights; }
    const TLightSet& Lights() const { return FLights; }

    bool Watching() const { return FWatching; }
    // On while the port is closed only records the wish (watch pending); the
    // switch happens when the port opens. EPortNotAssigned without a port.
    void SetWatching(bool Value);
    bool WatchPending() const { return FWatchPending; }

    // Handles of the triggers created for the lights present (0: none).
    struct THandles
    {
        int Modem = 0, ErrorLine = 0, BreakLine = 0, OutSent = 0;
        int ErrorTimer = 0, BreakTimer = 0, RxdTimer = 0, TxdTimer = 0, RingTimer = 0;
    };
    const THandles& Handles() const { return FHandles; }

private:
    TCustomComPort* FComPort = nullptr;
    std::int32_t FErrorOffTimeout = 36;
    std::int32_t FBreakOffTimeout = 36;
    std::int32_t FRXDOffTimeout = 1;
    std::int32_t FTXDOffTimeout = 1;
    std::int32_t FRingOffTimeout = 8;
    TLightSet FLights;
    bool FWatching = false;
    bool FWatchPending = false;
    THandles FHandles;
    int FModemMask = 0;
    TTriggerAvailEvent FSaveAvail;
    TTriggerStatusEvent FSaveStatus;
    TTriggerTimerEvent FSaveTimer;
    QMetaObject::Connection FPortDestroyed;

    void WatchOn();
    void WatchOff();
    void CreateTriggers();
    void RemoveTriggers();
    void UpdateLights();
    void AllLightsOff();
    void PortOpenClose(bool Opening);
    void TriggerAvail(QObject* CP, std::uint16_t Count);
    void TriggerStatus(QObject* CP, std::uint16_t Handle);
    void TriggerTimer(QObject* CP, std::uint16_t Handle);
    void ShowModemLines();
};

class TSLController : public TCustomSLController
{
    Q_OBJECT
public:
    explicit TSLController(QObject* AOwner = nullptr) : TCustomSLController(AOwner) {}
};

} // namespace kelvalog
