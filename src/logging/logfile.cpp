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

[[noreturn]] void Fail(const std::string& what, const std::string& name, int error)
{
    throw ELogError(what + " " + name + ": " + std::generic_category().message(error), error);
}

} // namespace

TLogFile::~TLogFile()
{
    Release();
}

void TLogFile::Open(const std::string& name, TLogFileMode mode)
{
    if (IsOpen()) {
        throw ELogError("log file already open");
    }
    if (name.empty()) {
        throw ELogError("no log file name");
    }
    // Not blocking: a FIFO without a reader must fail instead of hanging the
    // window. Not truncating yet: a file locked by another program must not
    // be emptied before the lock is refused.
    int flags = O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (mode == TLogFileMode::Append) {
        flags |= O_APPEND;
    }
    // Read access only to see how an appended file ends.
    int fd = mode == TLogFileMode::Append ? ::open(name.c_str(), flags | O_RDWR, 0666) : -1;
    if (fd < 0) {
        fd = ::open(name.c_str(), flags | O_WRONLY, 0666);
    }
    if (fd < 0) {
        Fail("cannot open", name, errno);
    }
    const auto failClosing = [&](const char* what) {
        const int error = errno;
        ::close(fd);
        Fail(what, name, error);
    };
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        failClosing("in use by another program:");
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0) {
        failClosing("cannot set up");
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        failClosing("cannot inspect");
    }
    // A pipe would stall the window as soon as its reader stops reading.
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISDIR(info.st_mode)) {
        errno = EINVAL;
        failClosing("not a file:");
    }
    char last = '\n';
    if (S_ISREG(info.st_mode)) {
        if (mode == TLogFileMode::Create) {
            if (::ftruncate(fd, 0) != 0) {
                failClosing("cannot empty");
            }
        } else if (info.st_size > 0) {
            char c = 0;
            if (::pread(fd, &c, 1, info.st_size - 1) == 1) {
                last = c;
            }
        }
    }
    Fd = fd;
    Name = name;
    LastByteInFile = last;
}

void TLogFile::WriteWhole(std::string_view record)
{
    if (!IsOpen()) {
        throw ELogError("log file not open");
    }
    // Where the record begins: the end of the file, also for appending. A
    // device (no offsets) cannot be cut back.
    const off_t start = ::lseek(Fd, 0, SEEK_END);
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n = ::write(Fd, record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // No part of a record may stay: a cut number would read as a
            // valid, wrong value.
            if (done > 0 && (start < 0 || ::ftruncate(Fd, start) != 0)) {
                LastByteInFile = record[done - 1];
                throw ELogPartialRecord(
                    "cannot write " + Name + ": " + std::generic_category().message(error), error);
            }
            if (start >= 0) {
                ::lseek(Fd, start, SEEK_SET);
            }
            Fail("cannot write", Name, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (!record.empty()) {
        LastByteInFile = record.back();
    }
}

void TLogFile::Close()
{
    if (!IsOpen()) {
        return;
    }
    int error = 0;
    const int fd = Fd;
    Fd = -1;
    ::flock(fd, LOCK_UN);
    if (::close(fd) != 0) {
        error = errno;
    }
    if (error != 0) {
        Fail("cannot close", Name, error);
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
    if (LastByteInFile == '\n') {
        return {};
    }
    return LastByteInFile == '\r' ? std::string_view("\n") : std::string_view("\r\n");
}

} // namespace kelvalog
