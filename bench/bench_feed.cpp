// The live feeds' cost: CPU per tick at 1 tick/s, and the catch-up of a day
// of 1-s backlog (CPU per tick and ticks per second), against a mosquitto
// and an influxd it starts on free loopback ports. CPU is this process's
// (the feed threads), not the servers'. Run it from a folder on the disk.
// Options: --live SECONDS (default 30).

#include "feed/feedcursor.h"
#include "feed/feedworker.h"
#include "feed/influxsink.h"
#include "feed/mqttsink.h"
#include "history/historystore.h"
#include "history/historywriter.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kelvalog;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t T0 = 1'767'225'600'000'000;
constexpr int Day = 24 * 3600;

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

pid_t Spawn(std::vector<std::string> Args, const std::string& Log)
{
    const pid_t Pid = ::fork();
    if (Pid == 0) {
        std::freopen(Log.c_str(), "a", stdout);
        std::freopen(Log.c_str(), "a", stderr);
        std::vector<char*> Argv;
        for (auto& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        ::execvp(Argv[0], Argv.data());
        ::_exit(127);
    }
    return Pid;
}

double CpuSeconds()
{
    rusage U{};
    ::getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

THistoryTick TickAt(std::int64_t Second)
{
    THistoryTick T;
    T.Time = T0 + Second * 1'000'000;
    T.Board = 0;
    T.Filter = 1;
    T.Valid = 0x1f;
    for (int C = 0; C < 5; ++C) {
        T.Sample[std::size_t(C)] = float(20.0 + C + 0.01 * double(Second % 997));
        T.Filtered[std::size_t(C)] = T.Sample[std::size_t(C)] - 0.02f;
    }
    return T;
}

template <typename F> void WaitFor(F Done)
{
    while (!Done())
        std::this_thread::sleep_for(50ms);
}

} // namespace

int main(int Argc, char** Argv)
{
    int LiveSeconds = 30;
    for (int I = 1; I + 1 < Argc; ++I)
        if (std::strcmp(Argv[I], "--live") == 0)
            LiveSeconds = std::atoi(Argv[I + 1]);
    const fs::path Dir = fs::absolute("bench-feed-" + std::to_string(::getpid()));
    fs::create_directories(Dir / "mqtt");
    fs::permissions(Dir / "mqtt", fs::perms::all);
    const int MqttPort = FreePort(), HttpPort = FreePort(), RpcPort = FreePort();
    std::ofstream(Dir / "mosquitto.conf")
        << "allow_anonymous true\nmax_queued_messages 0\nlistener " << MqttPort << " 127.0.0.1\n";
    const std::string D = Dir.string();
    std::ofstream(Dir / "influxdb.conf")
        << "reporting-disabled = true\nbind-address = \"127.0.0.1:" << RpcPort
        << "\"\n[meta]\n  dir = \"" << D << "/meta\"\n[data]\n  dir = \"" << D
        << "/data\"\n  wal-dir = \"" << D << "/wal\"\n  query-log-enabled = false\n"
        << "[monitor]\n  store-enabled = false\n[http]\n  bind-address = \"127.0.0.1:" << HttpPort
        << "\"\n  log-enabled = false\n";
    const pid_t Broker = Spawn({"mosquitto", "-c", D + "/mosquitto.conf"}, D + "/broker.log");
    const pid_t Database = Spawn({"influxd", "-config", D + "/influxdb.conf"}, D + "/influxd.log");
    std::this_thread::sleep_for(3s);
    std::system(("influx -host 127.0.0.1 -port " + std::to_string(HttpPort) +
                 " -execute 'CREATE DATABASE kelvalog' >/dev/null 2>&1")
                    .c_str());
    TMqttSettings M;
    M.Port = MqttPort;
    TInfluxSettings I;
    I.Url = "http://127.0.0.1:" + std::to_string(HttpPort);
    const std::string History = D + "/history.sqlite";
    {
        THistoryStore Store(History, THistoryStore::TMode::Write);
        Store.BeginRun(T0);
        const THistoryTick First = TickAt(0);
        Store.Append({&First, 1});
    }
    auto Feeds = [&](std::size_t Rate) {
        TFeedPace Pace;
        Pace.MaxRate = Rate;
        return std::make_pair(
            std::make_unique<TFeedWorker>(History, "mqtt", std::make_unique<TMqttSink>(M, "bench"),
                                          Pace),
            std::make_unique<TFeedWorker>(History, "influx",
                                          std::make_unique<TInfluxSink>(I, "bench"), Pace));
    };
    // Both cursors at the first tick.
    TFeedCursor(History, "mqtt");
    TFeedCursor(History, "influx");

    // A day of backlog, as after a day's outage.
    {
        THistoryStore Store(History, THistoryStore::TMode::Write);
        std::vector<THistoryTick> Batch;
        for (int S = 1; S <= Day; ++S) {
            Batch.push_back(TickAt(S));
            if (Batch.size() == 4096 || S == Day) {
                Store.Append(Batch);
                Batch.clear();
            }
        }
    }
    for (const std::size_t Rate : {std::size_t(0), std::size_t(5000)}) {
        if (Rate == 5000) {
            // The same day again from its start, at the default pace.
            TSqliteDatabase Db(History, false);
            TSqliteStatement(Db, "UPDATE feeds SET last=?").Bind(1, T0).Run();
        }
        const double Cpu0 = CpuSeconds();
        const auto Wall0 = std::chrono::steady_clock::now();
        {
            auto [Mqtt, Influx] = Feeds(Rate);
            WaitFor([&] {
                return Mqtt->Status().Delivered >= std::uint64_t(Day) &&
                       Influx->Status().Delivered >= std::uint64_t(Day);
            });
        }
        const double Wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - Wall0).count();
        const double Cpu = CpuSeconds() - Cpu0;
        std::printf("catch-up of a day (%d ticks, both feeds, pace %s): %.1f s, %.0f ticks/s, "
                    "CPU %.1f us per tick and feed\n",
                    Day, Rate ? "5000 ticks/s" : "off", Wall, Day / Wall, Cpu * 1e6 / Day / 2);
        std::fflush(stdout);
    }

    // Live: one tick a second through the writer, both feeds following.
    {
        THistoryWriter Writer(History, 1024u << 20);
        auto [Mqtt, Influx] = Feeds(5000);
        const double Cpu0 = CpuSeconds();
        for (int S = 0; S < LiveSeconds; ++S) {
            Writer.Push(TickAt(Day + 1 + S));
            std::this_thread::sleep_for(1s);
        }
        const double Cpu = CpuSeconds() - Cpu0;
        std::printf("live at 1 tick/s for %d s (writer and both feeds): CPU %.0f us per tick, "
                    "%.3f %% of a core; delivered %llu on MQTT, %llu to the database\n",
                    LiveSeconds, Cpu * 1e6 / LiveSeconds, Cpu * 100 / LiveSeconds,
                    (unsigned long long)Mqtt->Status().Delivered,
                    (unsigned long long)Influx->Status().Delivered);
    }
    ::kill(Broker, SIGTERM);
    ::kill(Database, SIGTERM);
    ::waitpid(Broker, nullptr, 0);
    ::waitpid(Database, nullptr, 0);
    fs::remove_all(Dir);
    return 0;
}
