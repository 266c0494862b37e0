#pragma once

// CPU and memory of the benchmark's own process and of the X server it starts.

#include <string>
#include <sys/types.h>

namespace kelvalog {

// CPU time of this process, of the calling thread, and of all threads of
// another process, in seconds.
double ProcessCpu();
double ThreadCpu();
double ProcessCpuOf(pid_t Pid);

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

private:
    pid_t FPid = -1;
    std::string FDisplay;
};

} // namespace kelvalog
