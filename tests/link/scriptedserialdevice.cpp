#include "scriptedserialdevice.h"

#include "common/linkerror.h"
#include "link/device/posixserialdevice.h"

#include <chrono>

namespace kelvalog {

void TScriptedLine::SetOpenResult(int Code)
{
    std::lock_guard Guard(FLock);
    FOpenResult = Code;
}

void TScriptedLine::PushBytes(const std::string& Bytes)
{
    PushBytes(Bytes.data(), Bytes.size());
}

void TScriptedLine::PushBytes(const void* Data, std::size_t Size)
{
    {
        std::lock_guard Guard(FLock);
        const auto* Bytes = static_cast<const std::uint8_t*>(Data);
        FInput.insert(FInput.end(), Bytes, Bytes + Size);
    }
    FChanged.notify_all();
}

void TScriptedLine::InjectLineErrors(std::uint32_t Errors)
{
    {
        std::lock_guard Guard(FLock);
        FErrors |= Errors;
        if (Errors & lineerr::Break)
            FEvents |= evt::Break;
        if (Errors & ~lineerr::Break)
            FEvents |= evt::Err;
    }
    FChanged.notify_all();
}

void TScriptedLine::SetModemStatus(std::uint8_t Status)
{
    {
        std::lock_guard Guard(FLock);
        const std::uint8_t Changed = Status ^ FModem;
        if (Changed & modem::Cts)
            FEvents |= evt::Cts;
        if (Changed & modem::Dsr)
            FEvents |= evt::Dsr;
        if (Changed & modem::Rlsd)
            FEvents |= evt::Rlsd;
        if (Changed & modem::Ring)
            FEvents |= (Status & modem::Ring) ? evt::Ring : evt::RingTe;
        FModem = Status;
    }
    FChanged.notify_all();
}

void TScriptedLine::FailDevice(int Code)
{
    {
        std::lock_guard Guard(FLock);
        FFailure = Code;
    }
    FChanged.notify_all();
}

std::vector<std::uint8_t> TScriptedLine::Written() const
{
    std::lock_guard Guard(FLock);
    return FWritten;
}

TDeviceSettings TScriptedLine::Settings() const
{
    std::lock_guard Guard(FLock);
    return FSettings;
}

bool TScriptedLine::Dtr() const
{
    std::lock_guard Guard(FLock);
    return FDtr;
}

bool TScriptedLine::Rts() const
{
    std::lock_guard Guard(FLock);
    return FRts;
}

int TScriptedLine::OpenCount() const
{
    std::lock_guard Guard(FLock);
    return FOpenCount;
}

int TScriptedLine::CallsAfterFailure() const
{
    std::lock_guard Guard(FLock);
    return FCallsAfterFailure;
}

int TScriptedLine::FailureLocked()
{
    if (FFailure != 0)
        ++FCallsAfterFailure;
    return FFailure;
}

int TScriptedSerialDevice::Open(const std::string&)
{
    std::lock_guard Guard(FLine->FLock);
    if (FLine->FOpenResult != 0)
        return FLine->FOpenResult;
    if (FLine->FOpen)
        return ecode::AccessDenied;
    FLine->FOpen = true;
    ++FLine->FOpenCount;
    return 0;
}

void TScriptedSerialDevice::Close()
{
    std::lock_guard Guard(FLine->FLock);
    FLine->FOpen = false;
}

bool TScriptedSerialDevice::IsOpen() const
{
    std::lock_guard Guard(FLine->FLock);
    return FLine->FOpen;
}

int TScriptedSerialDevice::GetSettings(TDeviceSettings& Settings)
{
    std::lock_guard Guard(FLine->FLock);
    if (const int Failure = FLine->FailureLocked())
        return Failure;
    Settings = FLine->FSettings;
    return 0;
}

int TScriptedSerialDevice::SetSettings(const TDeviceSettings& Settings)
{
    std::lock_guard Guard(FLine->FLock);
    if (const int Failure = FLine->FailureLocked())
        return Failure;
    FLine->FSettings = Settings;
    return 0;
}

int TScriptedSerialDevice::SetQueueSizes(int, int)
{
    return 0;
}

int TScriptedSerialDevice::SetDtr(bool On)
{
    std::lock_guard Guard(FLine->FLock);
    FLine->FDtr = On;
    return 0;
}

int TScriptedSerialDevice::SetRts(bool On)
{
    std::lock_guard Guard(FLine->FLock);
    FLine->FRts = On;
    return 0;
}

int TScriptedSerialDevice::GetModemStatus(std::uint8_t& Status)
{
    std::lock_guard Guard(FLine->FLock);
    Status = FLine->FModem;
    return 0;
}

int TScriptedSerialDevice::CollectErrors(std::uint32_t& Errors)
{
    std::lock_guard Guard(FLine->FLock);
    Errors |= FLine->FErrors;
    FLine->FErrors = 0;
    return 0;
}

int TScriptedSerialDevice::OutputCount()
{
    return 0;
}

int TScriptedSerialDevice::Purge(std::uint32_t Flags)
{
    std::lock_guard Guard(FLine->FLock);
    if (Flags & (purge::RxAbort | purge::RxClear))
        FLine->FInput.clear();
    return 0;
}

int TScriptedSerialDevice::WaitReadable(int TimeoutMs)
{
    std::unique_lock Guard(FLine->FLock);
    FLine->FChanged.wait_for(Guard, std::chrono::milliseconds(TimeoutMs), [this] {
        return FLine->FWoken || FLine->FFailure != 0 || !FLine->FInput.empty();
    });
    if (FLine->FWoken)
        return 0;
    if (const int Failure = FLine->FailureLocked())
        return Failure;
    return FLine->FInput.empty() ? 0 : 1;
}

int TScriptedSerialDevice::Read(void* Buffer, std::size_t Size)
{
    std::lock_guard Guard(FLine->FLock);
    if (const int Failure = FLine->FailureLocked())
        return Failure;
    auto* Out = static_cast<std::uint8_t*>(Buffer);
    std::size_t Count = 0;
    while (Count < Size && !FLine->FInput.empty()) {
        Out[Count++] = FLine->FInput.front();
        FLine->FInput.pop_front();
    }
    return static_cast<int>(Count);
}

int TScriptedSerialDevice::WaitLineEvent(std::uint32_t Mask, int TimeoutMs, std::uint32_t& Events)
{
    std::unique_lock Guard(FLine->FLock);
    FLine->FChanged.wait_for(Guard, std::chrono::milliseconds(TimeoutMs), [&] {
        return FLine->FWoken || FLine->FNudged || FLine->FFailure != 0 ||
               (FLine->FEvents & Mask) != 0;
    });
    FLine->FNudged = false;
    Events = 0;
    if (FLine->FWoken)
        return 0;
    if (const int Failure = FLine->FailureLocked())
        return Failure;
    Events = FLine->FEvents & Mask;
    FLine->FEvents &= ~Mask;
    return 0;
}

int TScriptedSerialDevice::Write(const void* Buffer, std::size_t Size)
{
    std::lock_guard Guard(FLine->FLock);
    if (const int Failure = FLine->FailureLocked())
        return Failure;
    const auto* Bytes = static_cast<const std::uint8_t*>(Buffer);
    FLine->FWritten.insert(FLine->FWritten.end(), Bytes, Bytes + Size);
    return static_cast<int>(Size);
}

void TScriptedSerialDevice::Wake()
{
    {
        std::lock_guard Guard(FLine->FLock);
        FLine->FWoken = true;
    }
    FLine->FChanged.notify_all();
}

void TScriptedSerialDevice::Nudge()
{
    {
        std::lock_guard Guard(FLine->FLock);
        FLine->FNudged = true;
    }
    FLine->FChanged.notify_all();
}

void TScriptedSerialDevice::ResetWake()
{
    std::lock_guard Guard(FLine->FLock);
    FLine->FWoken = false;
}

TSerialDeviceFactory
ScriptedDeviceFactory(std::function<std::shared_ptr<TScriptedLine>(const std::string&)> Lookup)
{
    return [Lookup](const std::string& Path) -> std::unique_ptr<TSerialDevice> {
        if (auto Line = Lookup(Path))
            return std::make_unique<TScriptedSerialDevice>(std::move(Line));
        return std::make_unique<TPosixSerialDevice>();
    };
}

} // namespace kelvalog
