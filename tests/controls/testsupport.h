#pragma once

#include "controls/controlenv.h"

#include <QApplication>
#include <QStringList>
#include <QTest>
#include <QWidget>

// Counts beeps and collects error-box texts instead of making noise or
// blocking; restores the real ones when it goes.
struct TControlProbe
{
    int Beeps = 0;
    QStringList Messages;

    TControlProbe()
    {
        kelvalog::SetBeepHook([this] { ++Beeps; });
        kelvalog::SetErrorBoxHook([this](QWidget*, const QString& text) { Messages << text; });
    }
    ~TControlProbe()
    {
        kelvalog::SetBeepHook({});
        kelvalog::SetErrorBoxHook({});
    }
    TControlProbe(const TControlProbe&) = delete;
    TControlProbe& operator=(const TControlProbe&) = delete;
};

// Shows Window and waits until it can hold the keyboard focus.
inline bool ShowActive(QWidget& Window)
{
    Window.show();
    QApplication::setActiveWindow(&Window);
    Window.activateWindow();
    return QTest::qWaitForWindowActive(&Window);
}
