// The port selection dialog: its face, its keys and the ports it lists.

#include "link/port/comport.h"
#include "link/port/comselectform.h"
#include "link/dispatch/guibridge.h"
#include "port_testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace kelvalog;
using porttest::TPtyPorts;

namespace {

std::vector<std::string> Items(const TComSelectForm& F)
{
    std::vector<std::string> R;
    for (int I = 0; I < F.PortsComboBox->count(); ++I)
        R.push_back(F.PortsComboBox->itemText(I).toStdString());
    return R;
}

// The control Tab moves to from W.
QWidget* NextTabStop(QWidget* W)
{
    for (QWidget* N = W->nextInFocusChain(); N && N != W; N = N->nextInFocusChain())
        if (N->focusPolicy() & Qt::TabFocus)
            return N;
    return nullptr;
}

} // namespace

TEST(PortDialog, LooksAsDesigned)
{
    TPtyPorts Ports;
    // The dialog takes the program's font, the one its window was laid out with.
    const QFont Saved = QApplication::font();
    QFont Narrow(QStringLiteral("DejaVu Sans"));
    Narrow.setPixelSize(11);
    QApplication::setFont(Narrow);
    TComSelectForm F;
    QApplication::setFont(Saved);
    EXPECT_EQ(F.windowTitle(), "Select Port");
    EXPECT_EQ(F.size(), QSize(220, 131));
    EXPECT_EQ(F.minimumSize(), F.maximumSize());
    EXPECT_TRUE(F.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(F.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(F.font().family(), "DejaVu Sans");
    EXPECT_EQ(F.font().pixelSize(), 11);

    EXPECT_EQ(F.Label1->text(), "The configured serial port is not valid.");
    EXPECT_EQ(F.Label1->geometry(), QRect(18, 14, 176, 13));
    EXPECT_EQ(F.Label2->text(), "Please choose another port.");
    EXPECT_EQ(F.Label2->geometry(), QRect(18, 30, 133, 13));
    EXPECT_EQ(F.Bevel1->geometry(), QRect(8, 8, 201, 42));
    EXPECT_EQ(F.PortsComboBox->geometry(), QRect(8, 64, 201, 21));
    EXPECT_FALSE(F.PortsComboBox->isEditable());
    EXPECT_EQ(F.OkBtn->text(), "OK");
    EXPECT_EQ(F.OkBtn->geometry(), QRect(8, 95, 85, 27));
    EXPECT_TRUE(F.OkBtn->isDefault());
    EXPECT_EQ(F.AbortBtn->text(), "Cancel");
    EXPECT_EQ(F.AbortBtn->geometry(), QRect(124, 95, 85, 27));

    // Tab order: OK, Cancel, the list.
    EXPECT_EQ(NextTabStop(F.OkBtn), F.AbortBtn);
    EXPECT_EQ(NextTabStop(F.AbortBtn), F.PortsComboBox);
    EXPECT_EQ(NextTabStop(F.PortsComboBox), F.OkBtn);
}

TEST(PortDialog, EnterChoosesEscapeDoesNothingTheCloseBoxCancels)
{
    TPtyPorts Ports;
    {
        TComSelectForm F;
        F.show();
        QTest::keyClick(&F, Qt::Key_Escape);
        EXPECT_TRUE(F.isVisible());
        QTest::keyClick(&F, Qt::Key_Return);
        EXPECT_FALSE(F.isVisible());
        EXPECT_EQ(F.result(), mrOk);
    }
    {
        TComSelectForm F;
        F.show();
        F.close();
        EXPECT_EQ(F.result(), mrCancel);
    }
    {
        TComSelectForm F;
        F.show();
        F.AbortBtn->click();
        EXPECT_EQ(F.result(), mrAbort);
    }
}

TEST(PortDialog, ListsThePortsPresentInOrderAndSelectsTheFirst)
{
    TPtyPorts Ports;
    Ports.Add(12);
    Ports.Add(3);
    Ports.Add(1);
    // A port held by another program is listed too.
    TComPort Holder;
    Holder.SetComNumber(3);
    Holder.SetOpen(true);

    TComSelectForm F;
    EXPECT_EQ(Items(F), (std::vector<std::string>{"COM1", "COM3", "COM12"}));
    EXPECT_EQ(F.PortsComboBox->currentIndex(), 0);
    EXPECT_EQ(F.SelectedNumber(), 1);
    F.PortsComboBox->setCurrentIndex(2);
    EXPECT_EQ(F.SelectedNumber(), 12);
    EXPECT_FALSE(TComSelectForm::PortAvailable(0));
    EXPECT_FALSE(TComSelectForm::PortAvailable(2));
}

TEST(PortDialog, AnEmptyListSelectsNothing)
{
    TPtyPorts Ports;
    TComSelectForm F;
    EXPECT_EQ(F.PortsComboBox->count(), 0);
    EXPECT_EQ(F.PortsComboBox->currentIndex(), -1);
    EXPECT_EQ(F.SelectedNumber(), 0);
}

PORTTEST_MAIN()
