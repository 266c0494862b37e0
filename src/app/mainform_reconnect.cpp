// A device that vanishes while on line: said in the status bar, the values
// shown as stale, and the same port reopened every second until it is back.

#include "app/mainform.h"
#include "common/datetimetext.h"
#include "common/serialdate.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "link/device/comnames.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"

#include <sys/stat.h>

namespace kelvalog {

namespace {

constexpr int ReconnectInterval = 1000;

} // namespace

QString TMainForm::PortDescription() const
{
    const int Number = ComPort->ComNumber();
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(ComDisplayName(Number)),
                                         QString::fromStdString(ComDevicePath(Number)));
}

void TMainForm::ShowNotice(const QString& Text)
{
    FNotice = Text;
    FStatusPanel->StatusBar()->setPanelText(1, Text);
}

void TMainForm::ShowFieldsStale()
{
    const QColor Stale = palette().color(QPalette::Button);
    for (int Index = 0; Index < DisplayFieldCount; ++Index)
        if (FieldAt(Index).Kind != TFieldKind::Actual)
            FValuePanel->DisplayFields()[static_cast<std::size_t>(Index)]->setColor(Stale);
}

void TMainForm::ComPortDeviceLost(int)
{
    if (!OnLine)
        return;
    ShowNotice(
        QStringLiteral("%1 lost at %2")
            .arg(PortDescription(), QString::fromStdString(FormatTimeOfDay(LocalNow(), Locale()))));
    GoOffLine();
    ShowFieldsStale();
    // An open log stays open: records go on in the same file once the link
    // is back.
    ReconnectTimer.setInterval(ReconnectInterval);
    ReconnectTimer.start();
    UpdateControls();
}

void TMainForm::ReconnectTimerTimer()
{
    if (OnLine) {
        StopReconnecting();
        return;
    }
    // Nothing to try while the device is missing: a look a second.
    const int Number = ReturningPortNumber();
    if (Number == 0)
        return;
    // The port follows the adapter when the kernel named it anew.
    ComPort->SetComNumber(static_cast<std::uint16_t>(Number));
    try {
        OpenPort();
        ArmFramer(true);
        OnLine = true;
        StartSampling();
    } catch (...) {
        // Not ready yet (still settling, or held by another program): the
        // next tick tries again, without a message.
        if (!OnLine) {
            try {
                ClosePort();
            } catch (...) {
                // Half opened: the next tick opens it anew.
            }
        }
    }
    if (!OnLine)
        return;
    StopReconnecting();
    ShowNotice(
        QStringLiteral("%1 back at %2")
            .arg(PortDescription(), QString::fromStdString(FormatTimeOfDay(LocalNow(), Locale()))));
    UpdateControls();
}

// The COM number to reopen: the same one while its node is there and, for a
// USB adapter, still leads to that adapter; else the number the adapter has
// now (another program may hold its old node). 0 while nothing is back.
int TMainForm::ReturningPortNumber() const
{
    const int Number = ComPort->ComNumber();
    if (!FAdapter.Empty())
        return ComNumberOfAdapter(FAdapter, Number, SysfsRoot);
    struct stat Info = {};
    return ::stat(ComDevicePath(Number).c_str(), &Info) == 0 ? Number : 0;
}

void TMainForm::StopReconnecting()
{
    ReconnectTimer.stop();
}

} // namespace kelvalog
