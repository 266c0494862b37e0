// Feeds arbitrary byte streams, in arbitrary pieces and with collection
// time-outs in between, to the packet framer set up for board lines. What
// must hold: no undefined behaviour, and every line delivered stood in the
// stream between a line feed and a carriage return, in stream order.
#include "link/dispatch/dispatcher.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kelvalog;

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_framer: %s\n", what);
        std::abort();
    }
}

constexpr int TimerHandle = 8;

// A port without a device: bytes arrive as data notifications on this thread.
class TFeedPort : public TComPort
{
public:
    TFeedPort() { SetComNumber(1); }
    ~TFeedPort() override { SetOpen(false); }

    void Feed(const std::string& bytes)
    {
        Pending = bytes;
        if (Handler) {
            Handler(msg::TriggerAvail, static_cast<unsigned>(bytes.size()), 0);
        }
        Pending.clear();
    }
    void ExpireTimer()
    {
        if (Handler && TimerActive) {
            TimerActive = false;
            Handler(msg::TriggerTimer, TimerHandle, 0);
        }
    }

    int AddTimerTrigger() override { return TimerHandle; }
    void SetTimerTrigger(int, std::int32_t, bool active) override { TimerActive = active; }
    void RemoveTrigger(int) override { TimerActive = false; }
    void RegisterEventHandler(const void*, TDispatchHandler handler) override
    {
        Handler = std::move(handler);
    }
    void RemoveEventHandler(const void*) override { Handler = {}; }
    int CharReady() override { return static_cast<int>(Pending.size()); }
    void GetBlock(char* dest, int count) override
    {
        Check(count >= 0 && static_cast<std::size_t>(count) <= Pending.size(),
              "a block read beyond the bytes offered");
        std::memcpy(dest, Pending.data(), static_cast<std::size_t>(count));
    }
    void HandOff(const std::function<void()>& call) override { call(); }

protected:
    void OpenDevice() override {}
    void CloseDevice() override {}

private:
    std::string Pending;
    TDispatchHandler Handler;
    bool TimerActive = false;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> lines;
    std::string stream;
    {
        TFeedPort port;
        TDataPacket packet;
        packet.SetComPort(&port);
        packet.SetStartString("\n");
        packet.SetEndString("\r");
        packet.SetEndCond({TPacketEndCond::ecString});
        packet.SetIncludeStrings(false);
        packet.SetTimeOut(1000);
        packet.OnStringPacket = [&lines](QObject*, const std::string& line) {
            lines.push_back(line);
        };
        packet.OnTimeout = [&packet](QObject*) { packet.SetEnabled(true); };
        port.SetOpen(true);
        packet.SetEnabled(true);
        // Each piece: a control byte (length in its low 6 bits, a time-out
        // before it when its top bit is set), then that many stream bytes.
        std::size_t at = 0;
        while (at < size) {
            const std::uint8_t control = data[at++];
            const std::size_t length = std::min<std::size_t>(control & 0x3F, size - at);
            if (control & 0x80) {
                port.ExpireTimer();
            }
            const std::string piece(reinterpret_cast<const char*>(data) + at, length);
            at += length;
            stream += piece;
            port.Feed(piece);
        }
        packet.SetEnabled(false);
    }
    QCoreApplication::sendPostedEvents(nullptr, 0);
    std::size_t from = 0;
    for (const std::string& line : lines) {
        Check(line.find('\r') == std::string::npos, "an end string inside a line");
        const auto found = stream.find("\n" + line + "\r", from);
        Check(found != std::string::npos, "a line that was not in the stream, or out of order");
        from = found + line.size() + 2;
    }
    return 0;
}
