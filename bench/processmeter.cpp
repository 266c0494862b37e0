#include "processmeter.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvalog {

double ProcessCpu()
{
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    return U.ru_utime.tv_sec + U.ru_stime.tv_sec + (U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

double ThreadCpu()
{
    timespec T{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return T.tv_sec + T.tv_nsec / 1e9;
}

namespace {
// The third field of a task's schedstat: the times it ran on a processor.
std::uint64_t RunsIn(const std::filesystem::path& SchedStat)
{
    std::ifstream Stat(SchedStat);
    std::uint64_t RunNs = 0, WaitNs = 0, Runs = 0;
    return Stat >> RunNs >> WaitNs >> Runs ? Runs : 0;
}
} // namespace

std::uint64_t ProcessRuns(pid_t Pid)
{
    namespace fs = std::filesystem;
    fs::path Proc = "/proc/self";
    if (Pid > 0)
        Proc = fs::path("/proc") / std::to_string(Pid);
    std::uint64_t Runs = 0;
    std::error_code Error;
    for (const auto& Task : fs::directory_iterator(Proc / "task", Error))
        Runs += RunsIn(Task.path() / "schedstat");
    return Runs;
}

// CPU time of all threads of another process, in seconds. schedstat counts
// nanoseconds; stat's clock ticks of 10 ms are too coarse for a server that
// mostly sleeps.
double ProcessCpuOf(pid_t Pid)
{
    namespace fs = std::filesystem;
    const fs::path Proc = "/proc/" + std::to_string(Pid);
    double Ns = 0;
    bool Found = false;
    std::error_code Error;
    for (const auto& Task : fs::directory_iterator(Proc / "task", Error)) {
        std::ifstream Stat(Task.path() / "schedstat");
        double TaskNs = 0;
        if (Stat >> TaskNs) {
            Ns += TaskNs;
            Found = true;
        }
    }
    if (Found)
        return Ns / 1e9;
    std::ifstream Stat(Proc / "stat");
    std::string Text((std::istreambuf_iterator<char>(Stat)), std::istreambuf_iterator<char>());
    // Fields after the command's closing parenthesis: state is field 3,
    // utime and stime are fields 14 and 15.
    const auto Close = Text.rfind(')');
    if (Close == std::string::npos)
        return 0;
    std::istringstream Fields(Text.substr(Close + 2));
    std::string Field;
    double Ticks = 0;
    for (int Number = 3; Number <= 15 && Fields >> Field; ++Number)
        if (Number >= 14)
            Ticks += std::atof(Field.c_str());
    return Ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TXServer::TXServer()
{
    int Ready[2];
    if (pipe(Ready) != 0)
        return;
    const std::string Fd = std::to_string(Ready[1]);
    const char* Args[] = {"Xvfb",         "-displayfd", Fd.c_str(), "-screen", "0",
                          "1280x1024x24", "-nolisten",  "tcp",      nullptr};
    const int Null = open("/dev/null", O_RDWR);
    FPid = fork();
    if (FPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(Ready[0]);
        dup2(Null, STDOUT_FILENO);
        dup2(Null, STDERR_FILENO);
        execvp(Args[0], const_cast<char* const*>(Args));
        _exit(127);
    }
    close(Null);
    close(Ready[1]);
    std::string Number;
    pollfd Fd0{Ready[0], POLLIN, 0};
    char C = 0;
    while (FPid > 0 && poll(&Fd0, 1, 10'000) > 0 && read(Ready[0], &C, 1) == 1 && C != '\n')
        Number.push_back(C);
    close(Ready[0]);
    if (!Number.empty())
        FDisplay = ":" + Number;
}
TXServer::~TXServer()
{
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
}

long ResidentKb()
{
    std::ifstream Status("/proc/self/status");
    std::string Key;
    while (Status >> Key) {
        if (Key == "VmRSS:") {
            long Kb = 0;
            Status >> Kb;
            return Kb;
        }
        Status.ignore(4096, '\n');
    }
    return 0;
}

} // namespace kelvalog
