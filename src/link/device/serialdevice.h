#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kelvalog {

// Line events a device reports (bit values of the classic serial event mask).
namespace evt {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t Cts = 0x0008;
inline constexpr std::uint32_t Dsr = 0x0010;
inline constexpr std::uint32_t Rlsd = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t RingTe = 0x2000;
inline constexpr std::uint32_t ModemEvents = Cts | Dsr | Rlsd | Ring | RingTe;
inline constexpr std::uint32_t ErrorEvents = Break | Err;
// Received character, CTS, DSR, RLSD, break, error and ring.
inline constexpr std::uint32_t DefaultMask = 505;
} // namespace evt

// Accumulated line error bits.
namespace lineerr {
inline constexpr std::uint32_t RxOver = 0x0001;
inline constexpr std::uint32_t Overrun = 0x0002;
inline constexpr std::uint32_t Parity = 0x0004;
inline constexpr std::uint32_t Frame = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
} // namespace lineerr

// Modem status byte.
namespace modem {
inline constexpr std::uint8_t Cts = 0x10;
inline constexpr std::uint8_t Dsr = 0x20;
inline constexpr std::uint8_t Ring = 0x40;
inline constexpr std::uint8_t Rlsd = 0x80;
} // namespace modem

// Purge flags.
namespace purge {
inline constexpr std::uint32_t TxAbort = 0x0001;
inline constexpr std::uint32_t RxAbort = 0x0002;
inline constexpr std::uint32_t TxClear = 0x0004;
inline constexpr std::uint32_t RxClear = 0x0008;
} // namespace purge

enum class TLineControl : std::uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// The device's line settings record.
struct TDeviceSettings
{
    std::uint32_t Baud = 9600;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t DataBits = 8; // 5 .. 8
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    bool Binary = true;        // no end-of-file character handling
    bool ParityCheck = false;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = true;
    bool NullStrip = false;
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    TLineControl DtrControl = TLineControl::Enable;
    TLineControl RtsControl = TLineControl::Enable;
    bool OutX = false;
    bool InX = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t XonChar = 17;
    std::uint8_t XoffChar = 19;

    bool operator==(const TDeviceSettings&) const = default;
};

// One serial device. Codes: 0 or a positive result, negative for an error
// (-2 no such device, -5 in use or denied, -31 device failure, ...).
// Open/Close/settings run on the window thread; Read, WaitReadable,
// WaitLineEvent, Write and the status queries may run on worker threads at
// the same time. Wake() may be called from any thread.
class TSerialDevice
{
public:
    virtual ~TSerialDevice() = default;

    virtual int Open(const std::string& Path) = 0;
    // The operating system's error number behind the last failed Open (0 when
    // the device has none to tell), so that the user can learn the cause.
    virtual int LastOpenErrno() const { return 0; }
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual int GetSettings(TDeviceSettings& Settings) = 0;
    virtual int SetSettings(const TDeviceSettings& Settings) = 0;
    virtual int SetQueueSizes(int InSize, int OutSize) = 0;
    virtual int SetDtr(bool On) = 0;
    virtual int SetRts(bool On) = 0;
    virtual int GetModemStatus(std::uint8_t& Status) = 0;
    // Adds the line errors seen since the last call to Errors.
    virtual int CollectErrors(std::uint32_t& Errors) = 0;
    virtual int OutputCount() = 0; // bytes not yet sent, or negative
    virtual int Purge(std::uint32_t Flags) = 0;

    // Waits up to TimeoutMs until bytes can be read: 1 readable, 0 timed out or
    // woken, negative when the device is gone (hang-up, I/O error).
    virtual int WaitReadable(int TimeoutMs) = 0;
    // Reads what has arrived without waiting: the count (0 = nothing yet) or a
    // negative error.
    virtual int Read(void* Buffer, std::size_t Size) = 0;
    // Waits up to TimeoutMs for one of the line events in Mask; Events gets
    // what happened (0 on a time-out or wake-up). Negative on a device error.
    virtual int WaitLineEvent(std::uint32_t Mask, int TimeoutMs, std::uint32_t& Events) = 0;
    virtual int Write(const void* Buffer, std::size_t Size) = 0; // count written or negative
    // Ends the current and the next waits at once (the stop signal of the
    // worker threads); ResetWake() re-arms the waits.
    virtual void Wake() = 0;
    virtual void ResetWake() = 0;
    // Ends the current line-event wait once, so that its caller can look
    // again at which events it waits for.
    virtual void Nudge() {}
};

using TSerialDeviceFactory = std::function<std::unique_ptr<TSerialDevice>(const std::string& Path)>;

// The process-wide factory the dispatchers use (POSIX devices unless a test
// replaces it). An empty factory restores the default.
std::unique_ptr<TSerialDevice> CreateSerialDevice(const std::string& Path);
void SetSerialDeviceFactory(TSerialDeviceFactory Factory);

} // namespace kelvalog
