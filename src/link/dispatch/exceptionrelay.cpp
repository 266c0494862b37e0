#include "link/dispatch/exceptionrelay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cstdio>
#include <stdexcept>

namespace kelvalog {

namespace {

const QEvent::Type RelayEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TRelayEvent : public QEvent
{
public:
    explicit TRelayEvent(std::exception_ptr Error) : QEvent(RelayEventType), FError(Error) {}
    std::exception_ptr FError;
};

// Throws the carried exception from inside notify(), so that it takes the same
// road as an exception of any window event.
class TRelay : public QObject
{
public:
    bool event(QEvent* Event) override
    {
        if (Event->type() == RelayEventType)
            std::rethrow_exception(static_cast<TRelayEvent*>(Event)->FError);
        return QObject::event(Event);
    }
};

void Report(std::exception_ptr Error) noexcept
{
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "kelvalog: unhandled error: %s\n", E.what());
    } catch (...) {
        std::fprintf(stderr, "kelvalog: unhandled error\n");
    }
}

} // namespace

void PassToApplication(std::exception_ptr Error) noexcept
{
    if (!Error)
        return;
    if (!QCoreApplication::instance()) {
        Report(Error);
        return;
    }
    TRelay Relay;
    TRelayEvent Event(Error);
    try {
        QCoreApplication::sendEvent(&Relay, &Event);
    } catch (...) {
        // No application handler caught it.
        Report(std::current_exception());
    }
}

} // namespace kelvalog
