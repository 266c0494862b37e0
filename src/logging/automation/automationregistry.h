#pragma once

#include "logging/automation/automation.h"

#include <functional>
#include <string>

namespace kelvalog {

// Starts a server's top-level object; raises when the server cannot start.
using TServerFactory = std::function<TDispatchRef()>;

// Programmatic identifiers ("Excel.Application") to the servers built into
// this program. Identifiers compare without regard to case. Registering an
// identifier again replaces its server.
void RegisterAutomationServer(const std::string& progId, TServerFactory factory);
void UnregisterAutomationServer(const std::string& progId);
bool IsAutomationServerRegistered(const std::string& progId);

// Creates a new top-level object of the server registered under progId.
// Raises EAutomationError when nothing is registered, when the server fails
// to start or hands back no object.
TDispatchRef CreateOleObject(const std::string& progId);

} // namespace kelvalog
