#pragma once

#include "link/device/serialdevice.h"

#include <linux/serial.h>

#include <atomic>
#include <mutex>

namespace kelvalog {

// A terminal device: a serial port, a USB adapter or a pseudo-terminal.
// Exclusive use through TIOCEXCL and an flock, so that a second opening fails
// with -5 even for root. Pseudo-terminals lack modem lines, error counters and
// parity; those parts then report nothing instead of failing.
class TPosixSerialDevice : public TSerialDevice
{
public:
    TPosixSerialDevice() = default;
    ~TPosixSerialDevice() override;
    TPosixSerialDevice(const TPosixSerialDevice&) = delete;
    TPosixSerialDevice& operator=(const TPosixSerialDevice&) = delete;

    int Open(const std::string& Path) override;
    int LastOpenErrno() const override { return FOpenErrno; }
    void Close() override;
    bool IsOpen() const override { return FFd >= 0; }

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

    bool HasModemLines() const { return FHasModemLines; }
    bool HasErrorCounters() const { return FHasCounters; }

    // Converts an errno value of an opening into the layer's code.
    static int OpenErrorCode(int Errno);

private:
    int FFd = -1;
    int FOpenErrno = 0;
    int FWakeFd = -1;
    bool FHasModemLines = false;
    bool FHasCounters = false;
    TDeviceSettings FCached; // the parts a terminal does not keep
    std::mutex FCountLock;
    serial_icounter_struct FEventCounts{};
    serial_icounter_struct FErrorCounts{};
    int FLastModem = 0;
    // Ends a line-event wait once (Nudge).
    int FNudgeFd = -1;
    // Line errors come with received bytes, a break alone with none: the
    // error counters are sampled every 50 ms while bytes come and twice after
    // the last, then once a second until a read finds bytes and nudges the
    // wait.
    std::atomic<bool> FInputSeen{false};
    std::atomic<bool> FStatusResting{false};
    int FCounterSamples = 0;

    int SetModemBit(int Bit, bool On);
    bool ReadCounters(serial_icounter_struct& Counts);
};

} // namespace kelvalog
