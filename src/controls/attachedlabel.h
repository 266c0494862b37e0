#pragma once

// Static caption bound to one control of the same container: its left edge at
// the control's left + OffsetX, its bottom edge at the control's top +
// OffsetY. It follows the control's moves and is shown and hidden with it
// (and stays hidden while not Visible).

#include "controls/entryfield.h"

#include <QLabel>
#include <QPointer>

namespace kelvalog {

class TAttachedLabel : public QLabel
{
public:
    explicit TAttachedLabel(const QString& Caption, QWidget* Parent = nullptr);
    ~TAttachedLabel() override;

    QWidget* Control() const { return FControl; }
    // Binds the label to Control (a sibling) with the given offsets.
    void setControl(QWidget* Control, const TLabelInfo& Info = {});

    TLabelInfo LabelInfo() const { return FInfo; }
    void setLabelInfo(const TLabelInfo& Info);

    // The label bound to Control, if any.
    static TAttachedLabel* LabelOf(const QWidget* Control);

    // Places the label by the control and matches its visibility.
    void Follow();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QPointer<QWidget> FControl;
    TLabelInfo FInfo;
};

} // namespace kelvalog
