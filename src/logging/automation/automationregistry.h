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
void RegisterAutomationServer(const std::string& ProgId, TServerFactory Factory);
void UnregisterAutomationServer(const std::string& ProgId);
bool IsAutomationServerRegistered(const std::string& ProgId);

// Creates a new top-level object of the server registered under progId.
// Raises EAutomationError when nothing is registered, when the server fails
// to start or hands back no object.
TDispatchRef CreateOleObject(const std::string& ProgId);

} // namespace kelvalog
