#include "terminallogger.h"

#include "processmeter.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace kelvalog {

namespace {
// A terminal's far end, opened for reading what is written to its near end.
int OpenScreen(std::string& NearEnd)
{
    const int Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0)
        return -1;
    if (grantpt(Master) != 0 || unlockpt(Master) != 0) {
        close(Master);
        return -1;
    }
    NearEnd = ptsname(Master);
    return Master;
}
} // namespace

TTerminalLogger::TTerminalLogger(const std::string& Path)
{
    std::string ScreenPath;
    FScreen = OpenScreen(ScreenPath);
    const int In = open(Path.c_str(), O_RDWR | O_NOCTTY);
    const int Out = FScreen >= 0 ? open(ScreenPath.c_str(), O_RDWR | O_NOCTTY) : -1;
    if (In < 0 || Out < 0) {
        if (In >= 0)
            close(In);
        if (Out >= 0)
            close(Out);
        return;
    }
    // Raw as a terminal program sets a serial line: bytes as they come, no echo.
    termios Tio{};
    tcgetattr(In, &Tio);
    cfmakeraw(&Tio);
    tcsetattr(In, TCSANOW, &Tio);
    FPid = fork();
    if (FPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(In, STDIN_FILENO);
        dup2(Out, STDOUT_FILENO);
        execlp("cat", "cat", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(In);
    close(Out);
    FDrain = std::thread([this] {
        char Buffer[4096];
        while (!FStop) {
            pollfd Fd{FScreen, POLLIN, 0};
            if (poll(&Fd, 1, 100) > 0 && read(FScreen, Buffer, sizeof Buffer) <= 0)
                break;
        }
    });
}

TTerminalLogger::~TTerminalLogger()
{
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
    FStop = true;
    if (FDrain.joinable())
        FDrain.join();
    if (FScreen >= 0)
        close(FScreen);
}

double TTerminalLogger::Cpu() const
{
    return FPid > 0 ? ProcessCpuOf(FPid) : 0;
}

std::uint64_t TTerminalLogger::Runs() const
{
    return FPid > 0 ? ProcessRuns(FPid) : 0;
}

} // namespace kelvalog
