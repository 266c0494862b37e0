#include "settings/formstate.h"

#include "settings/inifilestore.h"
#include "settings/integertext.h"
#include "settings/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace kelvalog {

namespace {

constexpr std::int32_t ShowNormal = 1;
constexpr std::int32_t ShowMinimized = 2;
constexpr std::int32_t ShowMaximized = 3;
constexpr std::int32_t ShowMinNoActive = 6;
constexpr std::int32_t RestoreToMaximized = 2;

// Far beyond any desktop, small enough that no rectangle arithmetic overflows.
constexpr std::int32_t CoordinateLimit = 1'000'000;

std::vector<std::string_view> Words(std::string_view Text)
{
    std::vector<std::string_view> Result;
    constexpr std::string_view Separators = ", \t";
    std::size_t I = 0;
    while (true) {
        I = Text.find_first_not_of(Separators, I);
        if (I == std::string_view::npos)
            break;
        const auto End = std::min(Text.find_first_of(Separators, I), Text.size());
        Result.push_back(Text.substr(I, End - I));
        I = End;
    }
    return Result;
}

QList<QRect> AvailableAreas()
{
    QList<QRect> Areas;
    for (const QScreen* Screen : QGuiApplication::screens())
        Areas.append(Screen->availableGeometry());
    return Areas;
}

} // namespace

TWindowPlacement GetWindowPlacement(const QWidget& Window)
{
    const QRect Frame = Window.frameGeometry();
    const QRect Client = Window.geometry();
    QRect Normal = Window.normalGeometry();
    if (!Normal.isValid())
        Normal = Client;
    // The normal rectangle is kept without the frame; the file holds it with.
    const QMargins FrameMargins(Client.left() - Frame.left(), Client.top() - Frame.top(),
                                Frame.right() - Client.right(), Frame.bottom() - Client.bottom());
    const QRect Outer = Normal.marginsAdded(FrameMargins);

    TWindowPlacement P;
    const Qt::WindowStates State = Window.windowState();
    if (State & Qt::WindowMinimized) {
        P.ShowCmd = ShowMinimized;
        if (State & Qt::WindowMaximized)
            P.Flags = RestoreToMaximized;
    } else if (State & Qt::WindowMaximized) {
        P.ShowCmd = ShowMaximized;
    } else {
        P.ShowCmd = ShowNormal;
    }
    P.Left = Outer.left();
    P.Top = Outer.top();
    P.Right = Outer.left() + Outer.width();
    P.Bottom = Outer.top() + Outer.height();
    return P;
}

TFormState::TFormState(QWidget& Window, TIniFileStore* Storage) : FWindow(Window)
{
    SetStorage(Storage);
}

TFormState::~TFormState()
{
    if (FStorage)
        FStorage->RemoveFreeNotification(this);
}

void TFormState::SetStorage(TIniFileStore* Storage)
{
    if (FStorage)
        FStorage->RemoveFreeNotification(this);
    FStorage = Storage;
    if (FStorage)
        FStorage->AddFreeNotification(this, [this] {
            FStorage = nullptr;
            Active = false;
        });
}

void TFormState::Report(std::exception_ptr Error)
{
    if (OnError)
        OnError(Error);
}

void TFormState::DoCreate()
{
    if (OnCreate)
        OnCreate();
    if (!Active)
        return;
    FSaved = false;
    try {
        RestoreWindowState();
        FRestored = true;
    } catch (...) {
        Report(std::current_exception());
    }
}

void TFormState::DoCloseQuery(bool& CanClose)
{
    if (OnCloseQuery)
        OnCloseQuery(CanClose);
    if (CanClose && Active)
        Save();
}

void TFormState::DoDestroy()
{
    if (Active && !FSaved)
        Save();
    if (OnDestroy)
        OnDestroy();
}

void TFormState::Save()
{
    // A window whose restore never completed must not overwrite what is stored.
    if (!FRestored && Active)
        return;
    try {
        SaveWindowState();
        FSaved = true;
    } catch (...) {
        Report(std::current_exception());
    }
}

void TFormState::RestoreWindowState()
{
    if (!FStorage)
        return;
    TIniFileStore& Store = *FStorage;
    TStoreUse Open(Store);

    const std::int32_t Ppi = FWindow.logicalDpiY();
    if (Store.ReadIntegerValue(Section, "PixelsPerInch", Ppi) != Ppi)
        return;

    TWindowPlacement P = GetWindowPlacement(FWindow);
    if (const auto Flags = IntegerFromText(Store.ReadTextValue(Section, "Flags", "")))
        P.Flags = *Flags;

    const std::string NormalPos = Store.ReadTextValue(Section, "NormalPos", "");
    if (NormalPos.empty())
        return;
    FAutoPlacement = false;

    // Only the position comes back: the window has a fixed size.
    const QRect Frame = FWindow.frameGeometry();
    const std::vector<std::string_view> W = Words(NormalPos);
    const std::array<std::int32_t, 2> Current{Frame.left(), Frame.top()};
    std::array<std::int32_t, 2> Pos{};
    for (std::size_t I = 0; I < Pos.size(); ++I) {
        const auto Value = I < W.size() ? IntegerFromText(W[I]) : std::nullopt;
        Pos[I] = std::clamp(Value.value_or(Current[I]), -CoordinateLimit, CoordinateLimit);
    }
    const int Width = Frame.width();
    const int Height = Frame.height();
    bool Applied = false;
    if (Width > 0) {
        const QPoint Where = PositionInView(QRect(Pos[0], Pos[1], Width, Height), AvailableAreas());
        FWindow.move(Where);
        Applied = true;
    }

    const std::int32_t ShowCmd = IntegerFromTextDef(Store.ReadTextValue(Section, "ShowCmd", ""), 0);
    Qt::WindowStates State = Qt::WindowNoState;
    if (ShowCmd == ShowMinimized || ShowCmd == ShowMinNoActive) {
        State = Qt::WindowMinimized;
        if (Applied && (P.Flags & RestoreToMaximized))
            State |= Qt::WindowMaximized;
    } else if (ShowCmd == ShowMaximized) {
        State = Qt::WindowMaximized;
    }
    FWindow.setWindowState(State);
}

void TFormState::SaveWindowState()
{
    if (!FStorage)
        return;
    TIniFileStore& Store = *FStorage;
    TStoreUse Open(Store);

    const TWindowPlacement P = GetWindowPlacement(FWindow);
    Store.WriteIntegerValue(Section, "Flags", P.Flags);
    Store.WriteIntegerValue(Section, "ShowCmd", P.ShowCmd);
    Store.WriteTextValue(Section, "NormalPos",
                         std::to_string(P.Left) + "," + std::to_string(P.Top) + "," +
                             std::to_string(P.Right) + "," + std::to_string(P.Bottom));
    Store.WriteIntegerValue(Section, "PixelsPerInch", FWindow.logicalDpiY());
    Store.WriteIntegerValue(Section, "Color", Color);
    Open.Close();
}

} // namespace kelvalog
