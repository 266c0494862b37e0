#include "logging/calc/calcoffice.h"

#include "logging/automation/automation.h"

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XLoadable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/digest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kelvalog {

using rtl::OUString;

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

OUString ToUno(const std::string& Text)
{
    return OUString(Text.data(), static_cast<sal_Int32>(Text.size()), RTL_TEXTENCODING_UTF8);
}

std::string FromUno(const OUString& Text)
{
    return Text.toUtf8().getStr();
}

namespace {

const std::string ProgramDir = KELVALOG_OFFICE_PROGRAM_DIR;

} // namespace

// It carries the office's type libraries that the bridge needs to marshal
// calls.
Reference<css::uno::XComponentContext> LocalUnoContext()
{
    static std::mutex Lock;
    static Reference<css::uno::XComponentContext> Context;
    std::lock_guard Guard(Lock);
    if (!Context.is()) {
        rtl::Bootstrap::set(OUString("URE_BOOTSTRAP"),
                            ToUno("vnd.sun.star.pathname:" + ProgramDir + "/fundamentalrc"));
        try {
            Context = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception& Error) {
            throw EAutomationError("UNO runtime could not start: " + FromUno(Error.Message));
        } catch (...) {
            throw EAutomationError("UNO runtime could not start");
        }
    }
    return Context;
}

namespace {

bool HasFileStartingWith(const std::filesystem::path& Folder, std::string_view Prefix,
                         std::string_view Suffix = {})
{
    std::error_code Error;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder, Error)) {
        const std::string Name = Entry.path().filename().string();
        if (Name.rfind(Prefix, 0) == 0 && Name.size() >= Prefix.size() + Suffix.size() &&
            Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) == 0)
            return true;
    }
    return false;
}

// Calc shows a window where there is a display, the office has a window
// system plug-in, and Calc has its window descriptions: the Calc without a
// GUI ships none, and its windows abort the office.
bool CanShowWindows()
{
    const char* X11 = std::getenv("DISPLAY");
    const char* Wayland = std::getenv("WAYLAND_DISPLAY");
    if ((X11 == nullptr || *X11 == '\0') && (Wayland == nullptr || *Wayland == '\0'))
        return false;
    const std::filesystem::path Program = ProgramDir;
    return HasFileStartingWith(Program, "libvclplug_") &&
           HasFileStartingWith(Program / ".." / "share" / "config" / "soffice.cfg" / "modules" /
                                   "scalc" / "ui",
                               "", ".ui");
}

std::string NewPipeName()
{
    static std::atomic<unsigned> Counter{0};
    return "kelvalog_calc_" + std::to_string(::getpid()) + '_' + std::to_string(++Counter) + '_' +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

std::filesystem::path NewProfileFolder()
{
    std::error_code Error;
    std::filesystem::path Base = std::filesystem::temp_directory_path(Error);
    // The office reads its profile path in its own locale: keep to ASCII.
    const std::string Text = Base.string();
    if (Error || std::any_of(Text.begin(), Text.end(),
                             [](char C) { return static_cast<unsigned char>(C) >= 0x80; }))
        Base = "/tmp";
    std::string Pattern = (Base / "kelvalog-calc-XXXXXX").string();
    std::vector<char> Buffer(Pattern.begin(), Pattern.end());
    Buffer.push_back('\0');
    if (::mkdtemp(Buffer.data()) == nullptr)
        throw EAutomationError("no profile folder for the office");
    return std::filesystem::path(Buffer.data());
}

// A file URL of a local path, every byte outside the unreserved characters
// percent-encoded.
std::string FileUrl(const std::filesystem::path& Path)
{
    static const char* const Hex = "0123456789ABCDEF";
    std::string Url = "file://";
    for (const char C : Path.string()) {
        const auto Byte = static_cast<unsigned char>(C);
        if (std::isalnum(Byte) || std::string_view("/-._~").find(C) != std::string_view::npos) {
            Url += C;
        } else {
            Url += '%';
            Url += Hex[Byte >> 4];
            Url += Hex[Byte & 0x0F];
        }
    }
    return Url;
}

// The office's pipe for later starts in the same profile: named after the
// MD5 digest of the profile's URL in UTF-16, each byte in hex without
// leading zero.
std::string InstancePipeName(const std::string& ProfileUrl)
{
    const OUString Url = ToUno(ProfileUrl);
    sal_uInt8 Digest[RTL_DIGEST_LENGTH_MD5] = {};
    if (rtl_digest_MD5(Url.getStr(), static_cast<sal_uInt32>(Url.getLength() * sizeof(sal_Unicode)),
                       Digest, sizeof Digest) != rtl_Digest_E_None)
        return {};
    static const char* const Hex = "0123456789abcdef";
    std::string Name = "SingleOfficeIPC_";
    for (const sal_uInt8 Byte : Digest) {
        if (Byte >= 0x10)
            Name += Hex[Byte >> 4];
        Name += Hex[Byte & 0x0F];
    }
    return Name;
}

// Runs the office and, once it has ended for good, removes its profile. The
// first start in a new profile ends asking to be started again, after the
// first connection may have been made: a start that ends at once prepares
// the profile instead.
constexpr const char* KeeperScript =
    "profile=$1; shift\n"
    "\"$1\" \"$2\" --headless --terminate_after_init --norestore --nologo --nolockcheck\n"
    "while :; do \"$@\"; status=$?; [ $status -eq 81 ] || break; done\n"
    "rm -rf -- \"$profile\"\n"
    "exit $status\n";

bool HeadlessRequested()
{
    const char* Value = std::getenv(HeadlessOfficeVariable);
    return Value != nullptr && std::string_view(Value) == "1";
}

// Waits for a child without a time limit, so that an office left to the user
// does not stay behind as a zombie once it ends.
void ReapWhenEnded(pid_t Child)
{
    std::thread([Child] {
        int Status = 0;
        while (::waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

bool CalcCanShowWindows()
{
    return CanShowWindows();
}

void RunSlowStep(IServerWait* Wait, TServerActivity Activity, std::chrono::milliseconds Limit,
                 const std::function<void()>& Step, const std::function<void()>& Abort)
{
    auto Running = std::async(std::launch::async, Step);
    if (Wait != nullptr)
        Wait->Begin(Activity);
    const auto Deadline = std::chrono::steady_clock::now() + Limit;
    bool Cut = false;
    try {
        while (Running.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            if (!Cut && std::chrono::steady_clock::now() >= Deadline) {
                Cut = true;
                Abort();
            }
            if (Wait != nullptr)
                Wait->Pump();
        }
    } catch (...) {
        // The step must not outlive what it works on.
        if (!Cut)
            Abort();
        Running.wait();
        if (Wait != nullptr)
            Wait->End();
        throw;
    }
    if (Wait != nullptr)
        Wait->End();
    if (Cut) {
        try {
            Running.get();
        } catch (...) {
            // The step was cut off: the timeout below is the failure to report.
        }
        throw EAutomationError("the office did not answer in time");
    }
    Running.get();
}

TCalcOffice::TCalcOffice(IServerWait* Wait) : FWait(Wait)
{
    // A write into the pipe of an office that has died must fail the call,
    // not end this program.
    struct sigaction Current = {};
    if (::sigaction(SIGPIPE, nullptr, &Current) == 0 && Current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);

    // A sheet nobody can see vanishes with its office: refuse it.
    FIsHeadless = HeadlessRequested();
    if (!FIsHeadless && !CanShowWindows())
        throw EAutomationError("the office cannot show a window here");
    try {
        RunSlowStep(
            FWait, TServerActivity::Starting, StartTimeout + std::chrono::seconds(5),
            [this] {
                LocalUnoContext();
                FProfile = NewProfileFolder();
                FPipeName = NewPipeName();
                Launch();
                Connect();
            },
            [this] {
                if (const pid_t Group = FGroup.load(); Group > 0)
                    ::kill(-Group, SIGKILL);
            });
    } catch (...) {
        Disconnect();
        KillAndReap();
        RemoveProfile();
        throw;
    }
}

TCalcOffice::~TCalcOffice()
{
    if (FEnded)
        return;
    // Not handed over by Quit: an office of a failed opening.
    try {
        End();
    } catch (...) {
        // A destructor cannot raise; the failed opening was reported already.
    }
}

void TCalcOffice::Launch()
{
    const std::string Binary = ProgramDir + "/soffice.bin";
    std::vector<std::string> Arguments{
        "/bin/sh",
        "-c",
        KeeperScript,
        "kelvalog-office",
        FProfile.string(),
        Binary,
        "-env:UserInstallation=" + FileUrl(FProfile),
        "--accept=pipe,name=" + FPipeName + ";urp;StarOffice.ComponentContext",
        "--nologo",
        "--norestore",
        "--nodefault",
        "--nolockcheck",
        "--nofirststartwizard",
    };
    if (FIsHeadless)
        Arguments.emplace_back("--headless");
    std::vector<char*> Argv;
    for (auto& Argument : Arguments)
        Argv.push_back(Argument.data());
    Argv.push_back(nullptr);

    // The office's temporary files go into the profile folder, so that they
    // go with it also when the office was killed.
    std::error_code Ignored;
    std::filesystem::create_directory(FProfile / "tmp", Ignored);
    std::string Temporary = "TMPDIR=" + (FProfile / "tmp").string();
    std::vector<char*> Envp;
    for (char** Variable = environ; *Variable != nullptr; ++Variable) {
        if (std::string_view(*Variable).rfind("TMPDIR=", 0) != 0)
            Envp.push_back(*Variable);
    }
    Envp.push_back(Temporary.data());
    Envp.push_back(nullptr);

    const pid_t Child = ::fork();
    if (Child < 0)
        throw EAutomationError("the office could not be started");
    if (Child == 0) {
        // Only async-signal-safe calls from here to exec. A session of its
        // own: the office outlives this program and its terminal.
        ::setsid();
        const int Null = ::open("/dev/null", O_RDWR);
        if (Null >= 0) {
            ::dup2(Null, 0);
            ::dup2(Null, 1);
            ::dup2(Null, 2);
        }
        ::execve("/bin/sh", Argv.data(), Envp.data());
        ::_exit(127);
    }
    FGroup.store(Child);
}

void TCalcOffice::Connect()
{
    const auto Local = LocalUnoContext();
    const auto Connector = css::connection::Connector::create(Local);
    const auto Deadline = std::chrono::steady_clock::now() + StartTimeout;
    Reference<css::connection::XConnection> Connection;
    while (!Connection.is()) {
        try {
            Connection = Connector->connect(ToUno("pipe,name=" + FPipeName));
        } catch (const css::connection::NoConnectException&) {
            if (WaitForExit(std::chrono::milliseconds(0)))
                throw EAutomationError("the office ended while starting");
            if (std::chrono::steady_clock::now() >= Deadline)
                throw EAutomationError("the office did not answer in time");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } catch (const css::uno::Exception& Error) {
            throw EAutomationError("no connection to the office: " + FromUno(Error.Message));
        }
    }
    try {
        const auto Factory = css::bridge::BridgeFactory::create(Local);
        FBridge = Factory->createBridge(OUString(), OUString("urp"), Connection, nullptr);
        FRemote.set(FBridge->getInstance(OUString("StarOffice.ComponentContext")), UNO_QUERY_THROW);
        FDesktop = css::frame::Desktop::create(FRemote);
    } catch (const css::uno::Exception& Error) {
        throw EAutomationError("the office refused the connection: " + FromUno(Error.Message));
    }
}

Reference<css::sheet::XSpreadsheetDocument> TCalcOffice::NewDocument()
{
    if (!FDesktop.is())
        throw EAutomationError("the office has quit");
    Reference<css::sheet::XSpreadsheetDocument> Document;
    if (FIsHeadless) {
        // Without a user interface the document needs no view, and a view
        // without windows trips the office up.
        Reference<css::frame::XLoadable> Loadable(
            FRemote->getServiceManager()->createInstanceWithContext(
                OUString("com.sun.star.sheet.SpreadsheetDocument"), FRemote),
            UNO_QUERY_THROW);
        Loadable->initNew();
        Document.set(Loadable, UNO_QUERY);
    } else {
        // Loading a document with its window takes a while.
        RunSlowStep(
            FWait, TServerActivity::Starting, StartTimeout,
            [this, &Document] {
                css::uno::Sequence<css::beans::PropertyValue> Arguments(1);
                Arguments.getArray()[0].Name = "Hidden";
                Arguments.getArray()[0].Value <<= !FShown;
                Document.set(FDesktop->loadComponentFromURL(OUString("private:factory/scalc"),
                                                            OUString("_blank"), 0, Arguments),
                             UNO_QUERY);
            },
            [this] {
                if (const pid_t Group = FGroup.load(); Group > 0)
                    ::kill(-Group, SIGKILL);
            });
    }
    if (!Document.is())
        throw EAutomationError("the office made no spreadsheet");
    if (FShown)
        Show(Document);
    return Document;
}

void TCalcOffice::Show(const Reference<css::sheet::XSpreadsheetDocument>& Document)
{
    FShown = true;
    if (FIsHeadless || !Document.is())
        return;
    Reference<css::frame::XModel> Model(Document, UNO_QUERY_THROW);
    const auto Controller = Model->getCurrentController();
    if (!Controller.is())
        return;
    const auto Frame = Controller->getFrame();
    if (!Frame.is())
        return;
    const auto Window = Frame->getContainerWindow();
    if (Window.is())
        Window->setVisible(true);
}

void TCalcOffice::Quit()
{
    if (FEnded)
        return;
    if (FIsHeadless) {
        End();
        return;
    }
    // Left to the user: the window, the workbook and the decision to save
    // them are theirs now.
    FEnded = true;
    RunSlowStep(
        FWait, TServerActivity::Closing, QuitTimeout, [this] { Disconnect(); }, [] {});
    if (const pid_t Group = FGroup.exchange(-1); Group > 0)
        ReapWhenEnded(Group);
    FProfile.clear();
    FPipeName.clear();
}

void TCalcOffice::End()
{
    FEnded = true;
    std::string Failure;
    try {
        RunSlowStep(
            FWait, TServerActivity::Closing, QuitTimeout,
            [this, &Failure] {
                try {
                    if (FDesktop.is())
                        FDesktop->terminate();
                    else
                        Failure = "the office is not connected";
                } catch (const css::uno::Exception& Error) {
                    // Mostly a bridge that went down with the office.
                    Failure = FromUno(Error.Message);
                }
                Disconnect();
                if (!WaitForExit(std::chrono::seconds(10)))
                    KillAndReap();
            },
            [this] {
                if (const pid_t Group = FGroup.load(); Group > 0)
                    ::kill(-Group, SIGKILL);
            });
    } catch (const std::exception& Error) {
        if (Failure.empty())
            Failure = Error.what();
    }
    KillAndReap();
    RemoveProfile();
    if (!Failure.empty())
        throw EAutomationError("the office could not be asked to quit: " + Failure);
}

void TCalcOffice::Disconnect()
{
    FDesktop.clear();
    FRemote.clear();
    if (FBridge.is()) {
        try {
            Reference<css::lang::XComponent>(FBridge, UNO_QUERY_THROW)->dispose();
        } catch (const css::uno::Exception&) {
        }
        FBridge.clear();
    }
}

bool TCalcOffice::WaitForExit(std::chrono::milliseconds Limit)
{
    const pid_t Group = FGroup.load();
    if (Group <= 0)
        return true;
    const auto Deadline = std::chrono::steady_clock::now() + Limit;
    for (;;) {
        int Status = 0;
        const pid_t Done = ::waitpid(Group, &Status, WNOHANG);
        if (Done == Group || (Done < 0 && errno != EINTR)) {
            FGroup.store(-1);
            // The office may outlive a keeper that was killed.
            ::kill(-Group, SIGKILL);
            return true;
        }
        if (std::chrono::steady_clock::now() >= Deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void TCalcOffice::KillAndReap()
{
    const pid_t Group = FGroup.load();
    if (Group <= 0)
        return;
    ::kill(-Group, SIGTERM);
    if (!WaitForExit(std::chrono::seconds(5))) {
        ::kill(-Group, SIGKILL);
        WaitForExit(std::chrono::seconds(5));
    }
}

void TCalcOffice::RemoveProfile()
{
    // An office that was killed leaves the sockets of its pipes behind: ours,
    // and the one through which a second start would reach it.
    std::vector<std::string> Pipes;
    if (!FPipeName.empty())
        Pipes.push_back(FPipeName);
    if (!FProfile.empty())
        Pipes.push_back(InstancePipeName(FileUrl(FProfile)));
    for (const std::string& Pipe : Pipes) {
        const std::string Socket = "OSL_PIPE_" + std::to_string(::getuid()) + '_' + Pipe;
        for (const char* Folder : {"/tmp/", "/var/tmp/"}) {
            std::error_code Error;
            const std::filesystem::path Path = Folder + Socket;
            if (std::filesystem::is_socket(Path, Error))
                std::filesystem::remove(Path, Error);
        }
    }
    if (FProfile.empty())
        return;
    std::error_code Error;
    std::filesystem::remove_all(FProfile, Error);
    FProfile.clear();
}

} // namespace kelvalog
