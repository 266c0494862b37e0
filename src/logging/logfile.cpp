#include "logging/logfile.h"

#include "logging/logwriter.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kelvalog {

namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& Name, int Error)
{
    throw ELogError(What + " " + Name + ": " + std::generic_category().message(Error), Error);
}

} // namespace

TLogFile::~TLogFile()
{
    Release();
}

void TLogFile::Open(const std::string& Name, TLogFileMode Mode)
{
    if (IsOpen()) {
        throw ELogError("log file already open");
    }
    if (Name.empty()) {
        throw ELogError("no log file name");
    }
    // Not blocking: a FIFO without a reader must fail instead of hanging the
    // window. Not truncating yet: a file locked by another program must not
    // be emptied before the lock is refused.
    int Flags = O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (Mode == TLogFileMode::Append) {
        Flags |= O_APPEND;
    }
    // Read access only to see how an appended file ends.
    int Fd = Mode == TLogFileMode::Append ? ::open(Name.c_str(), Flags | O_RDWR, 0666) : -1;
    if (Fd < 0) {
        Fd = ::open(Name.c_str(), Flags | O_WRONLY, 0666);
    }
    if (Fd < 0) {
        Fail("cannot open", Name, errno);
    }
    const auto FailClosing = [&](const char* What) {
        const int Error = errno;
        ::close(Fd);
        Fail(What, Name, Error);
    };
    if (::flock(Fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        FailClosing("in use by another program:");
    }
    const int Status = ::fcntl(Fd, F_GETFL);
    if (Status < 0 || ::fcntl(Fd, F_SETFL, Status & ~O_NONBLOCK) < 0) {
        FailClosing("cannot set up");
    }
    struct stat Info
    {
    };
    if (::fstat(Fd, &Info) != 0) {
        FailClosing("cannot inspect");
    }
    // A pipe would stall the window as soon as its reader stops reading.
    if (S_ISFIFO(Info.st_mode) || S_ISSOCK(Info.st_mode) || S_ISDIR(Info.st_mode)) {
        errno = EINVAL;
        FailClosing("not a file:");
    }
    char Last = '\n';
    if (S_ISREG(Info.st_mode)) {
        if (Mode == TLogFileMode::Create) {
            if (::ftruncate(Fd, 0) != 0) {
                FailClosing("cannot empty");
            }
        } else if (Info.st_size > 0) {
            char C = 0;
            if (::pread(Fd, &C, 1, Info.st_size - 1) == 1) {
                Last = C;
            }
        }
    }
    FFd = Fd;
    FName = Name;
    FLastByteInFile = Last;
}

void TLogFile::WriteWhole(std::string_view Record)
{
    if (!IsOpen()) {
        throw ELogError("log file not open");
    }
    // Where the record begins: the end of the file, also for appending. A
    // device (no offsets) cannot be cut back.
    const off_t Start = ::lseek(FFd, 0, SEEK_END);
    std::size_t Done = 0;
    while (Done < Record.size()) {
        const ssize_t N = ::write(FFd, Record.data() + Done, Record.size() - Done);
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N <= 0) {
            const int Error = N < 0 ? errno : EIO;
            // No part of a record may stay: a cut number would read as a
            // valid, wrong value.
            if (Done > 0 && (Start < 0 || ::ftruncate(FFd, Start) != 0)) {
                FLastByteInFile = Record[Done - 1];
                throw ELogPartialRecord(
                    "cannot write " + FName + ": " + std::generic_category().message(Error), Error);
            }
            if (Start >= 0) {
                ::lseek(FFd, Start, SEEK_SET);
            }
            Fail("cannot write", FName, Error);
        }
        Done += static_cast<std::size_t>(N);
    }
    if (!Record.empty()) {
        FLastByteInFile = Record.back();
    }
}

void TLogFile::Close()
{
    if (!IsOpen()) {
        return;
    }
    int Error = 0;
    const int Fd = FFd;
    FFd = -1;
    ::flock(Fd, LOCK_UN);
    if (::close(Fd) != 0) {
        Error = errno;
    }
    if (Error != 0) {
        Fail("cannot close", FName, Error);
    }
}

void TLogFile::Release() noexcept
{
    try {
        Close();
    } catch (...) {
        // The caller reports its own failure.
    }
}

std::string_view TLogFile::LineStartGap() const
{
    if (FLastByteInFile == '\n') {
        return {};
    }
    return FLastByteInFile == '\r' ? std::string_view("\n") : std::string_view("\r\n");
}

} // namespace kelvalog
