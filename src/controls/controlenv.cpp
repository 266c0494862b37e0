#include "controls/controlenv.h"

#include <QApplication>
#include <QMessageBox>

namespace kelvalog {

namespace {
QChar defaultSeparator = QLatin1Char('.');
TBeepHook beepHook;
TErrorBoxHook errorBoxHook;
} // namespace

void SetDefaultDecimalSeparator(QChar Separator)
{
    defaultSeparator = Separator;
}

QChar DefaultDecimalSeparator()
{
    return defaultSeparator;
}

void SetBeepHook(TBeepHook Hook)
{
    beepHook = std::move(Hook);
}

void Beep()
{
    if (beepHook)
        beepHook();
    else
        QApplication::beep();
}

void SetErrorBoxHook(TErrorBoxHook Hook)
{
    errorBoxHook = std::move(Hook);
}

void ShowErrorBox(QWidget* Parent, const QString& Text)
{
    if (errorBoxHook) {
        errorBoxHook(Parent, Text);
        return;
    }
    QWidget* window = Parent ? Parent->window() : nullptr;
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), Text, QMessageBox::Ok,
                    window);
    box.exec();
    // Give the window back the keyboard so the field can take the focus again.
    if (window)
        window->activateWindow();
}

} // namespace kelvalog
