#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace kelvalog::test {

// A pseudo-terminal pair: the program opens Path(), the test talks through the
// master side.
class TPty
{
public:
    TPty()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (FMaster >= 0 && ::grantpt(FMaster) == 0 && ::unlockpt(FMaster) == 0) {
            char Name[128] = {};
            if (::ptsname_r(FMaster, Name, sizeof Name) == 0)
                FPath = Name;
        }
    }
    ~TPty() { CloseMaster(); }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    bool Valid() const { return FMaster >= 0 && !FPath.empty(); }
    const std::string& Path() const { return FPath; }
    int Master() const { return FMaster; }

    void Write(const std::string& Bytes) const
    {
        std::size_t Done = 0;
        while (Done < Bytes.size()) {
            const auto N = ::write(FMaster, Bytes.data() + Done, Bytes.size() - Done);
            if (N <= 0)
                return;
            Done += static_cast<std::size_t>(N);
        }
    }

    void CloseMaster()
    {
        if (FMaster >= 0)
            ::close(FMaster);
        FMaster = -1;
    }

private:
    int FMaster = -1;
    std::string FPath;
};

// Raw mode on a terminal descriptor, so that bytes pass unchanged.
inline void MakeRaw(int Fd)
{
    termios Tio{};
    ::tcgetattr(Fd, &Tio);
    ::cfmakeraw(&Tio);
    ::tcsetattr(Fd, TCSANOW, &Tio);
}

// Polls Condition every millisecond for up to Limit.
template <class F> bool WaitUntil(F&& Condition, std::chrono::milliseconds Limit)
{
    const auto End = std::chrono::steady_clock::now() + Limit;
    while (!Condition()) {
        if (std::chrono::steady_clock::now() > End)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace kelvalog::test
