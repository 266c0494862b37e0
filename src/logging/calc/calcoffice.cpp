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

OUString ToUno(const std::string& text)
{
    return OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

std::string FromUno(const OUString& text)
{
    return text.toUtf8().getStr();
}

namespace {

const std::string ProgramDir = KELVALOG_OFFICE_PROGRAM_DIR;

} // namespace

// It carries the office's type libraries that the bridge needs to marshal
// calls.
Reference<css::uno::XComponentContext> LocalUnoContext()
{
    static std::mutex lock;
    static Reference<css::uno::XComponentContext> context;
    std::lock_guard guard(lock);
    if (!context.is()) {
        rtl::Bootstrap::set(OUString("URE_BOOTSTRAP"),
                            ToUno("vnd.sun.star.pathname:" + ProgramDir + "/fundamentalrc"));
        try {
            context = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception& error) {
            throw EAutomationError("UNO runtime could not start: " + FromUno(error.Message));
        } catch (...) {
            throw EAutomationError("UNO runtime could not start");
        }
    }
    return context;
}

namespace {

bool HasFileStartingWith(const std::filesystem::path& folder, std::string_view prefix,
                         std::string_view suffix = {})
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() >= prefix.size() + suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
}

// Calc shows a window where there is a display, the office has a window
// system plug-in, and Calc has its window descriptions: the Calc without a
// GUI ships none, and its windows abort the office.
bool CanShowWindows()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0'))
        return false;
    const std::filesystem::path program = ProgramDir;
    return HasFileStartingWith(program, "libvclplug_") &&
           HasFileStartingWith(program / ".." / "share" / "config" / "soffice.cfg" / "modules" /
                                   "scalc" / "ui",
                               "", ".ui");
}

std::string NewPipeName()
{
    static std::atomic<unsigned> counter{0};
    return "kelvalog_calc_" + std::to_string(::getpid()) + '_' + std::to_string(++counter) + '_' +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

std::filesystem::path NewProfileFolder()
{
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    // The office reads its profile path in its own locale: keep to ASCII.
    const std::string text = base.string();
    if (error || std::any_of(text.begin(), text.end(),
                             [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        base = "/tmp";
    std::string pattern = (base / "kelvalog-calc-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)
        throw EAutomationError("no profile folder for the office");
    return std::filesystem::path(buffer.data());
}

// A file URL of a local path, every byte outside the unreserved characters
// percent-encoded.
std::string FileUrl(const std::filesystem::path& path)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view("/-._~").find(c) != std::string_view::npos) {
            url += c;
        } else {
            url += '%';
            url += hex[byte >> 4];
            url += hex[byte & 0x0F];
        }
    }
    return url;
}

// The office's pipe for later starts in the same profile: named after the
// MD5 digest of the profile's URL in UTF-16, each byte in hex without
// leading zero.
std::string InstancePipeName(const std::string& profileUrl)
{
    const OUString url = ToUno(profileUrl);
    sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5] = {};
    if (rtl_digest_MD5(url.getStr(), static_cast<sal_uInt32>(url.getLength() * sizeof(sal_Unicode)),
                       digest, sizeof digest) != rtl_Digest_E_None)
        return {};
    static const char* const hex = "0123456789abcdef";
    std::string name = "SingleOfficeIPC_";
    for (const sal_uInt8 byte : digest) {
        if (byte >= 0x10)
            name += hex[byte >> 4];
        name += hex[byte & 0x0F];
    }
    return name;
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
    const char* value = std::getenv(HeadlessOfficeVariable);
    return value != nullptr && std::string_view(value) == "1";
}

// Waits for a child without a time limit, so that an office left to the user
// does not stay behind as a zombie once it ends.
void ReapWhenEnded(pid_t child)
{
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

bool CalcCanShowWindows()
{
    return CanShowWindows();
}

void RunSlowStep(IServerWait* wait, TServerActivity activity, std::chrono::milliseconds limit,
                 const std::function<void()>& step, const std::function<void()>& abort)
{
    auto running = std::async(std::launch::async, step);
    if (wait != nullptr)
        wait->Begin(activity);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool cut = false;
    try {
        while (running.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            if (!cut && std::chrono::steady_clock::now() >= deadline) {
                cut = true;
                abort();
            }
            if (wait != nullptr)
                wait->Pump();
        }
    } catch (...) {
        // The step must not outlive what it works on.
        if (!cut)
            abort();
        running.wait();
        if (wait != nullptr)
            wait->End();
        throw;
    }
    if (wait != nullptr)
        wait->End();
    if (cut) {
        try {
            running.get();
        } catch (...) {
        }
        throw EAutomationError("the office did not answer in time");
    }
    running.get();
}

TCalcOffice::TCalcOffice(IServerWait* wait) : Wait(wait)
{
    // A write into the pipe of an office that has died must fail the call,
    // not end this program.
    struct sigaction current = {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);

    // A sheet nobody can see vanishes with its office: refuse it.
    IsHeadless = HeadlessRequested();
    if (!IsHeadless && !CanShowWindows())
        throw EAutomationError("the office cannot show a window here");
    try {
        RunSlowStep(
            Wait, TServerActivity::Starting, StartTimeout + std::chrono::seconds(5),
            [this] {
                LocalUnoContext();
                Profile = NewProfileFolder();
                PipeName = NewPipeName();
                Launch();
                Connect();
            },
            [this] {
                if (const pid_t group = Group.load(); group > 0)
                    ::kill(-group, SIGKILL);
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
    if (Ended)
        return;
    // Not handed over by Quit: an office of a failed opening.
    try {
        End();
    } catch (...) {
    }
}

void TCalcOffice::Launch()
{
    const std::string binary = ProgramDir + "/soffice.bin";
    std::vector<std::string> arguments{
        "/bin/sh",
        "-c",
        KeeperScript,
        "kelvalog-office",
        Profile.string(),
        binary,
        "-env:UserInstallation=" + FileUrl(Profile),
        "--accept=pipe,name=" + PipeName + ";urp;StarOffice.ComponentContext",
        "--nologo",
        "--norestore",
        "--nodefault",
        "--nolockcheck",
        "--nofirststartwizard",
    };
    if (IsHeadless)
        arguments.emplace_back("--headless");
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The office's temporary files go into the profile folder, so that they
    // go with it also when the office was killed.
    std::error_code ignored;
    std::filesystem::create_directory(Profile / "tmp", ignored);
    std::string temporary = "TMPDIR=" + (Profile / "tmp").string();
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::string_view(*variable).rfind("TMPDIR=", 0) != 0)
            envp.push_back(*variable);
    }
    envp.push_back(temporary.data());
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0)
        throw EAutomationError("the office could not be started");
    if (child == 0) {
        // Only async-signal-safe calls from here to exec. A session of its
        // own: the office outlives this program and its terminal.
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::execve("/bin/sh", argv.data(), envp.data());
        ::_exit(127);
    }
    Group.store(child);
}

void TCalcOffice::Connect()
{
    const auto local = LocalUnoContext();
    const auto connector = css::connection::Connector::create(local);
    const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
    Reference<css::connection::XConnection> connection;
    while (!connection.is()) {
        try {
            connection = connector->connect(ToUno("pipe,name=" + PipeName));
        } catch (const css::connection::NoConnectException&) {
            if (WaitForExit(std::chrono::milliseconds(0)))
                throw EAutomationError("the office ended while starting");
            if (std::chrono::steady_clock::now() >= deadline)
                throw EAutomationError("the office did not answer in time");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } catch (const css::uno::Exception& error) {
            throw EAutomationError("no connection to the office: " + FromUno(error.Message));
        }
    }
    try {
        const auto factory = css::bridge::BridgeFactory::create(local);
        Bridge = factory->createBridge(OUString(), OUString("urp"), connection, nullptr);
        Remote.set(Bridge->getInstance(OUString("StarOffice.ComponentContext")), UNO_QUERY_THROW);
        Desktop = css::frame::Desktop::create(Remote);
    } catch (const css::uno::Exception& error) {
        throw EAutomationError("the office refused the connection: " + FromUno(error.Message));
    }
}

Reference<css::sheet::XSpreadsheetDocument> TCalcOffice::NewDocument()
{
    if (!Desktop.is())
        throw EAutomationError("the office has quit");
    Reference<css::sheet::XSpreadsheetDocument> document;
    if (IsHeadless) {
        // Without a user interface the document needs no view, and a view
        // without windows trips the office up.
        Reference<css::frame::XLoadable> loadable(
            Remote->getServiceManager()->createInstanceWithContext(
                OUString("com.sun.star.sheet.SpreadsheetDocument"), Remote),
            UNO_QUERY_THROW);
        loadable->initNew();
        document.set(loadable, UNO_QUERY);
    } else {
        // Loading a document with its window takes a while.
        RunSlowStep(
            Wait, TServerActivity::Starting, StartTimeout,
            [this, &document] {
                css::uno::Sequence<css::beans::PropertyValue> arguments(1);
                arguments.getArray()[0].Name = "Hidden";
                arguments.getArray()[0].Value <<= !Shown;
                document.set(Desktop->loadComponentFromURL(OUString("private:factory/scalc"),
                                                           OUString("_blank"), 0, arguments),
                             UNO_QUERY);
            },
            [this] {
                if (const pid_t group = Group.load(); group > 0)
                    ::kill(-group, SIGKILL);
            });
    }
    if (!document.is())
        throw EAutomationError("the office made no spreadsheet");
    if (Shown)
        Show(document);
    return document;
}

void TCalcOffice::Show(const Reference<css::sheet::XSpreadsheetDocument>& document)
{
    Shown = true;
    if (IsHeadless || !document.is())
        return;
    Reference<css::frame::XModel> model(document, UNO_QUERY_THROW);
    const auto controller = model->getCurrentController();
    if (!controller.is())
        return;
    const auto frame = controller->getFrame();
    if (!frame.is())
        return;
    const auto window = frame->getContainerWindow();
    if (window.is())
        window->setVisible(true);
}

void TCalcOffice::Quit()
{
    if (Ended)
        return;
    if (IsHeadless) {
        End();
        return;
    }
    // Left to the user: the window, the workbook and the decision to save
    // them are theirs now.
    Ended = true;
    RunSlowStep(
        Wait, TServerActivity::Closing, QuitTimeout, [this] { Disconnect(); }, [] {});
    if (const pid_t group = Group.exchange(-1); group > 0)
        ReapWhenEnded(group);
    Profile.clear();
    PipeName.clear();
}

void TCalcOffice::End()
{
    Ended = true;
    std::string failure;
    try {
        RunSlowStep(
            Wait, TServerActivity::Closing, QuitTimeout,
            [this, &failure] {
                try {
                    if (Desktop.is())
                        Desktop->terminate();
                    else
                        failure = "the office is not connected";
                } catch (const css::uno::Exception& error) {
                    // Mostly a bridge that went down with the office.
                    failure = FromUno(error.Message);
                }
                Disconnect();
                if (!WaitForExit(std::chrono::seconds(10)))
                    KillAndReap();
            },
            [this] {
                if (const pid_t group = Group.load(); group > 0)
                    ::kill(-group, SIGKILL);
            });
    } catch (const std::exception& error) {
        if (failure.empty())
            failure = error.what();
    }
    KillAndReap();
    RemoveProfile();
    if (!failure.empty())
        throw EAutomationError("the office could not be asked to quit: " + failure);
}

void TCalcOffice::Disconnect()
{
    Desktop.clear();
    Remote.clear();
    if (Bridge.is()) {
        try {
            Reference<css::lang::XComponent>(Bridge, UNO_QUERY_THROW)->dispose();
        } catch (const css::uno::Exception&) {
        }
        Bridge.clear();
    }
}

bool TCalcOffice::WaitForExit(std::chrono::milliseconds limit)
{
    const pid_t group = Group.load();
    if (group <= 0)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(group, &status, WNOHANG);
        if (done == group || (done < 0 && errno != EINTR)) {
            Group.store(-1);
            // The office may outlive a keeper that was killed.
            ::kill(-group, SIGKILL);
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void TCalcOffice::KillAndReap()
{
    const pid_t group = Group.load();
    if (group <= 0)
        return;
    ::kill(-group, SIGTERM);
    if (!WaitForExit(std::chrono::seconds(5))) {
        ::kill(-group, SIGKILL);
        WaitForExit(std::chrono::seconds(5));
    }
}

void TCalcOffice::RemoveProfile()
{
    // An office that was killed leaves the sockets of its pipes behind: ours,
    // and the one through which a second start would reach it.
    std::vector<std::string> pipes;
    if (!PipeName.empty())
        pipes.push_back(PipeName);
    if (!Profile.empty())
        pipes.push_back(InstancePipeName(FileUrl(Profile)));
    for (const std::string& pipe : pipes) {
        const std::string socket = "OSL_PIPE_" + std::to_string(::getuid()) + '_' + pipe;
        for (const char* folder : {"/tmp/", "/var/tmp/"}) {
            std::error_code error;
            const std::filesystem::path path = folder + socket;
            if (std::filesystem::is_socket(path, error))
                std::filesystem::remove(path, error);
        }
    }
    if (Profile.empty())
        return;
    std::error_code error;
    std::filesystem::remove_all(Profile, error);
    Profile.clear();
}

} // namespace kelvalog
