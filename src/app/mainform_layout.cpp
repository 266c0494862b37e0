// The window itself and its sections; each section places its own controls.

#include "app/glyphs.h"
#include "app/mainform.h"

#include <QGroupBox>

namespace kelvalog {

QFont TMainForm::WindowFont()
{
    QFont Font;
    Font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Sans Serif")});
    Font.setPixelSize(11);
    // The layout's captions were measured with a narrower face.
    Font.setStretch(90);
    return Font;
}

void TMainForm::BuildLayout()
{
    setWindowTitle(QStringLiteral("Kelvalog: Dravon I2C logger"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(641, 365);
    setWindowIcon(ApplicationIcon());
    setFont(WindowFont());
    QPalette Colours = palette();
    Colours.setColor(QPalette::Window, Colours.color(QPalette::Button));
    setPalette(Colours);
    setAutoFillBackground(true);

    // Tab visits the sections in the order they are made.
    FTopPanel = std::make_unique<TTopPanel>(*this);
    FSamplingPanel = std::make_unique<TSamplingPanel>(*this);
    FValuePanel = std::make_unique<TValuePanel>(*this);
    FFilterPanel = std::make_unique<TFilterPanel>(*this);
    FValuePanel->AddFilteredPanels(*FFilterPanel->FilterBox());
    FLogPanel = std::make_unique<TLogPanel>(*this);
    FStatusPanel = std::make_unique<TStatusPanel>(*this);
}

} // namespace kelvalog
