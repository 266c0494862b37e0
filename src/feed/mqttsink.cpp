#include "feed/mqttsink.h"

#include "feed/feedtexts.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mosquitto.h>
#include <mutex>

namespace kelvalog {

namespace {

std::once_flag MosquittoReady;
constexpr auto AckTimeout = std::chrono::seconds(20);

std::string ConnackText(int Code)
{
    switch (Code) {
    case 4:
    case 5: // what mosquitto answers a wrong password with
        return "the broker refused the user name or password";
    default:
        return std::string("the broker refused the connection (") + mosquitto_connack_string(Code) +
               ")";
    }
}

std::string ConnectText(int Code, int System)
{
    if (Code == MOSQ_ERR_TLS)
        return "the TLS connection was refused";
    if (Code == MOSQ_ERR_ERRNO)
        return std::string("the broker cannot be reached (") + std::strerror(System) + ")";
    if (Code == MOSQ_ERR_EAI)
        return "the broker's host name is unknown";
    return std::string("the broker cannot be reached (") + mosquitto_strerror(Code) + ")";
}

} // namespace

TMqttSink::TMqttSink(TMqttSettings Settings, std::string Host)
    : FSettings(std::move(Settings)), FHost(std::move(Host))
{
    std::call_once(MosquittoReady, [] { mosquitto_lib_init(); });
}

TMqttSink::~TMqttSink()
{
    Drop();
}

void TMqttSink::Drop()
{
    if (FMosq) {
        if (FConnected)
            mosquitto_disconnect(FMosq);
        mosquitto_destroy(FMosq);
    }
    FMosq = nullptr;
    FConnected = false;
    FPending.clear();
}

void TMqttSink::OnConnect(mosquitto*, void* Self, int Code)
{
    static_cast<TMqttSink*>(Self)->FConnectCode = Code;
}

void TMqttSink::OnPublish(mosquitto*, void* Self, int Mid)
{
    static_cast<TMqttSink*>(Self)->FPending.erase(Mid);
}

void TMqttSink::OnDisconnect(mosquitto*, void* Self, int)
{
    static_cast<TMqttSink*>(Self)->FLost = true;
}

bool TMqttSink::Connect(std::string& Error)
{
    const char* Id = FSettings.ClientId.empty() ? nullptr : FSettings.ClientId.c_str();
    FMosq = mosquitto_new(Id, true, this);
    if (!FMosq) {
        Error = "the MQTT library could not start";
        return false;
    }
    mosquitto_connect_callback_set(FMosq, OnConnect);
    mosquitto_publish_callback_set(FMosq, OnPublish);
    mosquitto_disconnect_callback_set(FMosq, OnDisconnect);
    if (!FSettings.User.empty())
        mosquitto_username_pw_set(FMosq, FSettings.User.c_str(),
                                  FSettings.Password.empty() ? nullptr
                                                             : FSettings.Password.c_str());
    if (FSettings.Tls) {
        const int Code = mosquitto_tls_set(
            FMosq, FSettings.CaFile.empty() ? nullptr : FSettings.CaFile.c_str(),
            FSettings.CaFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (Code != MOSQ_ERR_SUCCESS) {
            Error = "the CA file " + FSettings.CaFile + " cannot be used";
            return false;
        }
    }
    FConnectCode = -1;
    FLost = false;
    errno = 0;
    // Not blocking: a host that drops packets must not hold up closing the feed.
    const int Code = mosquitto_connect_async(FMosq, FSettings.Host.c_str(), FSettings.Port, 30);
    if (Code != MOSQ_ERR_SUCCESS) {
        Error = ConnectText(Code, errno);
        return false;
    }
    const auto Until = std::chrono::steady_clock::now() + AckTimeout;
    while (FConnectCode < 0 && !FLost && !Stopping() && std::chrono::steady_clock::now() < Until) {
        errno = 0;
        const int Step = mosquitto_loop(FMosq, 100, 1);
        if (Step != MOSQ_ERR_SUCCESS && FConnectCode < 0) {
            Error = ConnectText(Step, errno);
            return false;
        }
    }
    if (FConnectCode != 0) {
        Error = FConnectCode < 0 ? "the broker did not answer" : ConnackText(FConnectCode);
        return false;
    }
    FConnected = true;
    return true;
}

bool TMqttSink::Loop(std::string& Error)
{
    const auto Until = std::chrono::steady_clock::now() + AckTimeout;
    while (!FPending.empty()) {
        errno = 0;
        const int Code = mosquitto_loop(FMosq, 100, 1);
        if (Code != MOSQ_ERR_SUCCESS || FLost) {
            Error = Code == MOSQ_ERR_SUCCESS ? "the broker closed the connection"
                                             : ConnectText(Code, errno);
            return false;
        }
        if (std::chrono::steady_clock::now() > Until || Stopping()) {
            Error = "the broker did not acknowledge";
            return false;
        }
    }
    return true;
}

bool TMqttSink::Deliver(std::span<const THistoryTick> Ticks, std::string& Error)
{
    if (!FMosq && !Connect(Error))
        return false;
    for (const THistoryTick& Tick : Ticks) {
        for (const TFeedChannel& Channel : FeedChannels(Tick.Board)) {
            const std::string Topic = MqttTopic(FHost, Tick.Board, Channel);
            const std::string Payload = MqttPayload(Tick, Channel);
            int Mid = 0;
            const int Code =
                mosquitto_publish(FMosq, &Mid, Topic.c_str(), static_cast<int>(Payload.size()),
                                  Payload.data(), 1, true);
            if (Code != MOSQ_ERR_SUCCESS) {
                Error = ConnectText(Code, errno);
                return false;
            }
            FPending.insert(Mid);
        }
        // Keeps the broker's acknowledgements flowing while a long batch is queued.
        if (FPending.size() > 64) {
            errno = 0;
            const int Code = mosquitto_loop(FMosq, 0, 1);
            if (Code != MOSQ_ERR_SUCCESS || FLost) {
                Error = ConnectText(Code, errno);
                return false;
            }
        }
    }
    return Loop(Error);
}

} // namespace kelvalog
