#pragma once

#include "link/device/serialdevice.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace kelvalog {

// The far end of a scripted device: what a test feeds in and reads back. Any
// thread may use it.
class TScriptedLine
{
public:
    // Result of the next openings (0: opens).
    void SetOpenResult(int Code);
    void PushBytes(const std::string& Bytes);
    void PushBytes(const void* Data, std::size_t Size);
    // Line errors (lineerr bits) the device reports, with their event.
    void InjectLineErrors(std::uint32_t Errors);
    // New modem status (modem bits); changed lines raise their events.
    void SetModemStatus(std::uint8_t Status);
    // From now on waits, reads and the settings fail with Code, as an unplugged
    // adapter does (0: works again).
    void FailDevice(int Code);
    std::vector<std::uint8_t> Written() const;
    TDeviceSettings Settings() const;
    bool Dtr() const;
    bool Rts() const;
    int OpenCount() const;
    // Device calls made after the failure: stays small unless a thread spins.
    int CallsAfterFailure() const;

private:
    friend class TScriptedSerialDevice;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    int FOpenResult = 0;
    int FOpenCount = 0;
    bool FOpen = false;
    std::deque<std::uint8_t> FInput;
    std::vector<std::uint8_t> FWritten;
    std::uint32_t FErrors = 0;
    std::uint32_t FEvents = 0;
    std::uint8_t FModem = 0;
    int FFailure = 0;
    int FCallsAfterFailure = 0;
    bool FWoken = false;
    bool FNudged = false;
    TDeviceSettings FSettings;
    bool FDtr = false, FRts = false;

    int FailureLocked();
};

// A device driven by a TScriptedLine, for tests without hardware.
class TScriptedSerialDevice : public TSerialDevice
{
public:
    explicit TScriptedSerialDevice(std::shared_ptr<TScriptedLine> Line) : FLine(std::move(Line)) {}
    ~TScriptedSerialDevice() override { Close(); }

    int Open(const std::string& Path) override;
    void Close() override;
    bool IsOpen() const override;
    int GetSettings(TDeviceSettings& Settings) override;
    int SetSettings(const TDeviceSettings& Settings) override;
    int SetQueueSizes(int InSize, int OutSize) override;
    int SetDtr(bool On) override;
    int SetRts(bool On) override;
    int GetModemStatus(std::uint8_t& Status) override;
    int CollectErrors(std::uint32_t& Errors) override;
    int OutputCount() override;
    int Purge(std::uint32_t Flags) override;
    int WaitReadable(int TimeoutMs) override;
    int Read(void* Buffer, std::size_t Size) override;
    int WaitLineEvent(std::uint32_t Mask, int TimeoutMs, std::uint32_t& Events) override;
    int Write(const void* Buffer, std::size_t Size) override;
    void Wake() override;
    void ResetWake() override;
    void Nudge() override;

private:
    std::shared_ptr<TScriptedLine> FLine;
};

// A device factory that gives a scripted device for the paths Lookup knows
// (non-null line) and the normal device for every other path.
TSerialDeviceFactory ScriptedDeviceFactory(
    std::function<std::shared_ptr<TScriptedLine>(const std::string& Path)> Lookup);

} // namespace kelvalog
