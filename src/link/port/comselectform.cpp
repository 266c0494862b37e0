#include "link/port/comselectform.h"

#include "common/linkerror.h"
#include "link/device/comnames.h"
#include "link/dispatch/dispatcher.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>

namespace kelvalog {

namespace {
constexpr int HighestPort = 256;
}

TComSelectForm::TComSelectForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Select Port"));
    setFixedSize(220, 131);
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
        if (PortAvailable(N))
            PortsComboBox->addItem(QString::fromStdString(ComDisplayName(N)));
    PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
}

bool TComSelectForm::PortAvailable(int Number)
{
    if (Number <= 0)
        return false;
    const int Result = TSerialDispatcher::ProbeDevice(ComDisplayName(Number));
    return Result == 0 || Result == ecode::AccessDenied;
}

int TComSelectForm::SelectedNumber() const
{
    const QString Text =
        PortsComboBox->currentIndex() < 0 ? QString() : PortsComboBox->currentText();
    bool Ok = false;
    const int N = Text.mid(3).toInt(&Ok);
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

} // namespace kelvalog
