#pragma once

#include "acquisition/trendstore.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace kelvalog {

class TTrendPlot;

// The trend window: one plot per kind of quantity of the chosen board, over
// a span that follows the newest tick unless paused.
class TTrendWindow : public QWidget
{
    Q_OBJECT

public:
    // The spans offered, in seconds; 0 is "All".
    static constexpr std::array<int, 5> Spans = {600, 3600, 8 * 3600, 24 * 3600, 0};

    explicit TTrendWindow(const TTrendStore& Store, QWidget* Parent = nullptr);
    ~TTrendWindow() override;

    // The board decides the plots and their channels.
    void SetBoard(int Board);
    int Board() const { return FBoard; }
    // Whether the filtered lines are drawn.
    void SetFiltered(bool Filtered);
    void SetDecimalSeparator(char Separator) { FDecimalSeparator = Separator; }

    // The span in seconds (one of Spans).
    int Span() const;
    void SetSpan(int Seconds);
    bool Paused() const;
    void SetPaused(bool Paused);

    // Draws what the store holds now; a paused view keeps its times.
    void Refresh();
    // The view's current times.
    std::int64_t ViewFrom() const { return FFrom; }
    std::int64_t ViewTo() const { return FTo; }

    // Every channel's values at a time, as the read-out shows them.
    QString ReadOutText(std::int64_t Time) const;
    void ShowReadOut(std::int64_t Time);
    // The plots as a PNG picture; false when it could not be written.
    bool SavePicture(const QString& Path) const;

    const std::vector<TTrendPlot*>& Plots() const { return FPlots; }

    QComboBox* SpanList = nullptr;
    QToolButton* PauseButton = nullptr;
    QPushButton* SavePictureButton = nullptr;
    // Shown while OnExport is set.
    QPushButton* ExportButton = nullptr;
    // Shown once SetLiveFeed gave it a handler.
    QPushButton* LiveFeedButton = nullptr;
    QLabel* ReadOut = nullptr;

    // The window was shown or hidden (also by its own close box).
    std::function<void(bool)> OnShownChanged;
    // "Export…" was clicked; the view's times. Set it with SetExport.
    std::function<void(std::int64_t From, std::int64_t To)> OnExport;
    void SetExport(std::function<void(std::int64_t From, std::int64_t To)> Handler);
    // "Live feed…" was clicked.
    void SetLiveFeed(std::function<void()> Handler);

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;

private:
    const TTrendStore& FStore;
    int FBoard = -2;
    bool FFiltered = false;
    char FDecimalSeparator = '.';
    std::int64_t FFrom = 0, FTo = 0;
    QWidget* FPlotArea = nullptr;
    std::vector<TTrendPlot*> FPlots;

    void BuildPlots();
    void ChooseTimes();
    void AlignPlots();
    void SavePictureClick();
    QString Number(float Value) const;
};

} // namespace kelvalog
