#pragma once

class QWidget;

namespace kelvalog {

class TPanelStatusBar;
class TStatusLight;

// The status bar: the link's three lights, then a text panel for notices and
// hints.
class TStatusPanel
{
public:
    explicit TStatusPanel(QWidget& Form);

    TPanelStatusBar* StatusBar() const { return FStatusBar; }
    TStatusLight* OnLineStatusLight() const { return FOnLineStatusLight; }
    TStatusLight* RecveiveStatusLight() const { return FRecveiveStatusLight; }
    TStatusLight* ErrorStatusLight() const { return FErrorStatusLight; }

private:
    TPanelStatusBar* FStatusBar = nullptr;
    TStatusLight* FOnLineStatusLight = nullptr;
    TStatusLight* FRecveiveStatusLight = nullptr;
    TStatusLight* FErrorStatusLight = nullptr;
};

} // namespace kelvalog
