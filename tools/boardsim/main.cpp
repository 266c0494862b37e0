// kelvalog-boardsim: plays the interface board on a pseudo-terminal so that
// Kelvalog can be tried without hardware.

#include "boardlines.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

using namespace kelvalog;

namespace {

volatile std::sig_atomic_t StopSignal = 0;

void OnSignal(int Signal)
{
    StopSignal = Signal;
}

const char* const Usage =
    R"USAGE(Usage: kelvalog-boardsim [options]

Sends the text lines of the Dravon I2C interface board on a pseudo-terminal.

  --board 5v|3v3     board variant: "I2C (5V)" (pressure, IR pair, T1, T2) or
                     "I2C (3,3V)" (IR pair, humidity counts, T1, T2); default 5v
  --ports DIR        link the pseudo-terminal as DIR/COMn (the folder Kelvalog
                     is given in KELVALOG_PORTS); the link is removed at exit
  --com N            the COM number for --ports (default 1)
  --rate R           lines per second (default 4)
  --baud B           send the bytes one by one at the pace of a serial line
                     of B baud (10 bits a byte); default: each line at once
  --count N          stop after N lines (default: run until Ctrl+C)
  --faults[=P]       make P percent of the lines faulty (default 10): failed
                     sensors ("*"), short lines, noise, lost carriage returns
  --no-ir            leave out the IR pair
  --no-rh            leave out the humidity pair (3v3 only)
  --seed N           seed for the readings (default: from the clock)
  --verbose          print every line sent
  --help             this text

Pressure counts assume a sensor range of 600 to 1025 mbar.
)USAGE";

struct TOptions
{
    TBoardKind Board = TBoardKind::I2c5V;
    std::string PortsDir;
    int Com = 1;
    double Rate = 4;
    long long Baud = 0;
    long long Count = 0;
    double FaultPercent = 0;
    bool WithIr = true;
    bool WithRh = true;
    std::optional<std::uint64_t> Seed;
    bool Verbose = false;
};

[[noreturn]] void UsageError(const std::string& Message)
{
    std::fprintf(stderr, "kelvalog-boardsim: %s\nTry --help.\n", Message.c_str());
    std::exit(2);
}

// "%g" without the C library's locale: the options and the messages use a
// point whatever LC_NUMERIC says.
std::string NumberText(double V)
{
    char Text[64];
    const auto [End, Ec] =
        std::to_chars(Text, Text + sizeof Text, V, std::chars_format::general, 6);
    return Ec == std::errc() ? std::string(Text, End) : std::string("?");
}

double NumberArg(const std::string& Option, const std::string& Text, double Low, double High)
{
    double V = 0;
    const char* First = Text.c_str();
    const char* Last = First + Text.size();
    if (First != Last && *First == '+')
        ++First;
    const auto [End, Ec] = std::from_chars(First, Last, V, std::chars_format::general);
    if (Text.empty() || End != Last || Ec != std::errc() || !(V >= Low && V <= High))
        UsageError(Option + " wants a number from " + NumberText(Low) + " to " + NumberText(High) +
                   ", not \"" + Text + "\"");
    return V;
}

long long WholeArg(const std::string& Option, const std::string& Text, long long Low,
                   long long High)
{
    char* End = nullptr;
    errno = 0;
    const long long V = std::strtoll(Text.c_str(), &End, 10);
    if (Text.empty() || *End != '\0' || errno != 0 || V < Low || V > High)
        UsageError(Option + " wants a whole number from " + std::to_string(Low) + " to " +
                   std::to_string(High) + ", not \"" + Text + "\"");
    return V;
}

TOptions ParseArguments(int Argc, char** Argv)
{
    TOptions O;
    for (int I = 1; I < Argc; ++I) {
        std::string Arg = Argv[I];
        std::optional<std::string> Inline;
        if (const auto Eq = Arg.find('='); Arg.starts_with("--") && Eq != std::string::npos) {
            Inline = Arg.substr(Eq + 1);
            Arg.resize(Eq);
        }
        auto Value = [&]() -> std::string {
            if (Inline)
                return *Inline;
            if (I + 1 >= Argc)
                UsageError(Arg + " needs a value");
            return Argv[++I];
        };
        auto NoValue = [&] {
            if (Inline)
                UsageError(Arg + " takes no value");
        };

        if (Arg == "--help" || Arg == "-h") {
            std::fputs(Usage, stdout);
            std::exit(0);
        } else if (Arg == "--board") {
            const std::string B = Value();
            if (B == "5v" || B == "5V")
                O.Board = TBoardKind::I2c5V;
            else if (B == "3v3" || B == "3V3" || B == "3.3v" || B == "3,3v" || B == "3.3V" ||
                     B == "3,3V")
                O.Board = TBoardKind::I2c3V3;
            else
                UsageError("--board is 5v or 3v3, not \"" + B + "\"");
        } else if (Arg == "--ports") {
            O.PortsDir = Value();
            if (O.PortsDir.empty())
                UsageError("--ports needs a folder");
        } else if (Arg == "--com") {
            O.Com = static_cast<int>(WholeArg(Arg, Value(), 1, 255));
        } else if (Arg == "--rate") {
            O.Rate = NumberArg(Arg, Value(), 0.01, 1000);
        } else if (Arg == "--baud") {
            O.Baud = WholeArg(Arg, Value(), 50, 4'000'000);
        } else if (Arg == "--count") {
            O.Count = WholeArg(Arg, Value(), 1, 1'000'000'000'000LL);
        } else if (Arg == "--faults") {
            O.FaultPercent = Inline ? NumberArg(Arg, *Inline, 0, 100) : 10;
        } else if (Arg == "--no-ir") {
            NoValue();
            O.WithIr = false;
        } else if (Arg == "--no-rh") {
            NoValue();
            O.WithRh = false;
        } else if (Arg == "--seed") {
            O.Seed = static_cast<std::uint64_t>(
                WholeArg(Arg, Value(), 0, std::numeric_limits<long long>::max()));
        } else if (Arg == "--verbose" || Arg == "-v") {
            NoValue();
            O.Verbose = true;
        } else {
            UsageError("unknown option \"" + Arg + "\"");
        }
    }
    return O;
}

std::string Visible(const std::string& Bytes)
{
    std::string Out;
    for (const unsigned char C : Bytes) {
        if (C == '\n')
            Out += "<LF>";
        else if (C == '\r')
            Out += "<CR>";
        else if (C >= 0x20 && C < 0x7F)
            Out += static_cast<char>(C);
        else {
            char Hex[8];
            std::snprintf(Hex, sizeof Hex, "<%02X>", C);
            Out += Hex;
        }
    }
    return Out;
}

[[noreturn]] void Fail(const std::string& What)
{
    throw std::runtime_error(What + ": " + std::strerror(errno));
}

// The pseudo-terminal with one slave descriptor held open by ourselves: the
// master then never sees a hang-up while Kelvalog opens and closes the port.
class TPseudoTerminal
{
public:
    TPseudoTerminal()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster < 0)
            Fail("posix_openpt");
        char Name[128];
        if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0 ||
            ::ptsname_r(FMaster, Name, sizeof Name) != 0) {
            const int E = errno;
            ::close(FMaster);
            errno = E;
            Fail("pseudo-terminal setup");
        }
        FSlaveName = Name;
        FSlave = ::open(Name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (FSlave < 0) {
            const int E = errno;
            ::close(FMaster);
            errno = E;
            Fail("open " + FSlaveName);
        }
        // Raw 9600 8N1, as the board's UART would be.
        termios T{};
        ::tcgetattr(FSlave, &T);
        ::cfmakeraw(&T);
        ::cfsetispeed(&T, B9600);
        ::cfsetospeed(&T, B9600);
        T.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(FSlave, TCSANOW, &T);
        ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
        ::fcntl(FMaster, F_SETFD, FD_CLOEXEC);
        ::fcntl(FSlave, F_SETFD, FD_CLOEXEC);
    }
    ~TPseudoTerminal()
    {
        ::close(FSlave);
        ::close(FMaster);
    }
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    const std::string& SlaveName() const { return FSlaveName; }
    int Master() const { return FMaster; }

    // Bytes sent but not yet read by whoever has the port open.
    int Unread() const
    {
        int N = 0;
        return ::ioctl(FSlave, FIONREAD, &N) == 0 ? N : 0;
    }
    // Nobody reads: also lifts an exclusive mode that a reader which died
    // without closing the port properly left behind, so it can open again.
    void DiscardUnread()
    {
        ::tcflush(FSlave, TCIFLUSH);
        ::ioctl(FSlave, TIOCNXCL);
    }

    // Drops what Kelvalog may send: the board listens to nothing.
    void DrainInput()
    {
        char Buffer[256];
        while (::read(FMaster, Buffer, sizeof Buffer) > 0) {
        }
    }

    // All or nothing, never blocking.
    bool Send(const std::string& Bytes)
    {
        std::size_t Done = 0;
        while (Done < Bytes.size()) {
            const ssize_t N = ::write(FMaster, Bytes.data() + Done, Bytes.size() - Done);
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                return false;
            Done += static_cast<std::size_t>(N);
        }
        return true;
    }

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FSlaveName;
};

// DIR/COMn pointing at the pseudo-terminal, removed again when it still
// points there.
class TPortLink
{
public:
    TPortLink(const std::string& Dir, int Com, const std::string& Target) : FTarget(Target)
    {
        if (::mkdir(Dir.c_str(), 0755) != 0 && errno != EEXIST)
            Fail("mkdir " + Dir);
        FPath = Dir + (Dir.ends_with('/') ? "" : "/") + "COM" + std::to_string(Com);
        struct stat St = {};
        if (::lstat(FPath.c_str(), &St) == 0) {
            if (!S_ISLNK(St.st_mode)) {
                errno = EEXIST;
                Fail(FPath + " exists and is not a link");
            }
            std::printf("kelvalog-boardsim: replacing the old link %s\n", FPath.c_str());
            ::unlink(FPath.c_str());
        }
        if (::symlink(Target.c_str(), FPath.c_str()) != 0)
            Fail("symlink " + FPath);
    }
    ~TPortLink()
    {
        char Now[256];
        const ssize_t N = ::readlink(FPath.c_str(), Now, sizeof Now - 1);
        if (N > 0 && std::string(Now, static_cast<std::size_t>(N)) == FTarget)
            ::unlink(FPath.c_str());
    }
    TPortLink(const TPortLink&) = delete;
    TPortLink& operator=(const TPortLink&) = delete;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    std::string FTarget;
};

void InstallSignals()
{
    struct sigaction Action = {};
    Action.sa_handler = OnSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = 0; // no restart: poll returns at once
    for (const int S : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(S, &Action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Waits until Deadline, throwing away whatever arrives from the other side.
void WaitUntil(TPseudoTerminal& Pty, std::chrono::steady_clock::time_point Deadline)
{
    using namespace std::chrono;
    while (!StopSignal) {
        const auto Left = duration_cast<milliseconds>(Deadline - steady_clock::now()).count();
        if (Left <= 0)
            return;
        pollfd P{Pty.Master(), POLLIN, 0};
        const int R = ::poll(&P, 1, static_cast<int>(std::min<long long>(Left, 1000)));
        if (R > 0 && (P.revents & POLLIN))
            Pty.DrainInput();
        else if (R > 0)
            ::usleep(10'000); // hang-up flags: nothing to read, do not spin
    }
}

// Sends Bytes one at a time, each when a line of Baud baud would have
// carried it.
bool SendPaced(TPseudoTerminal& Pty, const std::string& Bytes, long long Baud)
{
    using namespace std::chrono;
    const auto ByteTime = duration_cast<steady_clock::duration>(duration<double>(10.0 / Baud));
    const auto Start = steady_clock::now();
    for (std::size_t I = 0; I < Bytes.size() && !StopSignal; ++I) {
        if (!Pty.Send(Bytes.substr(I, 1)))
            return false;
        WaitUntil(Pty, Start + ByteTime * static_cast<long long>(I + 1));
    }
    return true;
}

int Run(const TOptions& O)
{
    using namespace std::chrono;
    const std::uint64_t Seed =
        O.Seed ? *O.Seed
               : static_cast<std::uint64_t>(steady_clock::now().time_since_epoch().count());
    TBoardLineGenerator Lines(O.Board, Seed);
    Lines.WithIr = O.WithIr;
    Lines.WithRh = O.WithRh;
    Lines.FaultRate = O.FaultPercent / 100;

    TPseudoTerminal Pty;
    std::optional<TPortLink> Link;
    if (!O.PortsDir.empty())
        Link.emplace(O.PortsDir, O.Com, Pty.SlaveName());

    std::string Faults;
    if (O.FaultPercent > 0) {
        Faults = ", " + NumberText(O.FaultPercent) + "% faulty";
    }
    std::printf("kelvalog-boardsim: %s board on %s%s%s, %s lines per second%s, seed %llu\n",
                BoardName(O.Board), Pty.SlaveName().c_str(), Link ? " linked as " : "",
                Link ? Link->Path().c_str() : "", NumberText(O.Rate).c_str(), Faults.c_str(),
                static_cast<unsigned long long>(Seed));
    std::printf("kelvalog-boardsim: Ctrl+C stops\n");
    std::fflush(stdout);

    // Unread data older than about two seconds means nobody has the port open:
    // it goes, as it would on a real line, so that the next reader starts
    // with fresh lines.
    // The terminal shows at most 4 KiB as unread, so the limit stays below.
    const int StaleBytes = std::clamp(static_cast<int>(O.Rate * 2 * 48), 256, 2048);
    const auto Period = duration_cast<steady_clock::duration>(duration<double>(1.0 / O.Rate));
    const auto Start = steady_clock::now();
    auto LastReport = Start;
    long long Sent = 0, Faulty = 0, Dropped = 0, Discarded = 0;
    bool Idle = false;

    while (!StopSignal && (O.Count == 0 || Sent < O.Count)) {
        WaitUntil(Pty, Start + Period * Sent);
        if (StopSignal)
            break;
        const int Unread = Pty.Unread();
        if (Unread > StaleBytes) {
            Pty.DiscardUnread();
            Discarded += Unread;
            if (!Idle && O.Verbose)
                std::printf("kelvalog-boardsim: nobody is reading, dropping old lines\n");
            Idle = true;
        } else if (Unread == 0) {
            Idle = false;
        }
        const TBoardOutput Out = Lines.Next();
        ++Sent;
        if (Out.Fault != TLineFault::None)
            ++Faulty;
        if (!(O.Baud > 0 ? SendPaced(Pty, Out.Bytes, O.Baud) : Pty.Send(Out.Bytes)))
            ++Dropped;
        if (O.Verbose)
            std::printf("%s\n", Visible(Out.Bytes).c_str());
        if (steady_clock::now() - LastReport >= seconds(10)) {
            LastReport = steady_clock::now();
            std::printf("kelvalog-boardsim: %lld lines sent (%lld faulty), %s\n", Sent, Faulty,
                        Idle ? "nobody reading" : "being read");
        }
        std::fflush(stdout);
    }

    // Give the reader a moment to take the last lines before the port goes.
    const auto DrainDeadline = steady_clock::now() + seconds(2);
    while (!StopSignal && Pty.Unread() > 0 && Pty.Unread() <= StaleBytes &&
           steady_clock::now() < DrainDeadline)
        WaitUntil(Pty, steady_clock::now() + milliseconds(20));

    if (StopSignal)
        std::printf("kelvalog-boardsim: stopped by %s\n", ::strsignal(StopSignal));
    std::printf("kelvalog-boardsim: %lld lines sent, %lld faulty, %lld lost to a full buffer, "
                "%lld unread bytes dropped\n",
                Sent, Faulty, Dropped, Discarded);
    return 0;
}

} // namespace

int main(int Argc, char** Argv)
{
    const TOptions Options = ParseArguments(Argc, Argv);
    InstallSignals();
    try {
        return Run(Options);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "kelvalog-boardsim: %s\n", E.what());
        return 1;
    }
}
