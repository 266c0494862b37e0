#include "feed/influxsink.h"

#include "feed/feedtexts.h"

#include <cstring>
#include <curl/curl.h>
#include <mutex>

namespace kelvalog {

namespace {

std::once_flag CurlReady;

std::size_t KeepBody(char* Data, std::size_t Size, std::size_t Count, void* Body)
{
    auto& Text = *static_cast<std::string*>(Body);
    // Only the start of an error message is ever shown.
    if (Text.size() < 512)
        Text.append(Data, std::min<std::size_t>(Size * Count, 512 - Text.size()));
    return Size * Count;
}

int Progress(void* Sink, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const TFeedSink*>(Sink)->Stopping() ? 1 : 0;
}

std::string Escape(const std::string& Text)
{
    std::string Out;
    for (const unsigned char C : Text) {
        if (std::isalnum(C) || C == '-' || C == '_' || C == '.' || C == '~') {
            Out += static_cast<char>(C);
        } else {
            static const char Hex[] = "0123456789ABCDEF";
            Out += '%';
            Out += Hex[C >> 4];
            Out += Hex[C & 15];
        }
    }
    return Out;
}

// The database's own word from {"error":"..."}.
std::string ErrorOf(const std::string& Body)
{
    const auto At = Body.find("\"error\":\"");
    if (At == std::string::npos)
        return Body.substr(0, 120);
    std::string Out;
    for (auto I = At + 9; I < Body.size() && Body[I] != '"'; ++I) {
        if (Body[I] == '\\' && I + 1 < Body.size())
            ++I;
        Out += Body[I];
    }
    return Out;
}

// Stable words only: the same fault gives the same status text at every retry.
std::string TransferError(CURLcode Code, long SystemError)
{
    const std::string Why =
        SystemError != 0 && (Code == CURLE_COULDNT_CONNECT || Code == CURLE_RECV_ERROR ||
                             Code == CURLE_SEND_ERROR)
            ? std::strerror(static_cast<int>(SystemError))
            : curl_easy_strerror(Code);
    switch (Code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
        return "the database cannot be reached (" + Why + ")";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
        return "the TLS connection was refused (" + Why + ")";
    default:
        return "the write failed (" + Why + ")";
    }
}

} // namespace

struct TInfluxSink::TCurl
{
    CURL* Handle = curl_easy_init();
    curl_slist* Headers = nullptr;
    ~TCurl()
    {
        curl_slist_free_all(Headers);
        curl_easy_cleanup(Handle);
    }
};

TInfluxSink::TInfluxSink(TInfluxSettings Settings, std::string Host)
    : FSettings(std::move(Settings)), FHost(std::move(Host))
{
    std::call_once(CurlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::string Base = FSettings.Url;
    while (!Base.empty() && Base.back() == '/')
        Base.pop_back();
    FWriteUrl = Base + "/write?db=" + Escape(FSettings.Database) + "&precision=ns";
}

TInfluxSink::~TInfluxSink() = default;

void TInfluxSink::Drop()
{
    FCurl.reset();
}

bool TInfluxSink::Deliver(std::span<const THistoryTick> Ticks, std::string& Error)
{
    std::string Body;
    Body.reserve(Ticks.size() * 8 * 96);
    for (const THistoryTick& Tick : Ticks)
        AppendLineProtocol(Body, FHost, Tick);
    if (Body.empty())
        return true; // no board: nothing to say
    if (!FCurl) {
        FCurl = std::make_unique<TCurl>();
        if (!FCurl->Handle) {
            Error = "the HTTP library could not start";
            return false;
        }
        FCurl->Headers = curl_slist_append(nullptr, "Content-Type: text/plain; charset=utf-8");
        if (!FSettings.Token.empty())
            FCurl->Headers = curl_slist_append(FCurl->Headers,
                                               ("Authorization: Token " + FSettings.Token).c_str());
        CURL* H = FCurl->Handle;
        curl_easy_setopt(H, CURLOPT_URL, FWriteUrl.c_str());
        curl_easy_setopt(H, CURLOPT_HTTPHEADER, FCurl->Headers);
        curl_easy_setopt(H, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(H, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
        curl_easy_setopt(H, CURLOPT_TIMEOUT_MS, 30000L);
        curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, KeepBody);
        curl_easy_setopt(H, CURLOPT_XFERINFOFUNCTION, Progress);
        curl_easy_setopt(H, CURLOPT_XFERINFODATA, static_cast<TFeedSink*>(this));
        curl_easy_setopt(H, CURLOPT_NOPROGRESS, 0L);
    }
    CURL* H = FCurl->Handle;
    std::string Reply;
    curl_easy_setopt(H, CURLOPT_WRITEDATA, &Reply);
    curl_easy_setopt(H, CURLOPT_POSTFIELDS, Body.data());
    curl_easy_setopt(H, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
    const CURLcode Code = curl_easy_perform(H);
    if (Code != CURLE_OK) {
        long SystemError = 0;
        curl_easy_getinfo(H, CURLINFO_OS_ERRNO, &SystemError);
        Error = TransferError(Code, SystemError);
        return false;
    }
    long Status = 0;
    curl_easy_getinfo(H, CURLINFO_RESPONSE_CODE, &Status);
    if (Status == 204)
        return true;
    const std::string Why = ErrorOf(Reply);
    if (Status == 401 || Status == 403)
        Error = "the database refused the token (" + Why + ")";
    else if (Status == 404)
        Error = "unknown database \"" + FSettings.Database + "\"";
    else
        Error = "the database answered " + std::to_string(Status) + " (" + Why + ")";
    return false;
}

} // namespace kelvalog
