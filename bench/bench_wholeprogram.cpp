// The whole program under load: the real window on line to a pseudo-terminal
// that a writer thread feeds with 5 V board lines.
//
//   bench_wholeprogram [--quick] [--only PHASE[,PHASE...]] [--platform xcb|offscreen]
//   (phases: idle, trickle, latency, perline, rising, keys, flood)
//
// Reports the CPU on line without input, the CPU at 30 lines/s with the bytes
// at 9,600-baud pace beside what cat costs for the same feed into a terminal
// (a terminal logger on the same machine), the CPU per line at 5,000
// lines/s, the time from a line's carriage return to its value in the
// field's text, the highest rate kept up (every line shown, nothing
// dropped), how fast a key reaches the sampling interval field at 100,000
// lines/s, and the resident memory and staleness after a flood of lines
// mixed with random bytes at twice the highest rate. --quick shortens every
// phase.
//
// The window runs where a user has it, on an X server: the program starts an
// Xvfb of its own, shows the window there through Qt's xcb platform and counts
// the server's CPU beside its own, since drawing costs as much there as in
// the program. Without --platform it runs twice, on xcb and then offscreen
// (where painting costs next to nothing), and puts the figures side by side.

#include "processmeter.h"
#include "terminallogger.h"

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "controls/controlenv.h"
#include "controls/numericfield.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kelvalog;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int BoardCom = 7;
// The fed lines cycle through the indices below; a probe line above them
// shows a value no fed line has.
constexpr int ProbeIndex = 1000;

double Seconds(Clock::duration D)
{
    return std::chrono::duration<double>(D).count();
}

// Runs the window's events for the given time without spinning.
void RunEvents(double SecondsToRun)
{
    QEventLoop Loop;
    QTimer::singleShot(static_cast<int>(SecondsToRun * 1000), &Loop, &QEventLoop::quit);
    Loop.exec();
}

std::string BoardLine(int Index)
{
    char Text[64];
    std::snprintf(Text, sizeof Text, "\n%d %d.%02d 22.10 21.00 20.50 \r", 16000 + Index % 700,
                  20 + (Index / 100) % 20, Index % 100);
    return Text;
}

// The board's far end of the pseudo-terminal, linked as COM7.
class TBoard
{
public:
    // Linked as the program's COM7, or a terminal of its own for another reader.
    explicit TBoard(bool AsProgramPort = true)
    {
        FMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
            return;
        FPath = ptsname(FMaster);
        if (AsProgramPort) {
            const std::string Link =
                FPorts.path().toStdString() + "/COM" + std::to_string(BoardCom);
            if (symlink(FPath.c_str(), Link.c_str()) != 0)
                return;
            setenv("KELVALOG_PORTS", FPorts.path().toLocal8Bit().constData(), 1);
        }
        FReady = true;
        for (int I = 0; I < 1000; ++I) {
            FStarts.push_back(FLines.size());
            FLines += BoardLine(I);
        }
        FStarts.push_back(FLines.size());
    }
    ~TBoard()
    {
        Stop();
        if (FMaster >= 0)
            close(FMaster);
    }
    bool Ready() const { return FReady; }
    const std::string& Path() const { return FPath; }

    // Lines at Rate per second for Duration seconds; Garbage: random bytes
    // per line mixed in. Returns at once; Wait() ends it.
    void Feed(double Rate, double Duration, int Garbage = 0)
    {
        Start([=, this] { FeedLines(Rate, Duration, Garbage); });
    }
    // Rate lines per second, each byte written alone at 9,600-baud pace.
    void Trickle(double Rate, double Duration)
    {
        Start([=, this] { TrickleLines(Rate, Duration); });
    }
    // One line now; the time it was written.
    Clock::time_point SendOne(int Index)
    {
        const std::string Line = BoardLine(Index);
        WriteAll(Line.data(), Line.size());
        return Clock::now();
    }
    void Wait()
    {
        if (FThread.joinable())
            FThread.join();
    }
    void Stop()
    {
        FStop = true;
        Wait();
        FStop = false;
    }

    bool Writing() const { return FWriting.load(); }
    // The line whose carriage return was written last, and when (-1: none).
    int LastEnd() const { return FLastEnd.load(); }
    Clock::time_point LastEndTime() const
    {
        return Clock::time_point(Clock::duration(FLastEndNs.load()));
    }
    std::uint64_t Sent() const { return FSent.load(); }
    double WriterCpu() const { return FWriterCpu.load(); }
    double Achieved() const { return FAchieved.load(); }

private:
    QTemporaryDir FPorts;
    int FMaster = -1;
    std::string FPath;
    bool FReady = false;
    std::string FLines;
    std::vector<std::size_t> FStarts;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FWriting{false};
    std::atomic<int> FLastEnd{-1};
    std::atomic<Clock::rep> FLastEndNs{0};
    std::atomic<std::uint64_t> FSent{0};
    std::atomic<double> FWriterCpu{0};
    std::atomic<double> FAchieved{0};

    template <class F> void Start(F Body)
    {
        Stop();
        FSent = 0;
        FWriting = true;
        FThread = std::thread([this, Body] {
            const double Cpu = ThreadCpu();
            Body();
            FWriterCpu = ThreadCpu() - Cpu;
            FWriting = false;
        });
    }

    void WriteAll(const char* Data, std::size_t Size)
    {
        while (Size > 0) {
            const ssize_t N = write(FMaster, Data, Size);
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                return;
            Data += N;
            Size -= static_cast<std::size_t>(N);
        }
    }

    void FeedLines(double Rate, double Duration, int Garbage)
    {
        std::mt19937 Random(7);
        std::string Chunk;
        const auto Begin = Clock::now();
        std::uint64_t Sent = 0;
        int Next = 0;
        for (;;) {
            const double Elapsed = Seconds(Clock::now() - Begin);
            if (Elapsed >= Duration || FStop)
                break;
            const auto Due = static_cast<std::uint64_t>(Rate * Elapsed);
            if (Sent >= Due) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            const std::uint64_t Count = std::min<std::uint64_t>(Due - Sent, 4000);
            Chunk.clear();
            for (std::uint64_t I = 0; I < Count; ++I) {
                for (int G = 0; G < Garbage; ++G)
                    Chunk.push_back(static_cast<char>(Random() & 0xFF));
                Chunk.append(FLines, FStarts[Next], FStarts[Next + 1] - FStarts[Next]);
                Next = (Next + 1) % 1000;
            }
            WriteAll(Chunk.data(), Chunk.size());
            Sent += Count;
            FSent = Sent;
        }
        FAchieved = Sent / std::max(Seconds(Clock::now() - Begin), 1e-9);
    }

    void TrickleLines(double Rate, double Duration)
    {
        const auto ByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 9600);
        const auto LineTime = std::chrono::nanoseconds(static_cast<long long>(1e9 / Rate));
        const auto Begin = Clock::now();
        auto Due = Begin;
        std::uint64_t Sent = 0;
        for (int Next = 0; Seconds(Clock::now() - Begin) < Duration && !FStop;
             Next = (Next + 1) % 1000) {
            const auto LineStart = std::max<Clock::time_point>(
                Due, Begin + std::chrono::duration_cast<Clock::duration>(LineTime * Sent));
            Due = LineStart;
            for (std::size_t B = FStarts[Next]; B < FStarts[Next + 1]; ++B) {
                std::this_thread::sleep_until(Due);
                WriteAll(&FLines[B], 1);
                Due += ByteTime;
            }
            FLastEndNs = Clock::now().time_since_epoch().count();
            FLastEnd = Next;
            FSent = ++Sent;
        }
        FAchieved = Sent / std::max(Seconds(Clock::now() - Begin), 1e-9);
    }
};

// The same line through a bare pseudo-terminal read by a thread of its own:
// what this machine's terminal layer and scheduler take without the program.
std::vector<double> BareLatencies(int Count)
{
    std::vector<double> Out;
    const int Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
        return Out;
    const int Slave = open(ptsname(Master), O_RDWR | O_NOCTTY);
    termios Tio{};
    tcgetattr(Slave, &Tio);
    cfmakeraw(&Tio);
    tcsetattr(Slave, TCSANOW, &Tio);
    std::atomic<std::int64_t> Arrived{0};
    std::atomic<bool> Done{false};
    std::thread Reader([&] {
        char Buffer[256];
        while (!Done) {
            pollfd Fd{Slave, POLLIN, 0};
            if (poll(&Fd, 1, 50) <= 0)
                continue;
            const ssize_t N = read(Slave, Buffer, sizeof Buffer);
            if (N > 0 && Buffer[N - 1] == '\r')
                Arrived = Clock::now().time_since_epoch().count();
        }
    });
    const std::string Line = BoardLine(1);
    for (int I = 0; I < Count; ++I) {
        Arrived = 0;
        const auto Sent = Clock::now();
        if (write(Master, Line.data(), Line.size()) < 0)
            break;
        while (Arrived == 0 && Seconds(Clock::now() - Sent) < 2)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (Arrived != 0)
            Out.push_back(Seconds(Clock::time_point(Clock::duration(Arrived.load())) - Sent) *
                          1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Done = true;
    Reader.join();
    close(Slave);
    close(Master);
    return Out;
}

class TEveryEvent : public QObject
{
public:
    explicit TEveryEvent(std::function<void()> Call) : FCall(std::move(Call)) {}

protected:
    bool eventFilter(QObject*, QEvent*) override
    {
        FCall();
        return false;
    }

private:
    std::function<void()> FCall;
};

struct TRun
{
    TMainForm* Form = nullptr;
    TBoard* Board = nullptr;
    const TXServer* Server = nullptr; // on xcb
    bool Results = false;             // "= key value" lines for the side-by-side run
    std::uint64_t Lines = 0;          // lines the window has taken
    std::uint64_t Dropped = 0;        // bytes the link dropped
    int Expected = -1;                // a value awaited in T52's text
    QString ExpectedShown;            // its text, made once: the watch runs at every event
    Clock::time_point ExpectedSince;
    std::vector<double> Latencies; // ms
    bool TrickleLatency = false;   // await each trickled line in turn
};

QString ExpectedText(int Index)
{
    return QString::asprintf("%d.%02d", 20 + (Index / 100) % 20, Index % 100);
}

// The fed lines' texts, made before the timing starts: the trickle's watch
// takes one at every line, and its cost is not the program's.
const QString& FedText(int Index)
{
    static const std::vector<QString> Texts = [] {
        std::vector<QString> T;
        for (int I = 0; I < 1000; ++I)
            T.push_back(ExpectedText(I));
        return T;
    }();
    return Texts[static_cast<std::size_t>(Index % 1000)];
}

void CheckExpected(TRun& Run)
{
    if (Run.Expected < 0)
        return;
    if (Run.Form->ValuePanel().Field(TFieldRow::T52, TFieldKind::Actual)->Text() ==
        Run.ExpectedShown) {
        Run.Latencies.push_back(Seconds(Clock::now() - Run.ExpectedSince) * 1000);
        Run.Expected = -1;
    }
}

double Median(std::vector<double> V)
{
    if (V.empty())
        return 0;
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

double Max(const std::vector<double>& V)
{
    return V.empty() ? 0 : *std::max_element(V.begin(), V.end());
}

// A line that only the last write can give, and the time until it shows.
double LatencyOfOneLine(TRun& Run, int Index, double Limit)
{
    Run.Latencies.clear();
    Run.ExpectedSince = Run.Board->SendOne(Index);
    Run.Expected = Index;
    Run.ExpectedShown = ExpectedText(Index);
    const auto Begin = Clock::now();
    while (Run.Expected >= 0 && Seconds(Clock::now() - Begin) < Limit)
        RunEvents(0.001);
    return Run.Latencies.empty() ? -1 : Run.Latencies.front();
}

// A figure for the side-by-side table.
void Result(const TRun& Run, const char* Key, double Value)
{
    if (Run.Results)
        std::printf("= %s %.6g\n", Key, Value);
}

double ServerCpu(const TRun& Run)
{
    return Run.Server ? Run.Server->Cpu() : 0;
}

// Times the program's threads and the X server's were put on a processor.
struct TRuns
{
    double Program = 0;
    double Server = 0;
    TRuns operator-(const TRuns& Other) const
    {
        return {Program - Other.Program, Server - Other.Server};
    }
    TRuns operator/(double Seconds) const { return {Program / Seconds, Server / Seconds}; }
};

TRuns RunsNow(const TRun& Run)
{
    return {static_cast<double>(ProcessRuns()),
            Run.Server ? static_cast<double>(Run.Server->Runs()) : 0.0};
}

// Whether the window took every line of Rate lines/s for Duration seconds.
bool KeptUp(TRun& Run, double Rate, double Duration, double* Cpu = nullptr, double* XCpu = nullptr)
{
    const std::uint64_t LinesBefore = Run.Lines;
    const std::uint64_t DroppedBefore = Run.Dropped;
    const double CpuBefore = ProcessCpu();
    const double XCpuBefore = ServerCpu(Run);
    Run.Board->Feed(Rate, Duration);
    RunEvents(Duration);
    // The writer may end a little after its time; up to one second more from
    // then for what is still on its way.
    while (Run.Board->Writing())
        RunEvents(0.02);
    const auto End = Clock::now();
    while (Run.Lines - LinesBefore < Run.Board->Sent() && Seconds(Clock::now() - End) < 1.0)
        RunEvents(0.02);
    Run.Board->Wait();
    const std::uint64_t Taken = Run.Lines - LinesBefore;
    if (Cpu)
        *Cpu = ProcessCpu() - CpuBefore - Run.Board->WriterCpu();
    if (XCpu)
        *XCpu = ServerCpu(Run) - XCpuBefore;
    const bool Kept = Run.Dropped == DroppedBefore && Taken >= Run.Board->Sent() &&
                      Run.Board->Achieved() >= 0.98 * Rate;
    std::printf("  %8.0f lines/s for %3.0f s: %s (sent %llu at %.0f/s, taken %llu, dropped %llu "
                "bytes)\n",
                Rate, Duration, Kept ? "kept up" : "NOT kept up",
                static_cast<unsigned long long>(Run.Board->Sent()), Run.Board->Achieved(),
                static_cast<unsigned long long>(Taken),
                static_cast<unsigned long long>(Run.Dropped - DroppedBefore));
    std::fflush(stdout);
    return Kept;
}

// Runs this program once per platform, passes its report through and puts
// the figures of both runs side by side.
int RunSideBySide(const std::vector<std::string>& Args)
{
    std::map<std::string, std::map<std::string, double>> Figures;
    for (const std::string Platform : {"xcb", "offscreen"}) {
        std::printf("== %s ==\n", Platform.c_str());
        std::fflush(stdout);
        std::vector<std::string> ChildArgs = Args;
        ChildArgs.insert(ChildArgs.end(), {"--platform", Platform, "--results"});
        std::vector<char*> Argv;
        for (std::string& Arg : ChildArgs)
            Argv.push_back(Arg.data());
        Argv.push_back(nullptr);
        int Out[2];
        if (pipe(Out) != 0)
            return 1;
        const pid_t Child = fork();
        if (Child == 0) {
            dup2(Out[1], STDOUT_FILENO);
            close(Out[0]);
            close(Out[1]);
            execv("/proc/self/exe", Argv.data());
            _exit(127);
        }
        close(Out[1]);
        FILE* From = fdopen(Out[0], "r");
        char Line[1024];
        while (From && std::fgets(Line, sizeof Line, From)) {
            char Key[64];
            double Value = 0;
            if (std::sscanf(Line, "= %63s %lf", Key, &Value) == 2) {
                Figures[Key][Platform] = Value;
            } else {
                std::fputs(Line, stdout);
                std::fflush(stdout);
            }
        }
        if (From)
            std::fclose(From);
        int Status = 0;
        waitpid(Child, &Status, 0);
        if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
            std::printf("(the %s run failed)\n", Platform.c_str());
    }
    struct TRow
    {
        const char* Key;
        const char* Title;
        const char* Format;
    };
    const TRow Rows[] = {
        {"idle", "on line, no data, % of a core", "%10.3f"},
        {"idle-wakes", "  wake-ups a second there", "%10.1f"},
        {"trickle", "30 lines/s at 9,600-baud pace, %", "%10.3f"},
        {"trickle-wakes", "  wake-ups a second there", "%10.1f"},
        {"trickle-cr", "  CR to field text there, median ms", "%10.2f"},
        {"trickle-cat", "  cat on the same feed into a terminal, %", "%10.3f"},
        {"latency", "CR to field text, 20 lines/s, median ms", "%10.2f"},
        {"perline", "CPU per line at 5,000 lines/s, us", "%10.2f"},
        {"highest", "highest rate kept up, lines/s", "%10.0f"},
        {"keys", "key at 100,000 lines/s, median ms", "%10.2f"},
        {"flood-kb", "resident after the flood, kB", "%10.0f"},
        {"flood-stale", "a line after the flood shows in, ms", "%10.1f"},
    };
    std::printf("\n%-42s%10s%10s%10s%10s\n", "", "xcb", "X server", "together", "offscreen");
    auto Cell = [](const std::map<std::string, double>& Of, const std::string& Platform,
                   const char* Format) {
        char Text[32] = "         -";
        if (const auto Found = Of.find(Platform); Found != Of.end())
            std::snprintf(Text, sizeof Text, Format, Found->second);
        return std::string(Text);
    };
    const std::map<std::string, double> None;
    for (const TRow& Row : Rows) {
        const auto Found = Figures.find(Row.Key);
        if (Found == Figures.end())
            continue;
        const auto XFound = Figures.find(std::string(Row.Key) + "-x");
        const auto& X = XFound != Figures.end() ? XFound->second : None;
        std::map<std::string, double> Together;
        const auto P = Found->second.find("xcb");
        const auto XP = X.find("xcb");
        if (P != Found->second.end() && XP != X.end())
            Together["xcb"] = P->second + XP->second;
        std::printf("%-42s%s%s%s%s\n", Row.Title, Cell(Found->second, "xcb", Row.Format).c_str(),
                    Cell(X, "xcb", Row.Format).c_str(), Cell(Together, "xcb", Row.Format).c_str(),
                    Cell(Found->second, "offscreen", Row.Format).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool Quick = false;
    bool Results = false;
    std::string Only;
    std::string Platform;
    std::vector<std::string> Args{argv[0]};
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--platform" && I + 1 < argc) {
            Platform = argv[++I];
            continue;
        }
        if (Arg == "--results") {
            Results = true;
            continue;
        }
        Args.push_back(Arg);
        if (Arg == "--quick") {
            Quick = true;
        } else if (Arg == "--only" && I + 1 < argc) {
            Only = argv[++I];
            Args.push_back(Only);
        }
    }
    if (Platform.empty())
        return RunSideBySide(Args);
    // --only takes one phase or several, separated by commas.
    const std::string Listed = std::string(1, ',').append(Only).append(1, ',');
    auto Runs = [&](const char* Phase) {
        return Only.empty() ||
               Listed.find(std::string(1, ',').append(Phase).append(1, ',')) != std::string::npos;
    };
    const double Scale = Quick ? 0.2 : 1.0;
    // Started before any thread: the server is forked off this process.
    std::unique_ptr<TXServer> Server;
    if (Platform == "xcb") {
        Server = std::make_unique<TXServer>();
        if (Server->Display().empty()) {
            std::fprintf(stderr, "could not start Xvfb\n");
            return 1;
        }
        setenv("DISPLAY", Server->Display().c_str(), 1);
    }
    setenv("QT_QPA_PLATFORM", Platform.c_str(), 1);
    int AppArgc = 1;
    TKelvalogApplication App(AppArgc, argv);
    TBoard Board;
    if (!Board.Ready()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    QTemporaryDir Settings;
    TMainFormOptions Options;
    Options.SettingsPath = Settings.filePath(QStringLiteral("Kelvalog.INI"));
    Options.StartDelay = 0;
    Options.CloseDelay = 10;
    SetDefaultDecimalSeparator(QLatin1Char('.'));
    TCustomComPort::SetPortPromptHook([](QObject*) { return std::uint16_t(BoardCom); });

    TMainForm Form(Options);
    Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
    Form.UsedBoardComboBoxClick();
    Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
    Form.IntervalFieldChange();
    Form.show();
    RunEvents(0.5);

    TRun Run;
    Run.Form = &Form;
    Run.Board = &Board;
    Run.Server = Server.get();
    Run.Results = Results;
    auto Shown = Form.DataPacket->OnStringPacket;
    Form.DataPacket->OnStringPacket = [&](QObject* Sender, const std::string& Line) {
        ++Run.Lines;
        Shown(Sender, Line);
        CheckExpected(Run);
    };
    auto Overrun = Form.ComPort->OnInputOverrun;
    Form.ComPort->OnInputOverrun = [&](QObject* Sender, std::uint64_t Dropped) {
        Run.Dropped = Dropped;
        Overrun(Sender, Dropped);
    };
    // The window shows a line's values once the lines handed over with it are
    // handled: an awaited value is looked for before every event the window
    // takes, so that it is seen in the same wake-up in which it is shown.
    // While bytes trickle, the line just ended is the one awaited.
    int Trickled = -1;
    TEveryEvent Watch([&] {
        if (Run.TrickleLatency && Run.Board->LastEnd() != Trickled) {
            Trickled = Run.Board->LastEnd();
            Run.Expected = Trickled;
            Run.ExpectedShown = FedText(Trickled);
            Run.ExpectedSince = Run.Board->LastEndTime();
        }
        CheckExpected(Run);
    });
    App.installEventFilter(&Watch);

    Form.OnLineActionExecute();
    if (!Form.OnLine) {
        std::fprintf(stderr, "could not go on line\n");
        return 1;
    }
    RunEvents(1.0);
    const long StartKb = ResidentKb();
    std::printf("Kelvalog whole program%s on %s; resident at start %ld kB\n",
                Quick ? " (quick)" : "", Platform.c_str(), StartKb);
    // The X server's share, where there is one.
    auto WithServer = [&](double Percent, double XPercent) {
        char Text[96] = "";
        if (Server)
            std::snprintf(Text, sizeof Text, " + %.3f %% in the X server = %.3f %%", XPercent,
                          Percent + XPercent);
        return std::string(Text);
    };

    // On line, no input.
    if (Runs("idle")) {
        const double Duration = 30 * Scale;
        const double Cpu = ProcessCpu();
        const double XCpu = ServerCpu(Run);
        const TRuns Before = RunsNow(Run);
        RunEvents(Duration);
        const double Percent = 100 * (ProcessCpu() - Cpu) / Duration;
        const double XPercent = 100 * (ServerCpu(Run) - XCpu) / Duration;
        const TRuns Wakes = (RunsNow(Run) - Before) / Duration;
        std::printf("idle on line:                   %.3f %% of a core%s\n", Percent,
                    WithServer(Percent, XPercent).c_str());
        std::printf("  wake-ups a second:            %.1f + %.1f in the X server\n", Wakes.Program,
                    Wakes.Server);
        Result(Run, "idle", Percent);
        Result(Run, "idle-wakes", Wakes.Program);
        if (Server) {
            Result(Run, "idle-x", XPercent);
            Result(Run, "idle-wakes-x", Wakes.Server);
        }
    }
    // 30 lines/s, bytes one at a time at 9,600-baud pace.
    if (Runs("trickle")) {
        const double Duration = 30 * Scale;
        FedText(0);
        const double Cpu = ProcessCpu();
        const double XCpu = ServerCpu(Run);
        const TRuns Before = RunsNow(Run);
        Run.Latencies.clear();
        Run.TrickleLatency = true;
        Board.Trickle(30, Duration);
        RunEvents(Duration);
        Board.Wait();
        Run.TrickleLatency = false;
        Run.Expected = -1;
        const double Percent = 100 * (ProcessCpu() - Cpu - Board.WriterCpu()) / Duration;
        const double XPercent = 100 * (ServerCpu(Run) - XCpu) / Duration;
        // The board's thread has ended: its runs count in neither reading.
        const TRuns Wakes = (RunsNow(Run) - Before) / Duration;
        std::printf("30 lines/s at 9,600-baud pace:  %.3f %% of a core%s (%.1f lines/s sent)\n",
                    Percent, WithServer(Percent, XPercent).c_str(), Board.Achieved());
        std::printf("  wake-ups a second:            %.1f + %.1f in the X server\n", Wakes.Program,
                    Wakes.Server);
        std::printf("  CR to field text:             median %.2f ms, max %.2f ms (%zu lines)\n",
                    Median(Run.Latencies), Max(Run.Latencies), Run.Latencies.size());
        Result(Run, "trickle", Percent);
        Result(Run, "trickle-wakes", Wakes.Program);
        if (Server) {
            Result(Run, "trickle-x", XPercent);
            Result(Run, "trickle-wakes-x", Wakes.Server);
        }
        Result(Run, "trickle-cr", Median(Run.Latencies));
        // The same feed read by a terminal logger on a terminal of its own.
        TBoard LoggerFeed(false);
        TTerminalLogger Logger(LoggerFeed.Path());
        if (LoggerFeed.Ready() && Logger.Ready()) {
            RunEvents(0.2);
            const double LoggerCpu = Logger.Cpu();
            const auto LoggerRuns = Logger.Runs();
            LoggerFeed.Trickle(30, Duration);
            RunEvents(Duration);
            LoggerFeed.Wait();
            const double LoggerPercent = 100 * (Logger.Cpu() - LoggerCpu) / Duration;
            std::printf("  the same feed, cat into a terminal: %.3f %% of a core, %.0f wake-ups "
                        "a second\n",
                        LoggerPercent, static_cast<double>(Logger.Runs() - LoggerRuns) / Duration);
            Result(Run, "trickle-cat", LoggerPercent);
        }
    }
    // CR to the value in the field's text, at 20 lines/s.
    if (Runs("latency")) {
        std::vector<double> Latencies;
        for (int I = 0; I < 200; ++I) {
            const double L = LatencyOfOneLine(Run, ProbeIndex + I, 2.0);
            if (L >= 0)
                Latencies.push_back(L);
            RunEvents(0.05);
        }
        std::printf("CR to field text:               median %.2f ms, max %.2f ms (%zu of 200)\n",
                    Median(Latencies), Max(Latencies), Latencies.size());
        Result(Run, "latency", Median(Latencies));
        const auto Bare = BareLatencies(200);
        std::printf("  the same through a bare pty:  median %.2f ms, max %.2f ms\n", Median(Bare),
                    Max(Bare));
    }
    // CPU per line at 5,000 lines/s.
    if (Runs("perline")) {
        double Cpu = 0;
        double XCpu = 0;
        const double Duration = 30 * Scale;
        KeptUp(Run, 5000, Duration, &Cpu, &XCpu);
        const double Lines = std::max<double>(Board.Sent(), 1);
        char XText[64] = "";
        if (Server)
            std::snprintf(XText, sizeof XText, " + %.2f us in the X server", 1e6 * XCpu / Lines);
        std::printf("CPU per line at 5,000 lines/s:  %.2f us%s\n", 1e6 * Cpu / Lines, XText);
        Result(Run, "perline", 1e6 * Cpu / Lines);
        if (Server)
            Result(Run, "perline-x", 1e6 * XCpu / Lines);
    }
    // Rising rates.
    double Highest = Runs("rising") ? 0 : 50'000;
    for (const double Rate :
         {10'000.0, 20'000.0, 50'000.0, 100'000.0, 150'000.0, 200'000.0, 300'000.0}) {
        if (!Runs("rising"))
            break;
        if (!KeptUp(Run, Rate, 30 * Scale))
            break;
        Highest = Rate;
        RunEvents(0.5);
    }
    if (Runs("rising")) {
        std::printf("highest rate kept up for %.0f s: %.0f lines/s\n", 30 * Scale, Highest);
        Result(Run, "highest", Highest);
    }

    // A key typed into the sampling interval field while 100,000 lines/s arrive.
    if (Runs("keys")) {
        std::vector<double> Keys;
        int Changed = 0;
        const double Duration = 20 * Scale;
        Board.Feed(100'000, Duration);
        std::atomic<bool> Done{false};
        std::thread Typist([&] {
            for (int I = 0; !Done; ++I) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                const auto Typed = Clock::now();
                QMetaObject::invokeMethod(
                    Form.SamplingPanel().SampleIntervalField(),
                    [&, Typed, I] {
                        TNumericField* Field = Form.SamplingPanel().SampleIntervalField();
                        const QString Before = Field->Text();
                        const bool Digit = I % 2 == 0;
                        QKeyEvent Key(QEvent::KeyPress, Digit ? Qt::Key_5 : Qt::Key_Backspace,
                                      Qt::NoModifier, Digit ? QStringLiteral("5") : QString());
                        QApplication::sendEvent(Field, &Key);
                        Keys.push_back(Seconds(Clock::now() - Typed) * 1000);
                        if (Field->Text() != Before)
                            ++Changed;
                    },
                    Qt::QueuedConnection);
            }
        });
        RunEvents(Duration);
        Done = true;
        Typist.join();
        RunEvents(0.3);
        Board.Wait();
        std::printf("key at 100,000 lines/s:         median %.2f ms, max %.2f ms (%zu keys, %d "
                    "changed the text; %.0f lines/s sent)\n",
                    Median(Keys), Max(Keys), Keys.size(), Changed, Board.Achieved());
        Result(Run, "keys", Median(Keys));
    }

    // Flood at twice the highest rate, random bytes mixed in.
    if (Runs("flood")) {
        const double Rate = std::max(2 * Highest, 20'000.0);
        const double Duration = 120 * Scale;
        const long Before = ResidentKb();
        Board.Feed(Rate, Duration, 8);
        RunEvents(Duration);
        Board.Wait();
        const long After = ResidentKb();
        RunEvents(0.2);
        const double Stale = LatencyOfOneLine(Run, ProbeIndex + 500, 10.0);
        std::printf("flood %.0f lines/s + random bytes for %.0f s: resident %ld kB before, %ld kB "
                    "after (start %ld kB); %llu bytes dropped; a line right after shows in "
                    "%.1f ms\n",
                    Rate, Duration, Before, After, StartKb,
                    static_cast<unsigned long long>(Run.Dropped), Stale);
        Result(Run, "flood-kb", After);
        Result(Run, "flood-stale", Stale);
    }
    Form.OnLineActionExecute();
    RunEvents(0.5);
    Form.close();
    return 0;
}
