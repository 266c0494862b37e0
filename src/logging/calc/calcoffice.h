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
rtl::OUString ToUno(const std::string& Text);
std::string FromUno(const rtl::OUString& Text);

// The local UNO context (made once per process) that bridges to an office
// are built on.
css::uno::Reference<css::uno::XComponentContext> LocalUnoContext();

// Set to "1", the office runs without a window even where it could show one.
// For tests only: nobody could see or keep such a sheet.
inline constexpr const char* HeadlessOfficeVariable = "KELVALOG_TEST_HEADLESS_OFFICE";

// True where the office can show Calc in a window: a display, a window
// system plug-in and Calc's window descriptions.
bool CalcCanShowWindows();

// Runs `Step` on a thread of its own while `Wait` (when given) keeps the
// window alive. A step still running after `Limit` is cut short by `Abort`
// and the call raises EAutomationError; a failure of the step is passed on.
void RunSlowStep(IServerWait* Wait, TServerActivity Activity, std::chrono::milliseconds Limit,
                 const std::function<void()>& Step, const std::function<void()>& Abort);

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
    explicit TCalcOffice(IServerWait* Wait = nullptr);
    // Ends an office that was not left to the user by Quit.
    ~TCalcOffice();
    TCalcOffice(const TCalcOffice&) = delete;
    TCalcOffice& operator=(const TCalcOffice&) = delete;

    bool Headless() const { return FIsHeadless; }
    // The keeper shell; it leads the process group of the office.
    pid_t ProcessGroup() const { return FGroup.load(); }
    const std::filesystem::path& ProfileFolder() const { return FProfile; }
    const std::string& Pipe() const { return FPipeName; }

    // A new, empty spreadsheet document; its window stays hidden until Show.
    css::uno::Reference<css::sheet::XSpreadsheetDocument> NewDocument();
    void Show(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& Document);

    // The log is done with the office. With a window the office is left to
    // the user, who may still save the workbook; headless, it is asked to end
    // (then killed when it does not) and its profile removed. Does nothing
    // more after the first time; raises when the office could not be reached.
    void Quit();

    const css::uno::Reference<css::uno::XComponentContext>& Context() const { return FRemote; }

private:
    void Launch();
    void Connect();
    void Disconnect();
    void End();
    // Waits up to `Limit` for the keeper shell to end; true when it has.
    bool WaitForExit(std::chrono::milliseconds Limit);
    void KillAndReap();
    void RemoveProfile();

    IServerWait* FWait = nullptr;
    bool FIsHeadless = true;
    // Written by the starting thread, read by the one that may cut it short.
    std::atomic<pid_t> FGroup{-1};
    std::filesystem::path FProfile;
    std::string FPipeName;
    css::uno::Reference<css::bridge::XBridge> FBridge;
    css::uno::Reference<css::uno::XComponentContext> FRemote;
    css::uno::Reference<css::frame::XDesktop2> FDesktop;
    bool FShown = false;
    bool FEnded = false;
};

} // namespace kelvalog
