#include "link/ui/slcontroller.h"

#include "common/linkerror.h"
#include "link/dispatch/dispatcher.h"

namespace kelvalog {

namespace {
// Line-error masks of the error and break triggers: overrun, parity, framing / break.
constexpr int ErrorMask = 7;
constexpr int BreakMask = 8;
} // namespace

TCustomSLController::TCustomSLController(QObject* AOwner) : TBaseComponent(AOwner)
{
    if (AOwner)
        for (QObject* Child : AOwner->children())
            if (auto* Port = qobject_cast<TCustomComPort*>(Child)) {
                SetComPort(Port);
                break;
            }
}

TCustomSLController::~TCustomSLController()
{
    try {
        SetComPort(nullptr);
    } catch (...) {
        // A destructor must not throw; the port drops its triggers as it closes.
    }
}

void TCustomSLController::SetComPort(TCustomComPort* Value)
{
    if (Value == FComPort)
        return;
    const bool Was = FWatching || FWatchPending;
    if (FComPort) {
        FComPort->DeregisterCallback(this);
        disconnect(FPortDestroyed);
        SetWatching(false);
    }
    FComPort = Value;
    if (!FComPort)
        return;
    FPortDestroyed = connect(FComPort, &QObject::destroyed, this, [this] {
        // The port closed itself on its way out, which stopped the watching.
        FComPort = nullptr;
        FWatching = false;
        FWatchPending = false;
        FHandles = {};
        AllLightsOff();
    });
    FComPort->RegisterCallback(this, [this](QObject*, bool Opening) { PortOpenClose(Opening); });
    if (Was)
        SetWatching(true);
}

void TCustomSLController::SetWatching(bool Value)
{
    if (Loading())
        return;
    if (Value) {
        if (FWatching)
            return;
        if (!FComPort)
            throw EPortNotAssigned();
        if (!FComPort->Open()) {
            FWatchPending = true;
            return;
        }
        WatchOn();
    } else {
        if (FComPort && !FComPort->Open())
            FWatchPending = false;
        if (!FWatching)
            return;
        if (!FComPort)
            throw EPortNotAssigned();
        WatchOff();
    }
}

void TCustomSLController::WatchOn()
{
    FWatchPending = false;
    FWatching = true;
    FSaveAvail = FComPort->OnTriggerAvail();
    FSaveStatus = FComPort->OnTriggerStatus();
    FSaveTimer = FComPort->OnTriggerTimer();
    FComPort->SetOnTriggerAvail(
        [this](QObject* CP, std::uint16_t Count) { TriggerAvail(CP, Count); });
    FComPort->SetOnTriggerStatus([this](QObject* CP, std::uint16_t H) { TriggerStatus(CP, H); });
    FComPort->SetOnTriggerTimer([this](QObject* CP, std::uint16_t H) { TriggerTimer(CP, H); });
    // The receive light only needs to know that data arrives; a handler it
    // passes the notification on to may want every one.
    FComPort->SetTriggerAvailPaced(!FSaveAvail);
    try {
        CreateTriggers();
    } catch (...) {
        // Back to not watching, with the port's own events restored.
        FWatching = false;
        FComPort->SetTriggerAvailPaced(false);
        FComPort->SetOnTriggerAvail(FSaveAvail);
        FComPort->SetOnTriggerStatus(FSaveStatus);
        FComPort->SetOnTriggerTimer(FSaveTimer);
        throw;
    }
    UpdateLights();
}

void TCustomSLController::WatchOff()
{
    FWatching = false;
    FComPort->SetTriggerAvailPaced(false);
    FComPort->SetOnTriggerAvail(FSaveAvail);
    FComPort->SetOnTriggerStatus(FSaveStatus);
    FComPort->SetOnTriggerTimer(FSaveTimer);
    FSaveAvail = {};
    FSaveStatus = {};
    FSaveTimer = {};
    RemoveTriggers();
    AllLightsOff();
}

void TCustomSLController::CreateTriggers()
{
    auto* P = FComPort;
    const auto& L = FLights;
    FModemMask = 0;
    try {
        if (L.CTSLight || L.DSRLight || L.DCDLight || L.RINGLight) {
            FHandles.Modem = P->AddStatusTrigger(stkind::ModemStatus);
            if (L.CTSLight)
                FModemMask |= modem::Cts;
            if (L.DSRLight)
                FModemMask |= modem::Dsr;
            if (L.DCDLight)
                FModemMask |= modem::Rlsd;
            if (L.RINGLight) {
                FModemMask |= modem::Ring;
                FHandles.RingTimer = P->AddTimerTrigger();
            }
        }
        if (L.ERRORLight) {
            FHandles.ErrorLine = P->AddStatusTrigger(stkind::LineError);
            FHandles.ErrorTimer = P->AddTimerTrigger();
        }
        if (L.BREAKLight) {
            FHandles.BreakLine = P->AddStatusTrigger(stkind::LineError);
            FHandles.BreakTimer = P->AddTimerTrigger();
        }
        if (L.RXDLight)
            FHandles.RxdTimer = P->AddTimerTrigger();
        if (L.TXDLight) {
            FHandles.OutSent = P->AddStatusTrigger(stkind::OutSent);
            FHandles.TxdTimer = P->AddTimerTrigger();
        }
        if (FHandles.Modem)
            P->SetStatusTrigger(FHandles.Modem, FModemMask, true);
        if (FHandles.ErrorLine)
            P->SetStatusTrigger(FHandles.ErrorLine, ErrorMask, true);
        if (FHandles.BreakLine)
            P->SetStatusTrigger(FHandles.BreakLine, BreakMask, true);
        if (FHandles.OutSent)
            P->SetStatusTrigger(FHandles.OutSent, 0, true);
    } catch (...) {
        RemoveTriggers();
        throw;
    }
}

void TCustomSLController::RemoveTriggers()
{
    if (FComPort && FComPort->Open()) {
        for (int H : {FHandles.Modem, FHandles.ErrorLine, FHandles.BreakLine, FHandles.OutSent,
                      FHandles.ErrorTimer, FHandles.BreakTimer, FHandles.RxdTimer,
                      FHandles.TxdTimer, FHandles.RingTimer})
            if (H > 0) {
                try {
                    FComPort->RemoveTrigger(H);
                } catch (...) {
                    // Gone already; the others are removed all the same.
                }
            }
    }
    FHandles = {};
    FModemMask = 0;
}

void TCustomSLController::AllLightsOff()
{
    for (auto* L : {FLights.CTSLight.data(), FLights.DSRLight.data(), FLights.DCDLight.data(),
                    FLights.RINGLight.data(), FLights.TXDLight.data(), FLights.RXDLight.data(),
                    FLights.ERRORLight.data(), FLights.BREAKLight.data()})
        if (L)
            L->SetLit(false);
}

void TCustomSLController::ShowModemLines()
{
    if (FLights.CTSLight)
        FLights.CTSLight->SetLit(FComPort->CheckCTS());
    if (FLights.DSRLight)
        FLights.DSRLight->SetLit(FComPort->CheckDSR());
    if (FLights.DCDLight)
        FLights.DCDLight->SetLit(FComPort->CheckDCD());
}

void TCustomSLController::UpdateLights()
{
    AllLightsOff();
    if (FWatching && FComPort)
        ShowModemLines();
}

void TCustomSLController::PortOpenClose(bool Opening)
{
    if (Opening) {
        if (FWatchPending) {
            FWatchPending = false;
            SetWatching(true);
        }
    } else if (FWatching) {
        WatchOff();
    }
}

void TCustomSLController::TriggerAvail(QObject* CP, std::uint16_t Count)
{
    if (FLights.RXDLight && !FLights.RXDLight->Lit()) {
        // Left alone while lit: its timer is not restarted, and the port
        // need not tell of more data until the light goes off.
        FLights.RXDLight->SetLit(true);
        FComPort->SetTimerTrigger(FHandles.RxdTimer, FRXDOffTimeout, true);
        FComPort->SetTriggerAvailHeld(true);
    }
    if (FSaveAvail)
        FSaveAvail(CP, Count);
}

void TCustomSLController::TriggerStatus(QObject* CP, std::uint16_t Handle)
{
    const int H = Handle;
    if (H == FHandles.Modem && H != 0) {
        ShowModemLines();
        if (FLights.RINGLight && FComPort->CheckRing() && !FLights.RINGLight->Lit()) {
            FLights.RINGLight->SetLit(true);
            FComPort->SetTimerTrigger(FHandles.RingTimer, FRingOffTimeout, true);
        }
        FComPort->SetStatusTrigger(FHandles.Modem, FModemMask, true);
    } else if (H == FHandles.ErrorLine && H != 0) {
        // The trigger stays off until the error timer expires, so that a
        // burst of errors does not keep the light on for ever.
        if (FLights.ERRORLight)
            FLights.ERRORLight->SetLit(true);
        FComPort->SetTimerTrigger(FHandles.ErrorTimer, FErrorOffTimeout, true);
        FComPort->GetLineError();
    } else if (H == FHandles.BreakLine && H != 0) {
        if (FLights.BREAKLight)
            FLights.BREAKLight->SetLit(true);
        FComPort->SetTimerTrigger(FHandles.BreakTimer, FBreakOffTimeout, true);
        FComPort->CheckLineBreak();
    } else if (H == FHandles.OutSent && H != 0) {
        if (FLights.TXDLight)
            FLights.TXDLight->SetLit(true);
        FComPort->SetTimerTrigger(FHandles.TxdTimer, FTXDOffTimeout, true);
    }
    if (FSaveStatus)
        FSaveStatus(CP, Handle);
}

void TCustomSLController::TriggerTimer(QObject* CP, std::uint16_t Handle)
{
    const int H = Handle;
    if (H == FHandles.ErrorTimer && H != 0) {
        if (FLights.ERRORLight)
            FLights.ERRORLight->SetLit(false);
        FComPort->SetStatusTrigger(FHandles.ErrorLine, ErrorMask, true);
    } else if (H == FHandles.BreakTimer && H != 0) {
        if (FLights.BREAKLight)
            FLights.BREAKLight->SetLit(false);
        FComPort->SetStatusTrigger(FHandles.BreakLine, BreakMask, true);
    } else if (H == FHandles.RxdTimer && H != 0) {
        if (FComPort->CharReady() > 0) {
            FComPort->SetTimerTrigger(FHandles.RxdTimer, FRXDOffTimeout, true);
        } else {
            if (FLights.RXDLight)
                FLights.RXDLight->SetLit(false);
            FComPort->SetTriggerAvailHeld(false);
        }
    } else if (H == FHandles.TxdTimer && H != 0) {
        if (FComPort->OutBuffUsed() > 0) {
            FComPort->SetTimerTrigger(FHandles.TxdTimer, FTXDOffTimeout, true);
        } else {
            if (FLights.TXDLight)
                FLights.TXDLight->SetLit(false);
            FComPort->SetStatusTrigger(FHandles.OutSent, 0, true);
        }
    } else if (H == FHandles.RingTimer && H != 0) {
        if (FLights.RINGLight)
            FLights.RINGLight->SetLit(false);
    }
    if (FSaveTimer)
        FSaveTimer(CP, Handle);
}

} // namespace kelvalog
