#pragma once

// A board on a pseudo-terminal: its far end is linked as COMn into a ports
// folder of the test's own (KELVALOG_PORTS), and the test writes the board's
// lines into it.

#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace kelvalog::test {

class TPtyBoard
{
public:
    explicit TPtyBoard(int ComNumber)
        : FLink(FPorts.path().toStdString() + "/COM" + std::to_string(ComNumber))
    {
        if (!Plug())
            return;
        setenv("KELVALOG_PORTS", FPorts.path().toLocal8Bit().constData(), 1);
        FReady = true;
    }
    ~TPtyBoard()
    {
        if (FMaster >= 0)
            close(FMaster);
    }
    TPtyBoard(const TPtyBoard&) = delete;
    TPtyBoard& operator=(const TPtyBoard&) = delete;

    bool Ready() const { return FReady; }

    // The adapter pulled out: the line hangs up and its name goes away.
    void Unplug()
    {
        unlink(FLink.c_str());
        if (FMaster >= 0)
            close(FMaster);
        FMaster = -1;
    }

    // Plugged in again: a new pseudo-terminal under the same COM name.
    bool Plug()
    {
        FMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
            return false;
        const char* Slave = ptsname(FMaster);
        return Slave && symlink(Slave, FLink.c_str()) == 0;
    }
    QString PortsFolder() const { return FPorts.path(); }

    // One board line: line feed, the text, carriage return.
    bool SendLine(const std::string& Text) { return SendRaw("\n" + Text + "\r"); }

    // Bytes as they are.
    bool SendRaw(const std::string& Framed)
    {
        std::size_t Done = 0;
        while (Done < Framed.size()) {
            const ssize_t N = write(FMaster, Framed.data() + Done, Framed.size() - Done);
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                return false;
            Done += static_cast<std::size_t>(N);
        }
        return true;
    }

    // Reads away what the far end may have sent (the program sends nothing,
    // but an echoing line discipline would).
    void Drain()
    {
        const int Flags = fcntl(FMaster, F_GETFL);
        fcntl(FMaster, F_SETFL, Flags | O_NONBLOCK);
        char Buffer[256];
        while (read(FMaster, Buffer, sizeof Buffer) > 0) {
        }
        fcntl(FMaster, F_SETFL, Flags);
    }

private:
    QTemporaryDir FPorts;
    std::string FLink;
    int FMaster = -1;
    bool FReady = false;
};

} // namespace kelvalog::test
