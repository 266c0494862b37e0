#pragma once

#include <exception>

namespace kelvalog {

// Hands an exception that escaped an event handler to the application's
// handler: it is rethrown from inside QCoreApplication::notify on the window
// thread, where the application object's notify() override catches it. Without
// such an override it is reported on stderr and dropped. Window thread only.
void PassToApplication(std::exception_ptr Error) noexcept;

// Runs Handler and passes whatever it throws to the application's handler.
template <class F> void RunGuarded(F&& Handler) noexcept
{
    try {
        Handler();
    } catch (...) {
        PassToApplication(std::current_exception());
    }
}

} // namespace kelvalog
