#pragma once

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace kelvalog {

// Texts between this program (UTF-8) and the office.
rtl::OUString ToUno(const std::string& text);
std::string FromUno(const rtl::OUString& text);

// A LibreOffice process of our own: private profile folder, private pipe,
// and the UNO bridge to it. Start raises EAutomationError when the office
// cannot be started or does not answer in time. Make it on a thread that
// lives as long as the office should (the window thread): the office is told
// to end when the thread that started it ends.
class TCalcOffice
{
public:
    static constexpr std::chrono::seconds StartTimeout{60};

    TCalcOffice();
    // Ends the office unless it shows a window that the user may still
    // work in (then it is left running).
    ~TCalcOffice();
    TCalcOffice(const TCalcOffice&) = delete;
    TCalcOffice& operator=(const TCalcOffice&) = delete;

    // True when the office runs without any window (no display, or an
    // office built without a user interface).
    bool Headless() const { return IsHeadless; }
    pid_t ProcessId() const { return Process; }

    // A new, empty spreadsheet document; hidden until Show.
    css::uno::Reference<css::sheet::XSpreadsheetDocument> NewDocument();
    void Show(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& document);

    // Asks the office to end and waits for it (bounded), then kills what is
    // left. Does nothing more after the first time.
    void Quit();

    const css::uno::Reference<css::uno::XComponentContext>& Context() const { return Remote; }

private:
    void Launch();
    void Connect();
    void Disconnect();
    // Waits up to `limit` for the process to end; true when it has.
    bool WaitForExit(std::chrono::milliseconds limit);
    void KillAndReap();
    void RemoveProfile();

    bool IsHeadless = true;
    static constexpr int RestartExitCode = 81;
    pid_t Process = -1;
    int ExitCode = 0;
    std::filesystem::path Profile;
    std::string PipeName;
    css::uno::Reference<css::bridge::XBridge> Bridge;
    css::uno::Reference<css::uno::XComponentContext> Remote;
    css::uno::Reference<css::frame::XDesktop2> Desktop;
    bool Shown = false;
    bool Ended = false;
};

} // namespace kelvalog
