#pragma once

namespace kelvalog {

// What an automation server is busy with while the window waits for it.
enum class TServerActivity {
    Starting,
    Closing,
};

// How the window stays alive while a server's slow step (starting, quitting)
// runs on a thread of its own: Begin once, Pump every few milliseconds until
// the step has ended, End once. Pump handles the window's pending events but
// not the user's input; it must not start another call to the server.
class IServerWait
{
public:
    virtual ~IServerWait() = default;
    virtual void Begin(TServerActivity Activity) = 0;
    virtual void Pump() = 0;
    virtual void End() = 0;
};

} // namespace kelvalog
