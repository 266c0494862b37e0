#pragma once

// Process-wide services of the controls: the decimal separator their numbers
// are shown with, the refusal beep and the error box. The beep and the box can
// be replaced (tests count them instead of making noise or blocking).
//
// Event style of every control in this folder: events are public
// std::function members named like the window's events (OnChange, OnClick,
// OnButtonClick) whose first argument is the sender. An empty member means
// no handler. Events fire synchronously on the window thread.

#include <QChar>
#include <QString>

#include <functional>

class QWidget;
class QObject;

namespace kelvalog {

using TNotifyEvent = std::function<void(QObject* Sender)>;

// Default decimal separator of fields that were not given one of their own.
// The application sets it from the system locale at start-up.
void SetDefaultDecimalSeparator(QChar Separator);
QChar DefaultDecimalSeparator();

// The refusal beep; QApplication::beep() unless a hook is installed.
using TBeepHook = std::function<void()>;
void SetBeepHook(TBeepHook Hook); // empty restores the system beep
void Beep();

// Modal error box with one OK button (critical icon) over Parent; a hook
// replaces it.
using TErrorBoxHook = std::function<void(QWidget* Parent, const QString& Text)>;
void SetErrorBoxHook(TErrorBoxHook Hook); // empty restores the message box
void ShowErrorBox(QWidget* Parent, const QString& Text);

} // namespace kelvalog
