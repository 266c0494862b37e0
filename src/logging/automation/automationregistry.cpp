#include "logging/automation/automationregistry.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace kelvalog {

namespace {

std::string Folded(const std::string& ProgId)
{
    std::string Folded = ProgId;
    std::transform(Folded.begin(), Folded.end(), Folded.begin(),
                   [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
    return Folded;
}

struct TRegistry
{
    std::mutex Lock;
    std::map<std::string, TServerFactory> Servers;
};

TRegistry& Registry()
{
    static TRegistry Instance;
    return Instance;
}

} // namespace

void RegisterAutomationServer(const std::string& ProgId, TServerFactory Factory)
{
    auto& Table = Registry();
    std::lock_guard Lock(Table.Lock);
    Table.Servers[Folded(ProgId)] = std::move(Factory);
}

void UnregisterAutomationServer(const std::string& ProgId)
{
    auto& Table = Registry();
    std::lock_guard Lock(Table.Lock);
    Table.Servers.erase(Folded(ProgId));
}

bool IsAutomationServerRegistered(const std::string& ProgId)
{
    auto& Table = Registry();
    std::lock_guard Lock(Table.Lock);
    return Table.Servers.count(Folded(ProgId)) != 0;
}

TDispatchRef CreateOleObject(const std::string& ProgId)
{
    TServerFactory Factory;
    {
        auto& Table = Registry();
        std::lock_guard Lock(Table.Lock);
        const auto Found = Table.Servers.find(Folded(ProgId));
        if (Found == Table.Servers.end() || !Found->second)
            throw EAutomationError("no automation server is registered as \"" + ProgId + '"');
        Factory = Found->second;
    }
    // The factory runs outside the lock: starting a server may take a while.
    TDispatchRef Object;
    try {
        Object = Factory();
    } catch (const EAutomationError&) {
        throw;
    } catch (const std::exception& Error) {
        throw EAutomationError("\"" + ProgId + "\" could not be started: " + Error.what());
    }
    if (!Object)
        throw EAutomationError("\"" + ProgId + "\" handed back no object");
    return Object;
}

} // namespace kelvalog
