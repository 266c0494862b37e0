#pragma once

// Small builders the window's panels share: every control gets its object
// name and its place in one step, as the layout was measured.

#include <QRect>
#include <QString>

#include <cstdint>
#include <limits>
#include <string>

class QFrame;
class QGroupBox;
class QLabel;
class QStackedWidget;
class QWidget;

namespace kelvalog {

class TAttachedLabel;
class TNumericField;

inline constexpr std::int32_t MinInt = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t MaxInt = std::numeric_limits<std::int32_t>::max();

// The row of page buttons of a page control lies under its drop-down list,
// so a page's content starts this far below the page control's top.
inline constexpr int PageTop = 27;

template <class T> T* Place(T* Control, const char* Name, int Left, int Top, int Width, int Height)
{
    Control->setObjectName(QString::fromLatin1(Name));
    Control->setGeometry(Left, Top, Width, Height);
    return Control;
}

QGroupBox* Group(QWidget* Parent, const char* Name, QRect R, const char* Caption, const char* Hint);
QLabel* Label(QWidget* Parent, const char* Name, QRect R, const char* Caption,
              bool Centred = false);
TAttachedLabel* Caption(QWidget* Parent, const char* Name, QRect R, const char* Text,
                        QWidget* Control);
TNumericField* IntegerField(QWidget* Parent, const char* Name, QRect R, const char* Mask,
                            std::int32_t Low, std::int32_t High, bool ReadOnly, const char* Hint);
// A read-only field of a measured value.
TNumericField* ValueField(QWidget* Parent, const std::string& Name, int Left, int Top,
                          const char* Hint, bool Pressure);
QFrame* RaisedPanel(QWidget* Parent, const char* Name, QRect R);
// A page of a page control.
QWidget* AddPage(QStackedWidget* Pages, const char* Name, const char* Hint);

} // namespace kelvalog
