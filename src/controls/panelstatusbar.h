#pragma once

// Status bar of panels side by side from the left, each as wide as its Width
// except the last, which reaches the bar's right end. A text panel shows its
// text; a container panel holds a widget fitted into the panel inset by one
// pixel on each side, inside a raised bevel. At most MaxPanels panels.

#include <QString>
#include <QWidget>

#include <vector>

namespace kelvalog {

class TPanelStatusBar : public QWidget
{
public:
    static constexpr int MaxPanels = 128;

    enum class TBevel { None, Lowered, Raised };

    struct TPanel
    {
        int Width = 50;
        TBevel Bevel = TBevel::Lowered;
        QString Text;
        QWidget* Control = nullptr; // set: a container panel
    };

    explicit TPanelStatusBar(QWidget* Parent = nullptr);

    // Adds a text panel; returns its index. Throws std::length_error past
    // MaxPanels.
    int AddTextPanel(int Width, TBevel Bevel = TBevel::Lowered);
    // Adds a container panel holding Control (reparented into the bar).
    int AddContainerPanel(int Width, QWidget* Control, TBevel Bevel = TBevel::Raised);

    int PanelCount() const { return static_cast<int>(FPanels.size()); }
    const TPanel& Panel(int Index) const { return FPanels.at(static_cast<std::size_t>(Index)); }
    void setPanelText(int Index, const QString& Text);
    void setPanelWidth(int Index, int Width);

    // The rectangle a panel takes in the bar.
    QRect PanelRect(int Index) const;

    QSize sizeHint() const override { return {641, 19}; }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    int addPanel(TPanel Panel);
    void placeControls();

    std::vector<TPanel> FPanels;
};

} // namespace kelvalog
