#include "logging/automation/automationregistry.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace kelvalog {

namespace {

std::string Folded(const std::string& progId)
{
    std::string folded = progId;
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

struct TRegistry
{
    std::mutex Lock;
    std::map<std::string, TServerFactory> Servers;
};

TRegistry& Registry()
{
    static TRegistry registry;
    return registry;
}

} // namespace

void RegisterAutomationServer(const std::string& progId, TServerFactory factory)
{
    auto& registry = Registry();
    std::lock_guard lock(registry.Lock);
    registry.Servers[Folded(progId)] = std::move(factory);
}

void UnregisterAutomationServer(const std::string& progId)
{
    auto& registry = Registry();
    std::lock_guard lock(registry.Lock);
    registry.Servers.erase(Folded(progId));
}

bool IsAutomationServerRegistered(const std::string& progId)
{
    auto& registry = Registry();
    std::lock_guard lock(registry.Lock);
    return registry.Servers.count(Folded(progId)) != 0;
}

TDispatchRef CreateOleObject(const std::string& progId)
{
    TServerFactory factory;
    {
        auto& registry = Registry();
        std::lock_guard lock(registry.Lock);
        const auto found = registry.Servers.find(Folded(progId));
        if (found == registry.Servers.end() || !found->second)
            throw EAutomationError("no automation server is registered as \"" + progId + '"');
        factory = found->second;
    }
    // The factory runs outside the lock: starting a server may take a while.
    TDispatchRef object;
    try {
        object = factory();
    } catch (const EAutomationError&) {
        throw;
    } catch (const std::exception& error) {
        throw EAutomationError("\"" + progId + "\" could not be started: " + error.what());
    }
    if (!object)
        throw EAutomationError("\"" + progId + "\" handed back no object");
    return object;
}

} // namespace kelvalog
