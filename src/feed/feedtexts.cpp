#include "feed/feedtexts.h"

#include <algorithm>
#include <charconv>

namespace kelvalog {

namespace {

void AppendInt(std::string& To, long long Value, int Digits = 0)
{
    char Buffer[24];
    const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    (void)Error;
    for (auto N = End - Buffer; N < Digits; ++N)
        To += '0';
    To.append(Buffer, End);
}

void AppendFloat(std::string& To, float Value)
{
    char Buffer[32];
    const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    (void)Error;
    To.append(Buffer, End);
}

// Tag values escape commas, spaces and equals signs.
void AppendTag(std::string& To, std::string_view Value)
{
    for (const char C : Value) {
        if (C == ',' || C == ' ' || C == '=')
            To += '\\';
        To += C;
    }
}

// Host names reach topics: levels must not hold wildcards or separators.
std::string TopicLevel(std::string_view Value)
{
    std::string Out(Value);
    for (char& C : Out)
        if (C == '/' || C == '+' || C == '#' || C == ' ')
            C = '_';
    return Out.empty() ? "_" : Out;
}

bool Finite(float V)
{
    return V == V && V - V == 0.0f;
}

} // namespace

const char* FeedBoardName(int Board)
{
    return Board == 0 ? "5V" : Board == 1 ? "3.3V" : "none";
}

std::vector<TFeedChannel> FeedChannels(int Board)
{
    std::vector<TFeedChannel> Channels;
    for (const TBoardChannel& Channel : BoardChannels(Board)) {
        std::string Name = Channel.Name;
        std::replace(Name.begin(), Name.end(), ' ', '_');
        Channels.push_back({Channel.Index, std::move(Name), Channel.Unit});
    }
    return Channels;
}

void AppendLineProtocol(std::string& To, std::string_view Host, const THistoryTick& Tick)
{
    for (const TFeedChannel& Channel : FeedChannels(Tick.Board)) {
        To += "kelvalog,host=";
        AppendTag(To, Host.empty() ? std::string_view("unknown") : Host);
        To += ",board=";
        AppendTag(To, FeedBoardName(Tick.Board));
        To += ",channel=";
        AppendTag(To, Channel.Name);
        To += ' ';
        const float S = Tick.Sample[Channel.Index];
        const float F = Tick.Filtered[Channel.Index];
        // A field must be a number: a channel without a reading sends its flag only.
        if (Tick.IsValid(Channel.Index) && Finite(S) && Finite(F)) {
            To += "sampled=";
            AppendFloat(To, S);
            To += ",filtered=";
            AppendFloat(To, F);
            To += ",valid=true ";
        } else {
            To += "valid=false ";
        }
        AppendInt(To, Tick.Time * 1000);
        To += '\n';
    }
}

std::string MqttTopic(std::string_view Host, int Board, const TFeedChannel& Channel)
{
    return "kelvalog/" + TopicLevel(Host) + '/' + FeedBoardName(Board) + '/' + Channel.Name;
}

std::string MqttPayload(const THistoryTick& Tick, const TFeedChannel& Channel)
{
    const bool Valid = Tick.IsValid(Channel.Index) && Finite(Tick.Sample[Channel.Index]) &&
                       Finite(Tick.Filtered[Channel.Index]);
    std::string To = "{\"time\":\"" + IsoTimeUtc(Tick.Time) + "\",\"sampled\":";
    if (Valid)
        AppendFloat(To, Tick.Sample[Channel.Index]);
    else
        To += "null";
    To += ",\"filtered\":";
    if (Valid)
        AppendFloat(To, Tick.Filtered[Channel.Index]);
    else
        To += "null";
    To += ",\"unit\":\"";
    To += Channel.Unit;
    To += "\",\"valid\":";
    To += Valid ? "true" : "false";
    To += '}';
    return To;
}

} // namespace kelvalog
