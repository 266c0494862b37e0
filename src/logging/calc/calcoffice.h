#pragma once

#include "logging/automation/serverwait.h"

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>

namespace kelvalog {

// Texts between this program (UTF-8) and the office.
rtl::OUString ToUno(const std::string& text);
std::string FromUno(const rtl::OUString& text);

// The local UNO context (made once per process) that bridges to an office
// are built on.
css::uno::Reference<css::uno::XComponentContext> LocalUnoContext();

// Set to "1", the office runs without a window even where it could show one.
// For tests only: nobody could see or keep such a sheet.
inline constexpr const char* HeadlessOfficeVariable = "KELVALOG_TEST_HEADLESS_OFFICE";

// True where the office can show Calc in a window: a display, a window
// system plug-in and Calc's window descriptions.
bool CalcCanShowWindows();

// Runs `step` on a thread of its own while `wait` (when given) keeps the
// window alive. A step still running after `limit` is cut short by `abort`
// and the call raises EAutomationError; a failure of the step is passed on.
void RunSlowStep(IServerWait* wait, TServerActivity activity, std::chrono::milliseconds limit,
                 const std::function<void()>& step, const std::function<void()>& abort);

// A LibreOffice Calc process of our own: a private profile folder, a private
// pipe and the UNO bridge to it. With a display the office shows its window
// and, once the log is done with it (Quit), it is left to the user: it runs
// on after the log and after this program, and a keeper shell removes the
// profile when the office has ended. Without a display, or with an office
// that has no user interface, no office is started (the constructor raises),
// unless the tests ask for a headless one (HeadlessOfficeVariable).
class TCalcOffice
{
public:
    static constexpr std::chrono::seconds StartTimeout{60};
    static constexpr std::chrono::seconds QuitTimeout{15};

    // Starts the office and connects to it; raises EAutomationError when it
    // cannot show a window, cannot be started or does not answer in time,
    // and then leaves neither process nor profile behind.
    explicit TCalcOffice(IServerWait* wait = nullptr);
    // Ends an office that was not left to the user by Quit.
    ~TCalcOffice();
    TCalcOffice(const TCalcOffice&) = delete;
    TCalcOffice& operator=(const TCalcOffice&) = delete;

    bool Headless() const { return IsHeadless; }
    // The keeper shell; it leads the process group of the office.
    pid_t ProcessGroup() const { return Group.load(); }
    const std::filesystem::path& ProfileFolder() const { return Profile; }
    const std::string& Pipe() const { return PipeName; }

    // A new, empty spreadsheet document; its window stays hidden until Show.
    css::uno::Reference<css::sheet::XSpreadsheetDocument> NewDocument();
    void Show(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document);

    // The log is done with the office. With a window the office is left to
    // the user, who may still save the workbook; headless, it is asked to end
    // (then killed when it does not) and its profile removed. Does nothing
    // more after the first time; raises when the office could not be reached.
    void Quit();

    const css::uno::Reference<css::uno::XComponentContext>& Context() const { return Remote; }

private:
    void Launch();
    void Connect();
    void Disconnect();
    void End();
    // Waits up to `limit` for the keeper shell to end; true when it has.
    bool WaitForExit(std::chrono::milliseconds limit);
    void KillAndReap();
    void RemoveProfile();

    IServerWait* Wait = nullptr;
    bool IsHeadless = true;
    // Written by the starting thread, read by the one that may cut it short.
    std::atomic<pid_t> Group{-1};
    std::filesystem::path Profile;
    std::string PipeName;
    css::uno::Reference<css::bridge::XBridge> Bridge;
    css::uno::Reference<css::uno::XComponentContext> Remote;
    css::uno::Reference<css::frame::XDesktop2> Desktop;
    bool Shown = false;
    bool Ended = false;
};

} // namespace kelvalog
