// The trend: its button in the top bar, its window, the ticks it records and
// its own section of the settings file.

#include "acquisition/trendstore.h"
#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/mainformtrend.h"
#include "controls/dropdownlist.h"
#include "settings/inifilestore.h"
#include "trend/trendwindow.h"

#include <QComboBox>
#include <QFrame>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

namespace kelvalog {

namespace {

constexpr const char* Section = "Trend";
constexpr QSize DefaultSize(900, 600);
constexpr QSize SmallestSize(320, 240);

std::int64_t SystemMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

const TTrendStore& TMainForm::TrendStore() const
{
    return FTrend->Store;
}

TTrendWindow* TMainForm::TrendWindow() const
{
    return FTrend->Window.get();
}

void TMainForm::CreateTrend()
{
    FTrend = std::make_unique<TMainFormTrend>();
    if (FOptions.TrendClock)
        FTrend->Clock = [Clock = FOptions.TrendClock] { return Clock() * 1000; };
    else
        FTrend->Clock = SystemMicroseconds;

    FTopPanel->AddTrendAction();
    connect(FTopPanel->TrendAction(), &QToolButton::clicked, this,
            [this] { Guarded([this] { TrendActionExecute(); }); });
    connect(FTopPanel->UsedBoardComboBox(), &QComboBox::activated, this, [this] {
        if (FTrend->Window)
            FTrend->Window->SetBoard(Board());
    });
}

void TMainForm::TrendActionExecute()
{
    if (!FTrend->Window) {
        auto Window = std::make_unique<TTrendWindow>(FTrend->Store, this);
        Window->SetDecimalSeparator(Locale().DecimalSeparator);
        Window->SetSpan(FTrend->Span);
        if (FTrend->Place) {
            Window->resize(FTrend->Place->size().expandedTo(SmallestSize));
            Window->move(FTrend->Place->topLeft());
        } else {
            Window->resize(DefaultSize);
        }
        Window->OnShownChanged = [this](bool Shown) {
            FTrend->Shown = Shown;
            FTopPanel->TrendAction()->setChecked(Shown);
        };
        ConnectHistoryExport(*Window);
        ConnectLiveFeed(*Window);
        FTrend->Window = std::move(Window);
        FTrend->Known = true;
    }
    TTrendWindow& Window = *FTrend->Window;
    if (Window.isVisible()) {
        Window.hide();
        return;
    }
    Window.SetBoard(Board());
    Window.SetFiltered(FFilterPanel->FilterType()->ItemIndex() != 0);
    Window.show();
    Window.raise();
}

void TMainForm::TrendTick()
{
    constexpr float None = std::numeric_limits<float>::quiet_NaN();
    const bool Filtering = FFilterPanel->FilterType()->ItemIndex() == 1 ||
                           FFilterPanel->FilterType()->ItemIndex() == 2;
    TTrendTick Tick;
    Tick.Time = FTickTime >= 0 ? FTickTime / 1000 : -((-FTickTime + 999) / 1000);
    for (int I = 0; I < Channels.size(); ++I) {
        const TChannel& Channel = Channels[I];
        Tick.Sample[I] = Channel.Valid ? Channel.Sample : None;
        Tick.Filtered[I] = Channel.Valid && Filtering ? Channel.Filtered : None;
    }
    FTrend->Store.Append(Tick);
    if (FTrend->Window && FTrend->Window->isVisible()) {
        FTrend->Window->SetBoard(Board());
        FTrend->Window->SetFiltered(Filtering);
        FTrend->Window->Refresh();
    }
}

void TMainForm::TrendBreak()
{
    FTrend->Store.Break();
}

void TMainForm::LoadTrendSettings()
{
    TStoreUse Use(*IniFileStore);
    const std::string Shown = IniFileStore->ReadTextValue(Section, "Shown", "");
    FTrend->Known = !Shown.empty();
    if (!FTrend->Known)
        return;
    FTrend->Span = IniFileStore->ReadIntegerValue(Section, "Span", FTrend->Span);
    const auto Spans = TTrendWindow::Spans;
    if (std::find(Spans.begin(), Spans.end(), FTrend->Span) == Spans.end())
        FTrend->Span = TMainFormTrend::DefaultSpan;
    constexpr std::int32_t Missing = std::numeric_limits<std::int32_t>::min();
    const std::int32_t Left = IniFileStore->ReadIntegerValue(Section, "Left", Missing);
    const std::int32_t Top = IniFileStore->ReadIntegerValue(Section, "Top", Missing);
    const std::int32_t Width = IniFileStore->ReadIntegerValue(Section, "Width", Missing);
    const std::int32_t Height = IniFileStore->ReadIntegerValue(Section, "Height", Missing);
    if (Left != Missing && Top != Missing && Width > 0 && Height > 0)
        FTrend->Place = QRect(Left, Top, Width, Height);
    if (IniFileStore->ReadIntegerValue(Section, "Shown", 0) == 1)
        TrendActionExecute();
}

void TMainForm::SaveTrendSettings()
{
    if (!FTrend->Known)
        return;
    if (const TTrendWindow* Window = FTrend->Window.get()) {
        FTrend->Span = Window->Span();
        FTrend->Place = QRect(Window->pos(), Window->size());
    }
    TStoreUse Use(*IniFileStore);
    IniFileStore->WriteIntegerValue(Section, "Shown", FTrend->Shown ? 1 : 0);
    IniFileStore->WriteIntegerValue(Section, "Span", FTrend->Span);
    if (FTrend->Place) {
        IniFileStore->WriteIntegerValue(Section, "Left", FTrend->Place->left());
        IniFileStore->WriteIntegerValue(Section, "Top", FTrend->Place->top());
        IniFileStore->WriteIntegerValue(Section, "Width", FTrend->Place->width());
        IniFileStore->WriteIntegerValue(Section, "Height", FTrend->Place->height());
    }
}

void TMainForm::CloseTrend()
{
    // The trend's settings come after the window's own, so those keep their
    // place in a new file.
    Guarded([this] { SaveTrendSettings(); });
    if (FTrend->Window)
        FTrend->Window->hide();
}

} // namespace kelvalog
