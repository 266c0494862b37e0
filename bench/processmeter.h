#pragma once

// CPU and memory of the benchmark's own process and of the X server it starts.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace kelvalog {

// CPU time of this process, of the calling thread, and of all threads of
// another process, in seconds.
double ProcessCpu();
double ThreadCpu();
double ProcessCpuOf(pid_t Pid);
// How often the live threads of a process (0: this one) were put on a
// processor: about their wake-ups, the steadiest sign of what a program
// costs at rest on a machine whose CPU figures vary from run to run.
std::uint64_t ProcessRuns(pid_t Pid = 0);

// Resident memory of this process in KB.
long ResidentKb();

// An Xvfb of the benchmark's own, on the first free display: only this
// program draws on it, so all of its CPU is the window's.
class TXServer
{
public:
    TXServer();
    ~TXServer();
    TXServer(const TXServer&) = delete;
    TXServer& operator=(const TXServer&) = delete;
    const std::string& Display() const { return FDisplay; }
    double Cpu() const { return FPid > 0 ? ProcessCpuOf(FPid) : 0; }
    std::uint64_t Runs() const { return FPid > 0 ? ProcessRuns(FPid) : 0; }

private:
    pid_t FPid = -1;
    std::string FDisplay;
};

} // namespace kelvalog
