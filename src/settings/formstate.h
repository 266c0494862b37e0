#pragma once

#include <QRect>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace kelvalog {

class TIniFileStore;

// The window's placement as the settings file keeps it.
struct TWindowPlacement
{
    // 2 when a minimised window is to come back maximised, else 0.
    std::int32_t Flags = 0;
    // 1 normal, 2 minimised, 3 maximised.
    std::int32_t ShowCmd = 1;
    // Outer rectangle (frame included) in the normal state; right and bottom
    // lie one past the last pixel.
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

TWindowPlacement GetWindowPlacement(const QWidget& Window);

// Keeps the main window's position and show state in the settings file. The
// window routes its creation, close query and destruction through DoCreate,
// DoCloseQuery and DoDestroy, which call the window's own handlers and then
// restore or save the placement.
class TFormState
{
public:
    // The system button-face colour code, which the main window uses.
    static constexpr std::int32_t clBtnFace = static_cast<std::int32_t>(0xFF00000Fu);

    TFormState(QWidget& Window, TIniFileStore* Storage);
    ~TFormState();
    TFormState(const TFormState&) = delete;
    TFormState& operator=(const TFormState&) = delete;

    // While false nothing is restored and the hooks only pass events on.
    bool Active = true;
    std::string Section = "TMainForm";
    // Written as "Color"; never read back.
    std::int32_t Color = clBtnFace;

    TIniFileStore* Storage() const { return FStorage; }
    void SetStorage(TIniFileStore* Storage);
    bool Restored() const { return FRestored; }
    bool Saved() const { return FSaved; }
    // False once a stored position has been applied: the window must then not
    // centre itself when it is shown.
    bool AutoPlacement() const { return FAutoPlacement; }

    // The window's own handlers.
    std::function<void()> OnCreate;
    std::function<void(bool& CanClose)> OnCloseQuery;
    std::function<void()> OnDestroy;
    // The application's error handler; receives what restoring or saving
    // raised (an EIniFileError when the file cannot be written).
    std::function<void(std::exception_ptr)> OnError;

    // Hooks. Errors of the window's own handlers pass through unchanged.
    void DoCreate();
    void DoCloseQuery(bool& CanClose);
    void DoDestroy();

    // Both run during creation and closing; they open and close the store.
    void RestoreWindowState();
    void SaveWindowState();

private:
    QWidget& FWindow;
    TIniFileStore* FStorage = nullptr;
    bool FRestored = false;
    bool FSaved = false;
    bool FAutoPlacement = true;

    void Save();
    void Report(std::exception_ptr Error);
};

} // namespace kelvalog
