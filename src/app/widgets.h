#pragma once

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

} // namespace kelvalog
