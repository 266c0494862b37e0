// The feeds against mosquitto and influxd started on free loopback ports in
// temporary folders: ticks arrive in both, value for value against the
// history; both servers go away for a while and the feeding program is
// killed with kill -9 in the middle of it, and still every tick arrives once
// in the database and at least once, first seen in order, on the broker. A
// wrong password, a wrong CA, an unknown database and an unreachable host
// each give one status text.

#include "feed/feedcursor.h"
#include "feed/feedtexts.h"
#include "feed/feedworker.h"
#include "feed/influxsink.h"
#include "feed/mqttsink.h"
#include "history/historystore.h"
#include "history/historywriter.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kelvalog;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t Start = 1'733'666'400'000'000; // 8 December 2024, 14:00 UTC
const char* const Host = "labpc";
std::string Self;

int FreePort()
{
    const int S = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A);
    socklen_t L = sizeof A;
    ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &L);
    ::close(S);
    return ntohs(A.sin_port);
}

bool PortOpen(int Port)
{
    const int S = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_port = htons(static_cast<std::uint16_t>(Port));
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool Open = ::connect(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0;
    ::close(S);
    return Open;
}

pid_t Spawn(const std::vector<std::string>& Args, const std::string& Out = "/dev/null")
{
    const pid_t Pid = ::fork();
    if (Pid == 0) {
        std::freopen(Out.c_str(), "a", stdout);
        std::freopen(Out.c_str(), "a", stderr);
        std::vector<char*> Argv;
        for (const auto& A : Args)
            Argv.push_back(const_cast<char*>(A.c_str()));
        Argv.push_back(nullptr);
        ::execvp(Argv[0], Argv.data());
        ::_exit(127);
    }
    return Pid;
}

void Stop(pid_t& Pid, int Signal = SIGTERM)
{
    if (Pid <= 0)
        return;
    ::kill(Pid, Signal);
    ::waitpid(Pid, nullptr, 0);
    Pid = -1;
}

std::string Run(const std::string& Command)
{
    std::string Out;
    if (FILE* P = ::popen(Command.c_str(), "r")) {
        char Buffer[4096];
        for (std::size_t N; (N = std::fread(Buffer, 1, sizeof Buffer, P)) > 0;)
            Out.append(Buffer, N);
        ::pclose(P);
    }
    return Out;
}

template <typename F> bool WaitUntil(F Done, std::chrono::seconds Limit = 60s)
{
    const auto Until = std::chrono::steady_clock::now() + Limit;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > Until)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

bool Have(const char* Program)
{
    return std::system((std::string("command -v ") + Program + " >/dev/null").c_str()) == 0;
}

// The servers and the folder they live in.
struct TLab
{
    fs::path Dir;
    int MqttPort = FreePort();
    int TlsPort = FreePort();
    int InfluxPort = FreePort();
    int InfluxRpc = FreePort();
    pid_t Broker = -1, Database = -1, Subscriber = -1;

    TLab()
    {
        Dir = fs::temp_directory_path() / ("kelvalog-feed-" + std::to_string(::getpid()));
        fs::create_directories(Dir / "mqtt");
        std::ofstream(Dir / "password") << "secret\n";
        std::ofstream(Dir / "wrong") << "guess\n";
        Run("mosquitto_passwd -b -c " + (Dir / "mqtt/passwd").string() + " lab secret");
        // A broker certificate and a CA that did not sign it.
        const std::string D = Dir.string();
        Run("cd " + D +
            " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out "
            "cert.pem -days 2 -subj /CN=127.0.0.1 2>/dev/null && openssl req -x509 -newkey "
            "rsa:2048 -nodes -keyout other.key -out other.pem -days 2 -subj /CN=other 2>/dev/null "
            "&& chmod 644 key.pem");
        // Run as root, mosquitto becomes the user mosquitto: it must still write here.
        fs::permissions(Dir / "mqtt", fs::perms::all);
        std::ofstream(Dir / "mqtt/mosquitto.conf")
            << "per_listener_settings false\nallow_anonymous false\npassword_file " << D
            << "/mqtt/passwd\npersistence true\npersistence_location " << D
            << "/mqtt/\nautosave_interval 1\nmax_queued_messages 0\nlistener " << MqttPort
            << " 127.0.0.1\nlistener " << TlsPort << " 127.0.0.1\ncertfile " << D
            << "/cert.pem\nkeyfile " << D << "/key.pem\n";
        std::ofstream(Dir / "influxdb.conf")
            << "reporting-disabled = true\nbind-address = \"127.0.0.1:" << InfluxRpc
            << "\"\n[meta]\n  dir = \"" << D << "/influx/meta\"\n[data]\n  dir = \"" << D
            << "/influx/data\"\n  wal-dir = \"" << D
            << "/influx/wal\"\n  query-log-enabled = false\n[monitor]\n  store-enabled = false\n"
               "[http]\n  bind-address = \"127.0.0.1:"
            << InfluxPort << "\"\n  log-enabled = false\n";
    }
    ~TLab()
    {
        Stop(Subscriber);
        Stop(Broker);
        Stop(Database);
        fs::remove_all(Dir);
    }
    bool StartBroker()
    {
        Broker = Spawn({"mosquitto", "-c", (Dir / "mqtt/mosquitto.conf").string()},
                       (Dir / "broker.log").string());
        return WaitUntil([this] { return PortOpen(MqttPort); }, 20s);
    }
    bool StartDatabase()
    {
        Database = Spawn({"influxd", "-config", (Dir / "influxdb.conf").string()},
                         (Dir / "influxd.log").string());
        return WaitUntil([this] { return PortOpen(InfluxPort); }, 30s);
    }
    std::string Query(const std::string& Q)
    {
        return Run("influx -host 127.0.0.1 -port " + std::to_string(InfluxPort) +
                   " -database kelvalog -format csv -execute \"" + Q + "\" 2>&1");
    }
    // A durable subscription: what the broker gets while it is away from
    // us is kept for it.
    void Subscribe()
    {
        Subscriber = Spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(MqttPort),
                            "-u", "lab", "-P", "secret", "-i", "watcher", "-c", "-q", "1", "-t",
                            "kelvalog/#", "-F", "%t %p"},
                           (Dir / "messages.txt").string());
    }
    TMqttSettings Mqtt() const
    {
        TMqttSettings S;
        S.Enabled = true;
        S.Port = MqttPort;
        S.User = "lab";
        S.Password = "secret";
        S.ClientId = "kelvalog-test";
        return S;
    }
    TInfluxSettings Influx() const
    {
        TInfluxSettings S;
        S.Enabled = true;
        S.Url = "http://127.0.0.1:" + std::to_string(InfluxPort);
        return S;
    }
};

TFeedPace QuickPace()
{
    TFeedPace P;
    P.Poll = 100ms;
    P.FirstRetry = 200ms;
    P.LastRetry = 1000ms;
    return P;
}

THistoryTick TickOf(int N)
{
    THistoryTick T;
    T.Time = Start + std::int64_t(N) * 1'000'000;
    T.Board = 0;
    T.Filter = 1;
    T.Valid = N % 10 == 9 ? 0x1e : 0x1f; // a tick without pressure now and then
    for (int C = 0; C < 5; ++C) {
        T.Sample[C] = 20.1f + float(N % 17) * 0.37f + float(C);
        T.Filtered[C] = T.Sample[C] - 0.05f;
    }
    return T;
}

// The feeding program: writes ticks on from the newest stored one, one per
// 40 ms, up to Last, and feeds both servers until killed.
int RunChild(const std::string& Dir, int Last, int MqttPort, int InfluxPort)
{
    const std::string History = Dir + "/history.sqlite";
    int N = 0;
    {
        THistoryStore Store(History, THistoryStore::TMode::Write);
        const auto Newest = Store.Buckets(0, 1);
        if (!Newest.empty())
            N = int((Newest.back().Last * 1000 - Start) / 1'000'000) + 1;
    }
    // Both feeds met before the first tick: they start with it.
    TFeedCursor(History, "mqtt");
    TFeedCursor(History, "influx");
    THistoryWriter Writer(History, 64u << 20);
    TMqttSettings M;
    M.Port = MqttPort;
    M.User = "lab";
    M.Password = "secret";
    M.ClientId = "kelvalog-test";
    TInfluxSettings I;
    I.Url = "http://127.0.0.1:" + std::to_string(InfluxPort);
    TFeedWorker Mqtt(History, "mqtt", std::make_unique<TMqttSink>(M, Host), QuickPace());
    TFeedWorker Influx(History, "influx", std::make_unique<TInfluxSink>(I, Host), QuickPace());
    for (;; ++N) {
        if (N <= Last)
            Writer.Push(TickOf(N));
        std::this_thread::sleep_for(40ms);
    }
}

std::vector<THistoryTick> Stored(const fs::path& Dir)
{
    THistoryStore Store((Dir / "history.sqlite").string(), THistoryStore::TMode::Read);
    std::vector<THistoryTick> Ticks;
    Store.ReadTicks(0, std::numeric_limits<std::int64_t>::max(),
                    [&Ticks](const THistoryTick& T, std::int64_t) {
                        Ticks.push_back(T);
                        return true;
                    });
    return Ticks;
}

float Number(std::string_view Text)
{
    float V = 0;
    std::from_chars(Text.data(), Text.data() + Text.size(), V);
    return V;
}

} // namespace

TEST(FeedServers, EveryTickArrivesThroughOutagesAndAKill)
{
    TLab Lab;
    ASSERT_TRUE(Lab.StartBroker());
    ASSERT_TRUE(Lab.StartDatabase());
    Lab.Query("CREATE DATABASE kelvalog");
    Lab.Subscribe();
    const std::string Dir = Lab.Dir.string();
    const auto Args = [&](int Last) {
        return std::vector<std::string>{Self,
                                        "--child",
                                        Dir,
                                        std::to_string(Last),
                                        std::to_string(Lab.MqttPort),
                                        std::to_string(Lab.InfluxPort)};
    };
    auto InInflux = [&Lab] {
        const std::string Out = Lab.Query("SELECT count(valid) FROM kelvalog WHERE channel='T1'");
        const auto Comma = Out.rfind(',');
        return Comma == std::string::npos ? 0 : std::atoi(Out.c_str() + Comma + 1);
    };
    pid_t Feeder = Spawn(Args(99), Dir + "/child.log");
    ASSERT_TRUE(WaitUntil([&] { return InInflux() >= 20; }));
    // Both go away; the feeder is killed in the middle of it and started again.
    Stop(Lab.Broker);
    Stop(Lab.Database);
    std::this_thread::sleep_for(4s);
    Stop(Feeder, SIGKILL);
    Feeder = Spawn(Args(149), Dir + "/child.log");
    std::this_thread::sleep_for(6s);
    ASSERT_TRUE(Lab.StartBroker());
    ASSERT_TRUE(Lab.StartDatabase());
    ASSERT_TRUE(WaitUntil([&] { return InInflux() >= 149; }, 120s));
    const std::string LastTime = IsoTimeUtc(TickOf(149).Time);
    WaitUntil([&] {
        std::ifstream Seen(Lab.Dir / "messages.txt");
        std::string All((std::istreambuf_iterator<char>(Seen)), std::istreambuf_iterator<char>());
        return All.find(LastTime) != std::string::npos;
    });
    std::this_thread::sleep_for(500ms);
    Stop(Feeder, SIGKILL);

    const auto Ticks = Stored(Lab.Dir);
    ASSERT_GE(Ticks.size(), 148u); // a kill loses at most the tick being written
    // The database: each tick once, value for value.
    const std::string Rows =
        Lab.Query("SELECT sampled, filtered, valid FROM kelvalog WHERE channel='Pressure'");
    std::istringstream In(Rows);
    std::string Line;
    std::getline(In, Line); // header
    std::size_t I = 0;
    while (std::getline(In, Line) && I <= Ticks.size()) {
        // name,time,sampled,filtered,valid
        std::vector<std::string> Cells;
        std::stringstream Split(Line);
        for (std::string Cell; std::getline(Split, Cell, ',');)
            Cells.push_back(Cell);
        ASSERT_EQ(Cells.size(), 5u) << Line;
        ASSERT_LT(I, Ticks.size());
        const THistoryTick& T = Ticks[I++];
        EXPECT_EQ(std::stoll(Cells[1]), T.Time * 1000);
        EXPECT_EQ(Cells[4], T.IsValid(0) ? "true" : "false");
        if (T.IsValid(0)) {
            EXPECT_EQ(Number(Cells[2]), T.Sample[0]);
            EXPECT_EQ(Number(Cells[3]), T.Filtered[0]);
        }
    }
    EXPECT_EQ(I, Ticks.size());

    // The broker: every tick at least once, first seen in order.
    Stop(Lab.Subscriber);
    std::ifstream Messages(Lab.Dir / "messages.txt");
    std::map<std::string, std::size_t> First;
    std::vector<std::string> Order;
    const std::string Topic = std::string("kelvalog/") + Host + "/5V/Tobj ";
    while (std::getline(Messages, Line)) {
        if (Line.rfind(Topic, 0) != 0)
            continue;
        const std::string Time = Line.substr(Line.find("\"time\":\"") + 8, 27);
        if (First.emplace(Time, Order.size()).second)
            Order.push_back(Line);
    }
    for (const THistoryTick& T : Ticks)
        EXPECT_TRUE(First.count(IsoTimeUtc(T.Time))) << "not on the broker: " << IsoTimeUtc(T.Time);
    ASSERT_EQ(Order.size(), Ticks.size());
    for (std::size_t K = 0; K < Ticks.size(); ++K) {
        EXPECT_NE(Order[K].find(IsoTimeUtc(Ticks[K].Time)), std::string::npos) << Order[K];
        std::string Sampled = "\"sampled\":";
        const auto At = Order[K].find(Sampled) + Sampled.size();
        EXPECT_EQ(Number(std::string_view(Order[K]).substr(At)), Ticks[K].Sample[1]);
    }
}

TEST(FeedServers, EachFaultShowsOneText)
{
    TLab Lab;
    ASSERT_TRUE(Lab.StartBroker());
    ASSERT_TRUE(Lab.StartDatabase());
    const fs::path History = Lab.Dir / "history.sqlite";
    {
        THistoryStore Store(History.string(), THistoryStore::TMode::Write);
    }
    const auto Show = [&](const char* Name, std::unique_ptr<TFeedSink> Sink) {
        std::vector<std::string> Texts;
        {
            TFeedCursor Register(History.string(), Name); // before the tick to deliver
        }
        {
            TFeedWorker Feed(History.string(), Name, std::move(Sink), QuickPace());
            {
                THistoryStore Store(History.string(), THistoryStore::TMode::Write);
                const THistoryTick T = TickOf(int(Store.Rows(0)));
                Store.Append({&T, 1});
            }
            // Every text it showed, each once.
            const auto Look = [&] {
                const std::string Text = FeedStatusText(Name, Feed.Status());
                if (!Text.empty() && (Texts.empty() || Texts.back() != Text))
                    Texts.push_back(Text);
            };
            WaitUntil(
                [&] {
                    Look();
                    return !Texts.empty();
                },
                30s);
            for (int I = 0; I < 25; ++I) { // several retries: still the one text
                std::this_thread::sleep_for(100ms);
                Look();
            }
            EXPECT_EQ(Feed.Status().Delivered, 0u);
        }
        return Texts;
    };
    TMqttSettings Wrong = Lab.Mqtt();
    Wrong.Password = "guess";
    TMqttSettings BadCa = Lab.Mqtt();
    BadCa.Port = Lab.TlsPort;
    BadCa.Tls = true;
    BadCa.CaFile = (Lab.Dir / "other.pem").string();
    TMqttSettings Away = Lab.Mqtt();
    Away.Port = FreePort();
    TInfluxSettings NoDb = Lab.Influx();
    NoDb.Database = "nosuch";
    TInfluxSettings Gone = Lab.Influx();
    Gone.Url = "http://127.0.0.1:" + std::to_string(FreePort());
    const std::vector<std::pair<std::vector<std::string>, std::string>> Cases = {
        {Show("MQTT", std::make_unique<TMqttSink>(Wrong, Host)),
         "MQTT: the broker refused the user name or password; trying again"},
        {Show("MQTT", std::make_unique<TMqttSink>(BadCa, Host)),
         "MQTT: the TLS connection was refused; trying again"},
        {Show("MQTT", std::make_unique<TMqttSink>(Away, Host)),
         "MQTT: the broker cannot be reached (Connection refused); trying again"},
        {Show("Influx", std::make_unique<TInfluxSink>(NoDb, Host)),
         "Influx: unknown database \"nosuch\"; trying again"},
    };
    for (const auto& [Texts, Want] : Cases)
        EXPECT_EQ(Texts, std::vector<std::string>{Want});
    EXPECT_EQ(Show("Influx", std::make_unique<TInfluxSink>(Gone, Host)),
              std::vector<std::string>{
                  "Influx: the database cannot be reached (Connection refused); trying again"});
}

int main(int Argc, char** Argv)
{
    Self = fs::canonical("/proc/self/exe").string();
    if (Argc == 6 && std::string(Argv[1]) == "--child")
        return RunChild(Argv[2], std::atoi(Argv[3]), std::atoi(Argv[4]), std::atoi(Argv[5]));
    if (!Have("mosquitto") || !Have("influxd") || !Have("influx") || !Have("mosquitto_sub") ||
        !Have("openssl")) {
        std::fprintf(stderr, "\n*** SKIPPED: the feed tests need mosquitto, mosquitto-clients, "
                             "influxdb, influxdb-client and openssl ***\n\n");
        return 0;
    }
    ::signal(SIGPIPE, SIG_IGN);
    testing::InitGoogleTest(&Argc, Argv);
    return RUN_ALL_TESTS();
}
