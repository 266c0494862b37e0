#pragma once

// A terminal logger beside the program: cat reading a pseudo-terminal in raw
// mode and writing what it reads to another, the terminal a user would watch.
// What it costs for the same feed on the same machine is the yardstick for
// what the window costs: a figure in percent of a core means little across
// machines, whose wake-ups differ widely in price.

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>

namespace kelvalog {

class TTerminalLogger
{
public:
    // Reads the terminal at Path, which a feed writes to.
    explicit TTerminalLogger(const std::string& Path);
    ~TTerminalLogger();
    TTerminalLogger(const TTerminalLogger&) = delete;
    TTerminalLogger& operator=(const TTerminalLogger&) = delete;

    bool Ready() const { return FPid > 0; }
    // CPU time of cat alone, in seconds; the drain of its terminal is not in it.
    double Cpu() const;
    std::uint64_t Runs() const;

private:
    pid_t FPid = -1;
    int FScreen = -1; // the master of the terminal cat writes to
    std::atomic<bool> FStop{false};
    std::thread FDrain;
};

} // namespace kelvalog
