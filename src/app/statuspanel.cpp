#include "app/statuspanel.h"

#include "app/applicationevents.h"
#include "app/layoutparts.h"
#include "controls/panelstatusbar.h"
#include "link/ui/statuslight.h"

namespace kelvalog {

TStatusPanel::TStatusPanel(QWidget& Form)
{
    FStatusBar = Place(new TPanelStatusBar(&Form), "StatusBar", 0, 346, 641, 19);
    auto* Container0 = new QWidget;
    Container0->setObjectName(QStringLiteral("Container0"));
    FOnLineStatusLight = Place(new TStatusLight(Container0), "OnLineStatusLight", 0, 0, 17, 14);
    FRecveiveStatusLight =
        Place(new TStatusLight(Container0), "RecveiveStatusLight", 16, 0, 17, 14);
    FErrorStatusLight = Place(new TStatusLight(Container0), "ErrorStatusLight", 32, 0, 17, 14);
    FOnLineStatusLight->SetLitColor(QColor(0, 255, 0));
    FRecveiveStatusLight->SetLitColor(QColor(255, 255, 0));
    FRecveiveStatusLight->SetNotLitColor(QColor(128, 128, 0));
    FErrorStatusLight->SetNotLitColor(QColor(128, 0, 0));
    SetHint(FOnLineStatusLight,
            QStringLiteral("On Line|Is lit whenever the datalogger hardware is on line"));
    SetHint(FRecveiveStatusLight, QStringLiteral("Receive Data|Lights up when data is received"));
    SetHint(
        FErrorStatusLight,
        QStringLiteral("Receive Error|Lights up when an error is detected in the received data"));
    FStatusBar->AddContainerPanel(50, Container0);
    FStatusBar->AddTextPanel(50);
}

} // namespace kelvalog
