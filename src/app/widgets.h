#pragma once

#include <QGroupBox>
#include <QWidget>

namespace kelvalog {

// A sunken vertical line along the widget's own left edge.
class TBevelLine : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A group frame drawn as an etched line with the caption on its top edge,
// a little in from the left.
class TGroupFrame : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace kelvalog
