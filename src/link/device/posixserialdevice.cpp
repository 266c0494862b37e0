#include "link/device/posixserialdevice.h"

#include "common/linkerror.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace kelvalog {

namespace {

struct TBaudEntry
{
    std::uint32_t Baud;
    speed_t Speed;
};

constexpr TBaudEntry BaudTable[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
};

bool SpeedOf(std::uint32_t Baud, speed_t& Speed)
{
    for (const auto& Entry : BaudTable)
        if (Entry.Baud == Baud) {
            Speed = Entry.Speed;
            return true;
        }
    return false;
}

std::uint32_t BaudOf(speed_t Speed)
{
    for (const auto& Entry : BaudTable)
        if (Entry.Speed == Speed)
            return Entry.Baud;
    return 0;
}

// Errors met on an open device: anything but a refused argument is the device
// failing.
int DeviceErrorCode(int Errno)
{
    switch (Errno) {
    case EINVAL:
        return ecode::InvalidParameter;
    case ENOMEM:
        return ecode::OutOfMemory;
    default:
        return ecode::GeneralFailure;
    }
}

bool Unsupported(int Errno)
{
    return Errno == ENOTTY || Errno == EINVAL;
}

// Whether the terminal passes bytes as SetSettings leaves it: no line editing,
// translation, echo or signals, breaks kept out of the data, and a read
// returns what has arrived. A terminal the system left in its cooked mode is
// not, even when its speed and format already match.
bool IsByteTransparent(const termios& Tio)
{
    return (Tio.c_iflag & IGNBRK) != 0 &&
           (Tio.c_iflag & (BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IGNPAR)) ==
               0 &&
           (Tio.c_oflag & OPOST) == 0 &&
           (Tio.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN)) == 0 &&
           (Tio.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && Tio.c_cc[VMIN] == 1 &&
           Tio.c_cc[VTIME] == 0;
}

// No line editing, translation, echo or signals, breaks kept out of the data;
// speed, format and flow control stay as they are.
void MakeTransparent(termios& Tio)
{
    Tio.c_iflag &= ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IGNPAR);
    // A break would otherwise reach the data as a NUL byte in the middle of a
    // line; the driver still counts it, which is how it is reported.
    Tio.c_iflag |= IGNBRK;
    Tio.c_oflag &= ~OPOST;
    Tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    Tio.c_cflag |= CLOCAL | CREAD;
    // One byte satisfies a read; with O_NONBLOCK an empty read is EAGAIN, so a
    // read of 0 bytes can only mean a hang-up.
    Tio.c_cc[VMIN] = 1;
    Tio.c_cc[VTIME] = 0;
}

int RemainingMs(std::chrono::steady_clock::time_point Deadline)
{
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, Left.count()));
}

} // namespace

TPosixSerialDevice::~TPosixSerialDevice()
{
    Close();
}

int TPosixSerialDevice::OpenErrorCode(int Errno)
{
    switch (Errno) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO: // a serial node without a UART behind it
        return ecode::FileNotFound;
    case ENOTDIR:
        return ecode::PathNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ecode::AccessDenied;
    case ENOMEM:
        return ecode::OutOfMemory;
    default:
        return ecode::GeneralFailure;
    }
}

int TPosixSerialDevice::Open(const std::string& Path)
{
    Close();
    FOpenErrno = 0;
    const int Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) {
        FOpenErrno = errno;
        return OpenErrorCode(FOpenErrno);
    }
    termios Tio{};
    if (::tcgetattr(Fd, &Tio) != 0) {
        ::close(Fd);
        FOpenErrno = ENOTTY;
        return ecode::FileNotFound; // not a terminal: no port of ours
    }
    // Root passes TIOCEXCL, so the lock is what keeps two openers apart.
    if (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        const int Error = errno;
        ::close(Fd);
        FOpenErrno = Error;
        return Error == EWOULDBLOCK ? ecode::AccessDenied : OpenErrorCode(Error);
    }
    ::ioctl(Fd, TIOCEXCL);
    // A terminal opens as its last user left it, usually echoing: what the
    // board sends before the settings are applied would go back down the
    // line. Echoes already queued are dropped; bytes waiting are kept.
    MakeTransparent(Tio);
    ::tcsetattr(Fd, TCSANOW, &Tio);
    ::tcflush(Fd, TCOFLUSH);
    const int WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int NudgeFd = WakeFd < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (NudgeFd < 0) {
        if (WakeFd >= 0)
            ::close(WakeFd);
        ::ioctl(Fd, TIOCNXCL);
        ::close(Fd);
        return ecode::OutOfMemory;
    }
    FFd = Fd;
    FWakeFd = WakeFd;
    FNudgeFd = NudgeFd;
    FInputSeen = false;
    FStatusResting = false;
    FCounterSamples = 0;
    FCached = TDeviceSettings{};
    int Lines = 0;
    FHasModemLines = ::ioctl(Fd, TIOCMGET, &Lines) == 0;
    FLastModem = FHasModemLines ? Lines : 0;
    serial_icounter_struct Counts{};
    FHasCounters = ReadCounters(Counts);
    FEventCounts = Counts;
    FErrorCounts = Counts;
    TDeviceSettings Current;
    GetSettings(Current);
    FCached = Current;
    return 0;
}

void TPosixSerialDevice::Close()
{
    if (FFd >= 0) {
        ::ioctl(FFd, TIOCNXCL);
        ::flock(FFd, LOCK_UN);
        ::close(FFd);
        FFd = -1;
    }
    if (FWakeFd >= 0) {
        ::close(FWakeFd);
        FWakeFd = -1;
    }
    if (FNudgeFd >= 0) {
        ::close(FNudgeFd);
        FNudgeFd = -1;
    }
}

bool TPosixSerialDevice::ReadCounters(serial_icounter_struct& Counts)
{
    return FFd >= 0 && ::ioctl(FFd, TIOCGICOUNT, &Counts) == 0;
}

int TPosixSerialDevice::GetSettings(TDeviceSettings& Settings)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    termios Tio{};
    if (::tcgetattr(FFd, &Tio) != 0)
        return DeviceErrorCode(errno);
    Settings = FCached;
    Settings.Binary = IsByteTransparent(Tio);
    Settings.ParityCheck = (Tio.c_iflag & INPCK) != 0;
    const std::uint32_t Baud = BaudOf(::cfgetospeed(&Tio));
    if (Baud != 0)
        Settings.Baud = Baud;
    if (!(Tio.c_cflag & PARENB))
        Settings.Parity = 0;
    else if (Tio.c_cflag & CMSPAR)
        Settings.Parity = (Tio.c_cflag & PARODD) ? 3 : 4;
    else
        Settings.Parity = (Tio.c_cflag & PARODD) ? 1 : 2;
    switch (Tio.c_cflag & CSIZE) {
    case CS5:
        Settings.DataBits = 5;
        break;
    case CS6:
        Settings.DataBits = 6;
        break;
    case CS7:
        Settings.DataBits = 7;
        break;
    default:
        Settings.DataBits = 8;
        break;
    }
    if (!(Tio.c_cflag & CSTOPB))
        Settings.StopBits = 0;
    else
        Settings.StopBits = Settings.DataBits == 5 ? 1 : 2;
    const bool CtsRts = (Tio.c_cflag & CRTSCTS) != 0;
    Settings.OutxCtsFlow = CtsRts;
    if (CtsRts)
        Settings.RtsControl = TLineControl::Handshake;
    else if (Settings.RtsControl == TLineControl::Handshake)
        Settings.RtsControl = TLineControl::Enable;
    Settings.OutX = (Tio.c_iflag & IXON) != 0;
    Settings.InX = (Tio.c_iflag & IXOFF) != 0;
    Settings.XonChar = Tio.c_cc[VSTART];
    Settings.XoffChar = Tio.c_cc[VSTOP];
    return 0;
}

int TPosixSerialDevice::SetSettings(const TDeviceSettings& Settings)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    termios Tio{};
    if (::tcgetattr(FFd, &Tio) != 0)
        return DeviceErrorCode(errno);
    speed_t Speed{};
    if (!SpeedOf(Settings.Baud, Speed))
        return ecode::InvalidParameter;
    if (Settings.DataBits < 5 || Settings.DataBits > 8 || Settings.Parity > 4 ||
        Settings.StopBits > 2)
        return ecode::InvalidParameter;

    MakeTransparent(Tio);
    Tio.c_iflag &= ~(IXON | IXOFF | INPCK);
    Tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    Tio.c_cflag |= Sizes[Settings.DataBits - 5];
    switch (Settings.Parity) {
    case 1:
        Tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        Tio.c_cflag |= PARENB;
        break;
    case 3:
        Tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        Tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (Settings.StopBits != 0)
        Tio.c_cflag |= CSTOPB;
    if (Settings.ParityCheck)
        Tio.c_iflag |= INPCK;
    if (Settings.OutxCtsFlow || Settings.RtsControl == TLineControl::Handshake)
        Tio.c_cflag |= CRTSCTS;
    if (Settings.OutX)
        Tio.c_iflag |= IXON;
    if (Settings.InX)
        Tio.c_iflag |= IXOFF;
    Tio.c_cc[VSTART] = Settings.XonChar;
    Tio.c_cc[VSTOP] = Settings.XoffChar;
    ::cfsetispeed(&Tio, Speed);
    ::cfsetospeed(&Tio, Speed);
    if (::tcsetattr(FFd, TCSANOW, &Tio) != 0)
        return DeviceErrorCode(errno);
    FCached = Settings;
    if (Settings.DtrControl != TLineControl::Handshake)
        SetModemBit(TIOCM_DTR, Settings.DtrControl != TLineControl::Disable);
    if (Settings.RtsControl == TLineControl::Enable || Settings.RtsControl == TLineControl::Disable)
        SetModemBit(TIOCM_RTS, Settings.RtsControl == TLineControl::Enable);
    return 0;
}

int TPosixSerialDevice::SetQueueSizes(int InSize, int OutSize)
{
    // The kernel sizes a terminal's queues itself.
    if (FFd < 0)
        return ecode::GeneralFailure;
    return InSize < 0 || OutSize < 0 ? ecode::InvalidParameter : 0;
}

int TPosixSerialDevice::SetModemBit(int Bit, bool On)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    if (::ioctl(FFd, On ? TIOCMBIS : TIOCMBIC, &Bit) != 0 && !Unsupported(errno))
        return DeviceErrorCode(errno);
    return 0;
}

int TPosixSerialDevice::SetDtr(bool On)
{
    return SetModemBit(TIOCM_DTR, On);
}

int TPosixSerialDevice::SetRts(bool On)
{
    return SetModemBit(TIOCM_RTS, On);
}

int TPosixSerialDevice::GetModemStatus(std::uint8_t& Status)
{
    Status = 0;
    if (FFd < 0)
        return ecode::GeneralFailure;
    if (!FHasModemLines)
        return 0;
    int Lines = 0;
    if (::ioctl(FFd, TIOCMGET, &Lines) != 0)
        return Unsupported(errno) ? 0 : DeviceErrorCode(errno);
    if (Lines & TIOCM_CTS)
        Status |= modem::Cts;
    if (Lines & TIOCM_DSR)
        Status |= modem::Dsr;
    if (Lines & TIOCM_RI)
        Status |= modem::Ring;
    if (Lines & TIOCM_CD)
        Status |= modem::Rlsd;
    return 0;
}

int TPosixSerialDevice::CollectErrors(std::uint32_t& Errors)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    if (!FHasCounters)
        return 0;
    serial_icounter_struct Now{};
    if (!ReadCounters(Now))
        return Unsupported(errno) ? 0 : DeviceErrorCode(errno);
    std::lock_guard Guard(FCountLock);
    if (Now.buf_overrun != FErrorCounts.buf_overrun)
        Errors |= lineerr::RxOver;
    if (Now.overrun != FErrorCounts.overrun)
        Errors |= lineerr::Overrun;
    if (Now.parity != FErrorCounts.parity)
        Errors |= lineerr::Parity;
    if (Now.frame != FErrorCounts.frame)
        Errors |= lineerr::Frame;
    // The UART sees a break as a framing error too, but Linux counts it as
    // a break alone; both are told, as the port reports them elsewhere.
    if (Now.brk != FErrorCounts.brk)
        Errors |= lineerr::Break | lineerr::Frame;
    FErrorCounts = Now;
    return 0;
}

int TPosixSerialDevice::OutputCount()
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    int Count = 0;
    if (::ioctl(FFd, TIOCOUTQ, &Count) != 0)
        return Unsupported(errno) ? 0 : DeviceErrorCode(errno);
    return Count;
}

int TPosixSerialDevice::Purge(std::uint32_t Flags)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    const bool Rx = Flags & (purge::RxAbort | purge::RxClear);
    const bool Tx = Flags & (purge::TxAbort | purge::TxClear);
    if (!Rx && !Tx)
        return 0;
    const int Queue = Rx && Tx ? TCIOFLUSH : (Rx ? TCIFLUSH : TCOFLUSH);
    if (::tcflush(FFd, Queue) != 0 && errno != EIO)
        return DeviceErrorCode(errno);
    return 0;
}

int TPosixSerialDevice::WaitReadable(int TimeoutMs)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    pollfd Fds[2] = {{FWakeFd, POLLIN, 0}, {FFd, POLLIN, 0}};
    const int Result = ::poll(Fds, 2, TimeoutMs);
    if (Result < 0)
        return errno == EINTR ? 0 : DeviceErrorCode(errno);
    if (Fds[0].revents & POLLIN)
        return 0;
    if (Fds[1].revents & POLLIN)
        return 1; // a hang-up with bytes still queued reads them first
    if (Fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
        return ecode::GeneralFailure;
    return 0;
}

int TPosixSerialDevice::Read(void* Buffer, std::size_t Size)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    const ssize_t Count = ::read(FFd, Buffer, Size);
    if (Count > 0) {
        // The bytes may have come with errors: a resting line-event wait
        // goes back to sampling the counters every 50 ms.
        FInputSeen.store(true);
        if (FStatusResting.load() && FStatusResting.exchange(false))
            Nudge();
        return static_cast<int>(Count);
    }
    if (Count == 0)
        return ecode::GeneralFailure; // hung up
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    return DeviceErrorCode(errno);
}

int TPosixSerialDevice::WaitLineEvent(std::uint32_t Mask, int TimeoutMs, std::uint32_t& Events)
{
    Events = 0;
    if (FFd < 0)
        return ecode::GeneralFailure;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    // The terminal layer tells of neither kind of change, so both are
    // sampled: the modem lines every 50 ms while they are watched, the error
    // counters as FCounterSamples says. A port at rest wakes once a second.
    const bool Modem = FHasModemLines && (Mask & evt::ModemEvents) != 0;
    for (;;) {
        if (FInputSeen.exchange(false) && FHasCounters)
            FCounterSamples = 2;
        const bool Resting = !Modem && FCounterSamples == 0;
        int WaitMs = 50;
        if (Resting && FHasCounters) {
            // Bytes read from now on nudge the wait; bytes read just before
            // are looked at now.
            FStatusResting.store(true);
            if (FInputSeen.load()) {
                FStatusResting.store(false);
                continue;
            }
            WaitMs = 1000;
        } else if (Resting) {
            WaitMs = -1;
        }
        // The device descriptor is watched for hang-up only; its input belongs
        // to the read thread.
        pollfd Fds[3] = {{FWakeFd, POLLIN, 0}, {FNudgeFd, POLLIN, 0}, {FFd, 0, 0}};
        const int Left = RemainingMs(Deadline);
        const int Result = ::poll(Fds, 3, WaitMs < 0 ? Left : std::min(Left, WaitMs));
        FStatusResting.store(false);
        if (Result < 0 && errno != EINTR)
            return DeviceErrorCode(errno);
        if (Result > 0 && (Fds[0].revents & POLLIN))
            return 0;
        if (Result > 0 && (Fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)))
            return ecode::GeneralFailure;
        if (Result > 0 && (Fds[1].revents & POLLIN)) {
            std::uint64_t Value = 0;
            [[maybe_unused]] const auto Drained = ::read(FNudgeFd, &Value, sizeof Value);
            // Nudged by a read: back to sampling every 50 ms. Otherwise the
            // caller looks again at what it waits for.
            if (FInputSeen.load())
                continue;
            return 0;
        }
        if (Resting && !FHasCounters) {
            if (RemainingMs(Deadline) == 0)
                return 0;
            continue;
        }
        if (Modem) {
            int Lines = 0;
            if (::ioctl(FFd, TIOCMGET, &Lines) == 0) {
                const int Changed = Lines ^ FLastModem;
                if (Changed & TIOCM_CTS)
                    Events |= evt::Cts;
                if (Changed & TIOCM_DSR)
                    Events |= evt::Dsr;
                if (Changed & TIOCM_CD)
                    Events |= evt::Rlsd;
                if (Changed & TIOCM_RI)
                    Events |= (Lines & TIOCM_RI) ? evt::Ring : evt::RingTe;
                FLastModem = Lines;
            } else if (errno == EIO) {
                return ecode::GeneralFailure;
            }
        }
        if (FHasCounters) {
            if (FCounterSamples > 0)
                --FCounterSamples;
            serial_icounter_struct Now{};
            if (ReadCounters(Now)) {
                std::lock_guard Guard(FCountLock);
                const auto& Was = FEventCounts;
                if (Now.frame != Was.frame || Now.overrun != Was.overrun ||
                    Now.parity != Was.parity || Now.buf_overrun != Was.buf_overrun)
                    Events |= evt::Err;
                if (Now.brk != Was.brk)
                    Events |= evt::Break | evt::Err;
                if (Now.cts != Was.cts)
                    Events |= evt::Cts;
                if (Now.dsr != Was.dsr)
                    Events |= evt::Dsr;
                if (Now.dcd != Was.dcd)
                    Events |= evt::Rlsd;
                if (Now.rng != Was.rng)
                    Events |= evt::Ring;
                FEventCounts = Now;
            } else if (errno == EIO) {
                return ecode::GeneralFailure;
            }
        }
        Events &= Mask;
        if (Events != 0 || RemainingMs(Deadline) == 0)
            return 0;
    }
}

int TPosixSerialDevice::Write(const void* Buffer, std::size_t Size)
{
    if (FFd < 0)
        return ecode::GeneralFailure;
    const ssize_t Count = ::write(FFd, Buffer, Size);
    if (Count >= 0)
        return static_cast<int>(Count);
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    return DeviceErrorCode(errno);
}

void TPosixSerialDevice::Wake()
{
    if (FWakeFd >= 0) {
        const std::uint64_t One = 1;
        [[maybe_unused]] const auto Written = ::write(FWakeFd, &One, sizeof One);
    }
}

void TPosixSerialDevice::Nudge()
{
    if (FNudgeFd >= 0) {
        const std::uint64_t One = 1;
        [[maybe_unused]] const auto Written = ::write(FNudgeFd, &One, sizeof One);
    }
}

void TPosixSerialDevice::ResetWake()
{
    if (FWakeFd >= 0) {
        std::uint64_t Value = 0;
        [[maybe_unused]] const auto Read = ::read(FWakeFd, &Value, sizeof Value);
    }
}

} // namespace kelvalog
