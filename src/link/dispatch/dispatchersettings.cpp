#include "link/dispatch/dispatcher.h"
#include "link/dispatch/dispatcherthreads.h"

#include "common/linkerror.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kelvalog {

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
    if (Parity != UnchangedParity) {
        if (Parity < 0 || Parity > 4)
            return ecode::InvalidParameter;
        Next.Parity = static_cast<std::uint8_t>(Parity);
    }
    if (DataBits != UnchangedDataBits) {
        if (DataBits < 5 || DataBits > 8)
            return ecode::InvalidParameter;
        Next.DataBits = static_cast<std::uint8_t>(DataBits);
    }
    if (StopBits != UnchangedStopBits) {
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
    if (Next == Current)
        return 0;
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

int TBaseDispatcher::ChangeSettingsLocked(const std::function<void(TDeviceSettings&)>& Change)
{
    if (!FDeviceOpen)
        return ecode::CommNotOpen;
    TDeviceSettings Settings;
    if (const int Result = Device()->GetSettings(Settings); Result < 0)
        return Result;
    Change(Settings);
    if (const int Result = Device()->SetSettings(Settings); Result < 0)
        return Result;
    return 0;
}

int TBaseDispatcher::SetHWFlow(int FullThreshold, int ResumeThreshold, unsigned Options)
{
    std::lock_guard Guard(FGeneralLock);
    if (FullThreshold < ResumeThreshold || FullThreshold > FInSize || ResumeThreshold < 0)
        return ecode::BadArgument;
    return ChangeSettingsLocked([&](TDeviceSettings& Settings) {
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
    });
}

int TBaseDispatcher::SetSWFlow(int Options, std::uint8_t XOnChar, std::uint8_t XOffChar)
{
    std::lock_guard Guard(FGeneralLock);
    if (Options < swf::None || Options > swf::Both)
        return ecode::BadArgument;
    return ChangeSettingsLocked([&](TDeviceSettings& Settings) {
        Settings.OutX = (Options & swf::Transmit) != 0;
        Settings.InX = (Options & swf::Receive) != 0;
        Settings.XonChar = XOnChar;
        Settings.XoffChar = XOffChar;
    });
}

int TBaseDispatcher::SetXonXoffChars(std::uint8_t XOnChar, std::uint8_t XOffChar)
{
    std::lock_guard Guard(FGeneralLock);
    return ChangeSettingsLocked([&](TDeviceSettings& Settings) {
        Settings.XonChar = XOnChar;
        Settings.XoffChar = XOffChar;
    });
}

int TBaseDispatcher::SetQueueSizes(int InSize, int OutSize)
{
    std::lock_guard Guard(FGeneralLock);
    if (FDeviceOpen)
        if (const int Result = Device()->SetQueueSizes(InSize, OutSize); Result < 0)
            return Result;
    FInSize = InSize;
    FOutput.SetCapacity(OutSize);
    return 0;
}

void TBaseDispatcher::SetDataAvailableThreshold(std::uint16_t Bytes)
{
    // Bytes already waiting are announced now, not at the loop's next turn.
    const TWakeLoop Wake{*this, Bytes != 0};
    FTriggers.SetAvailThreshold(Bytes);
}

std::uint16_t TBaseDispatcher::DataAvailableThreshold() const
{
    return FTriggers.AvailThreshold();
}

// ---------------------------------------------------------------- handlers

int TBaseDispatcher::RegisterWindowHandler(TNotifyHandler Handler)
{
    return FHandlers.Add(THandlerKind::Window, std::move(Handler), false);
}

int TBaseDispatcher::RegisterEventHandler(TNotifyHandler Handler, bool HandOff)
{
    return FHandlers.Add(THandlerKind::Event, std::move(Handler), HandOff);
}

int TBaseDispatcher::RegisterProcHandler(TNotifyHandler Handler)
{
    return FHandlers.Add(THandlerKind::Proc, std::move(Handler), false);
}

void TBaseDispatcher::RemoveHandler(int Id)
{
    FHandlers.Remove(Id);
}

void TBaseDispatcher::SetPortHandlerInstalled(bool Installed)
{
    FHandlers.SetPortHandlerInstalled(Installed);
}

void TBaseDispatcher::SetWindowAvailPaced(bool Paced)
{
    FHandlers.SetWindowAvailPaced(Paced);
}

void TBaseDispatcher::SetWindowAvailHeld(bool Held)
{
    FHandlers.SetWindowAvailHeld(Held);
}

void TBaseDispatcher::SetWakeBytes(std::string_view Bytes)
{
    FWakeBytes.Set(Bytes);
}

TByteSet TBaseDispatcher::WakeBytes() const
{
    return FWakeBytes.Get();
}

bool TBaseDispatcher::InService() const
{
    return FHandlers.InService();
}

void TBaseDispatcher::SetClosePending()
{
    FClosePending = true;
    FQueue.Signal();
}

// ---------------------------------------------------------------- output

int TBaseDispatcher::PutBlock(const void* Data, std::size_t Count)
{
    return FOutput.Put(Data, Count);
}

int TBaseDispatcher::OutBuffUsed() const
{
    return FOutput.Used();
}

int TBaseDispatcher::OutBuffFree() const
{
    return FOutput.Free();
}

int TBaseDispatcher::FlushOutBuffer()
{
    const bool WriterRuns = FWriteThread && !FWriteThread->Finished() && !FStopThreads.load();
    FOutput.Flush(WriterRuns, FStopThreads);
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
    FRing.Flush();
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

} // namespace kelvalog
