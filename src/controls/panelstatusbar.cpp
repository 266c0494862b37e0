#include "controls/panelstatusbar.h"

#include <QPainter>
#include <qdrawutil.h>

#include <stdexcept>

namespace kelvalog {

namespace {
constexpr int TopMargin = 2; // panels start below the bar's top line
} // namespace

TPanelStatusBar::TPanelStatusBar(QWidget* Parent) : QWidget(Parent) {}

int TPanelStatusBar::addPanel(TPanel Panel)
{
    if (FPanels.size() >= MaxPanels)
        throw std::length_error("a status bar holds at most 128 panels");
    FPanels.push_back(std::move(Panel));
    placeControls();
    update();
    return static_cast<int>(FPanels.size()) - 1;
}

int TPanelStatusBar::AddTextPanel(int Width, TBevel Bevel)
{
    return addPanel({Width, Bevel, {}, nullptr});
}

int TPanelStatusBar::AddContainerPanel(int Width, QWidget* Control, TBevel Bevel)
{
    if (Control)
        Control->setParent(this);
    const int index = addPanel({Width, Bevel, {}, Control});
    if (Control)
        Control->show();
    return index;
}

void TPanelStatusBar::setPanelText(int Index, const QString& Text)
{
    TPanel& panel = FPanels.at(static_cast<std::size_t>(Index));
    if (panel.Text == Text)
        return;
    panel.Text = Text;
    update(PanelRect(Index));
}

void TPanelStatusBar::setPanelWidth(int Index, int Width)
{
    FPanels.at(static_cast<std::size_t>(Index)).Width = Width;
    placeControls();
    update();
}

QRect TPanelStatusBar::PanelRect(int Index) const
{
    int left = 0;
    for (int i = 0; i < Index; ++i)
        left += FPanels.at(static_cast<std::size_t>(i)).Width;
    const int last = PanelCount() - 1;
    const int width = Index == last ? std::max(0, this->width() - left)
                                    : FPanels.at(static_cast<std::size_t>(Index)).Width;
    return QRect(left, TopMargin, width, std::max(0, height() - TopMargin));
}

void TPanelStatusBar::placeControls()
{
    for (int i = 0; i < PanelCount(); ++i) {
        if (QWidget* control = FPanels[static_cast<std::size_t>(i)].Control)
            control->setGeometry(PanelRect(i).adjusted(1, 1, -1, -1));
    }
}

void TPanelStatusBar::resizeEvent(QResizeEvent*)
{
    placeControls();
}

void TPanelStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().brush(QPalette::Window));
    for (int i = 0; i < PanelCount(); ++i) {
        const TPanel& panel = FPanels[static_cast<std::size_t>(i)];
        const QRect r = PanelRect(i);
        if (panel.Bevel != TBevel::None)
            qDrawShadePanel(&p, r, palette(), panel.Bevel == TBevel::Lowered, 1);
        if (!panel.Control && !panel.Text.isEmpty()) {
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(r.adjusted(3, 0, -2, 0),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, panel.Text);
        }
    }
}

} // namespace kelvalog
