#include "link/ui/comselectform.h"

#include "link/device/comnames.h"
#include "link/device/portinfo.h"
#include "link/port/comport.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kelvalog {

namespace {
constexpr int HighestPort = 256;
constexpr int FormWidth = 220;
constexpr int FormHeight = 131;
constexpr int Margin = 8;
// The drop-down's frame and arrow beside its text.
constexpr int ComboChrome = 40;
const QString Gap = QStringLiteral("   ");
} // namespace

TComSelectForm::TComSelectForm(QWidget* Parent, std::string SysfsRoot)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      FSysfsRoot(std::move(SysfsRoot))
{
    setWindowTitle(QStringLiteral("Select Port"));
    setFixedSize(FormWidth, FormHeight);
    setModal(true);
    // The application's font: the program sets the one its layout was drawn with.
    QPalette Pal = palette();
    Pal.setColor(QPalette::Window, Pal.color(QPalette::Button));
    Pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(Pal);
    setAutoFillBackground(true);

    // The frame first, so that the two lines of text lie on top of it.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 201, 42);

    Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(18, 14, 176, 13);
    Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(18, 30, 133, 13);

    PortsComboBox = new QComboBox(this);
    PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
    PortsComboBox->setEditable(false);
    PortsComboBox->setGeometry(8, 64, 201, 21);

    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setGeometry(8, 95, 85, 27);
    OkBtn->setDefault(true);
    connect(OkBtn, &QPushButton::clicked, this, [this] { done(mrOk); });

    AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(124, 95, 85, 27);
    connect(AbortBtn, &QPushButton::clicked, this, [this] { done(mrAbort); });

    setTabOrder(OkBtn, AbortBtn);
    setTabOrder(AbortBtn, PortsComboBox);
    OkBtn->setFocus();

    FormCreate();
}

void TComSelectForm::FormCreate()
{
    for (int N = 1; N <= HighestPort; ++N)
        if (PortAvailable(N, FSysfsRoot))
            PortsComboBox->addItem(EntryText(N, FSysfsRoot), N);
    PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
    FitWidth();
}

void TComSelectForm::FitWidth()
{
    // Wide enough for the longest entry; the buttons keep to the edges.
    int Text = 0;
    for (int I = 0; I < PortsComboBox->count(); ++I)
        Text = std::max(Text,
                        PortsComboBox->fontMetrics().horizontalAdvance(PortsComboBox->itemText(I)));
    const int Width = std::max(FormWidth, Text + ComboChrome + 2 * Margin);
    if (Width == FormWidth)
        return;
    setFixedSize(Width, FormHeight);
    Bevel1->setGeometry(Margin, 8, Width - 2 * Margin - 3, 42);
    PortsComboBox->setGeometry(Margin, 64, Width - 2 * Margin - 3, 21);
    AbortBtn->setGeometry(Width - Margin - 3 - 85, 95, 85, 27);
}

bool TComSelectForm::PortAvailable(int Number, const std::string& SysfsRoot)
{
    // Never opened here: opening raises DTR and RTS and closing drops them,
    // which resets many boards and disturbs a device another program uses.
    // A port in use is listed; going on line with it says so.
    if (Number <= 0)
        return false;
    const std::string Path = ComDevicePath(Number);
    std::error_code Ec;
    if (Path.empty() || !std::filesystem::exists(Path, Ec))
        return false;
    const TPortInfo Info = DescribePortDevice(Path, SysfsRoot);
    // The kernel makes ttyS nodes for UARTs that are not there.
    if (Info.NoUart)
        return false;
    // A table node that sysfs does not know is a stale node with no driver.
    // Ports folder entries (pseudo-terminals) have no sysfs entry.
    const bool SysfsKnowsTtys =
        std::filesystem::is_directory(std::filesystem::path(SysfsRoot) / "class" / "tty", Ec);
    return ComPortsFolderSet() || !SysfsKnowsTtys || !Info.KernelName.empty();
}

QString TComSelectForm::EntryText(int Number, const std::string& SysfsRoot)
{
    const std::string Path = ComDevicePath(Number);
    QString Text = QString::fromStdString(ComDisplayName(Number));
    if (Path.empty())
        return Text;
    const TPortInfo Info = DescribePortDevice(Path, SysfsRoot);
    Text += Gap + QString::fromStdString(Info.Device);
    if (!Info.UsbName.empty())
        Text += Gap + QString::fromStdString(Info.UsbName);
    return Text;
}

int TComSelectForm::IndexOfNumber(int Number) const
{
    return PortsComboBox->findData(Number);
}

int TComSelectForm::SelectedNumber() const
{
    const int Index = PortsComboBox->currentIndex();
    if (Index < 0)
        return 0;
    bool Ok = false;
    const int N = PortsComboBox->itemData(Index).toInt(&Ok);
    return Ok ? N : 0;
}

void TComSelectForm::reject()
{
    // The close box; Escape is refused in keyPressEvent.
    done(mrCancel);
}

void TComSelectForm::keyPressEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        Event->accept();
        return;
    }
    QDialog::keyPressEvent(Event);
}

void TComSelectForm::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (auto* Screen = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect Area = Screen->availableGeometry();
        move(Area.center() - rect().center());
    }
}

void UsePortDialogAsPrompt()
{
    TCustomComPort::SetDefaultPortPrompt([](QObject*) -> std::uint16_t {
        TComSelectForm Form;
        const int Result = Form.exec();
        if (Result != mrOk)
            return 0;
        // An empty list gives no number; that counts as no choice.
        return static_cast<std::uint16_t>(std::clamp(Form.SelectedNumber(), 0, 0xFFFF));
    });
}

} // namespace kelvalog
