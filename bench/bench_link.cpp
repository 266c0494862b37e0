// Throughput, notification latency and idle cost of the port dispatcher over a
// pseudo-terminal. A small timed program: prints its figures and exits.
#include "link/dispatch/dispatcher.h"
#include "link/ui/guibridge.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace kelvalog;
using Clock = std::chrono::steady_clock;

namespace {

struct TPty
{
    int Master = -1;
    std::string Path;
    TPty()
    {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(Master);
        ::unlockpt(Master);
        char Name[128] = {};
        ::ptsname_r(Master, Name, sizeof Name);
        Path = Name;
    }
    ~TPty() { ::close(Master); }
};

double CpuMs()
{
    rusage U{};
    ::getrusage(RUSAGE_SELF, &U);
    return (U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1e3 +
           (U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e3;
}

int Open(TBaseDispatcher& D, const TPty& Pty)
{
    const int Result = D.OpenDevice(Pty.Path, 9600, 0, 8, 1, 4096, 4096, TLineOptions{});
    D.SetDataAvailableThreshold(1);
    return Result;
}

double Percentile(std::vector<double> V, double P)
{
    std::sort(V.begin(), V.end());
    const std::size_t I =
        std::min(V.size() - 1, static_cast<std::size_t>(P * (V.size() - 1) + 0.5));
    return V[I];
}

void Throughput()
{
    TPty Pty;
    TSerialDispatcher D(nullptr);
    std::atomic<std::size_t> Received{0};
    D.RegisterProcHandler([&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg != msg::TriggerAvail)
            return;
        static thread_local std::vector<char> Buffer(8192);
        if (D.GetBlock(Buffer.data(), Count) > 0)
            Received += Count;
    });
    if (Open(D, Pty) != 0) {
        std::printf("throughput: cannot open %s\n", Pty.Path.c_str());
        return;
    }
    const std::size_t Total = 16u << 20;
    const std::string Chunk(4096, 'q');
    const auto Start = Clock::now();
    std::thread Writer([&] {
        for (std::size_t Sent = 0; Sent < Total; Sent += Chunk.size())
            if (::write(Pty.Master, Chunk.data(), Chunk.size()) < 0)
                return;
    });
    while (Received.load() < Total && Clock::now() - Start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double Seconds = std::chrono::duration<double>(Clock::now() - Start).count();
    Writer.join();
    std::printf("throughput: %zu bytes in %.3f s = %.2f MB/s (to a data-available handler)\n",
                Received.load(), Seconds, Received.load() / Seconds / 1e6);
}

// Latency from a write on the far side to the data-available notification:
// on the dispatch thread, and delivered to a window handler on the GUI thread.
void Latency(bool OnGuiThread)
{
    TPty Pty;
    TSerialDispatcher D;
    std::atomic<long long> NotifiedAt{0};
    auto Handler = [&](std::uint32_t Msg, std::uint32_t Count, std::uint32_t) {
        if (Msg != msg::TriggerAvail)
            return;
        char Buffer[64];
        D.GetBlock(Buffer, std::min<std::size_t>(Count, sizeof Buffer));
        NotifiedAt = Clock::now().time_since_epoch().count();
    };
    if (OnGuiThread) {
        D.SetPortHandlerInstalled(true);
        D.RegisterWindowHandler(Handler);
    } else {
        D.RegisterProcHandler(Handler);
    }
    if (Open(D, Pty) != 0)
        return;
    std::vector<double> Ms;
    for (int I = 0; I < 400; ++I) {
        NotifiedAt = 0;
        const auto Sent = Clock::now();
        if (::write(Pty.Master, "x", 1) != 1)
            break;
        while (NotifiedAt.load() == 0 && Clock::now() - Sent < std::chrono::seconds(2)) {
            if (OnGuiThread)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const auto At = Clock::time_point(Clock::duration(NotifiedAt.load()));
        Ms.push_back(std::chrono::duration<double, std::milli>(At - Sent).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    std::printf("latency (%s): median %.3f ms, p99 %.3f ms, max %.3f ms over %zu writes\n",
                OnGuiThread ? "window handler on the GUI thread" : "handler on the dispatch thread",
                Percentile(Ms, 0.5), Percentile(Ms, 0.99), Percentile(Ms, 1.0), Ms.size());
}

void IdleCpu()
{
    TPty Pty;
    TSerialDispatcher D(nullptr);
    if (Open(D, Pty) != 0)
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double Before = CpuMs();
    const auto Start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double Used = CpuMs() - Before;
    const double Seconds = std::chrono::duration<double>(Clock::now() - Start).count();
    std::printf("idle: the four worker threads used %.2f ms CPU per second = %.3f %% of one core\n",
                Used / Seconds, Used / Seconds / 10.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    TGuiBridge Bridge;
    Throughput();
    Latency(false);
    Latency(true);
    IdleCpu();
    return 0;
}
