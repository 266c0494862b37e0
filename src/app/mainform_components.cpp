// The window's non-visual parts: port, framer, light controller, settings.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "link/device/comnames.h"
#include "link/port/comport.h"
#include "link/port/datapacket.h"
#include "link/ui/comselectform.h"
#include "link/ui/slcontroller.h"
#include "link/ui/statuslight.h"
#include "settings/formstate.h"
#include "settings/inifilestore.h"
#include "settings/settingslocation.h"

namespace kelvalog {

void TMainForm::CreateComponents()
{
    ComPort = std::make_unique<TComPort>();
    UsePortDialogAsPrompt();
    ComPort->SetBaud(57600);
    ComPort->SetAutoOpen(false);
    ComPort->SetTapiMode(TTapiMode::tmNone);
    // Reaches the window thread also when no bridge carries it there.
    ComPort->OnDeviceLost = [this](QObject*, int Code) {
        QMetaObject::invokeMethod(
            this, [this, Code] { Guarded([&] { ComPortDeviceLost(Code); }); }, Qt::AutoConnection);
    };
    ComPort->OnInputOverrun = [this](QObject*, std::uint64_t Dropped) {
        ShowInputOverrun(Dropped);
    };

    DataPacket = std::make_unique<TDataPacket>();
    DataPacket->SetComPort(ComPort.get());
    DataPacket->SetStartString("\n");
    DataPacket->SetEndString("\r");
    DataPacket->SetEndCond({TPacketEndCond::ecString});
    DataPacket->SetIncludeStrings(false);
    DataPacket->SetTimeOut(1000);
    DataPacket->OnStringPacket = [this](QObject*, const std::string& Line) {
        Guarded([&] { DataPacketStringPacket(Line); });
    };
    DataPacket->OnTimeout = [this](QObject*) { Guarded([this] { DataPacketTimeout(); }); };

    SLController = std::make_unique<TSLController>();
    SLController->SetComPort(ComPort.get());
    SLController->SetRXDOffTimeout(2);
    SLController->Lights().RXDLight = FStatusPanel->RecveiveStatusLight();
    SLController->Lights().ERRORLight = FStatusPanel->ErrorStatusLight();

    IniFileStore = std::make_unique<TIniFileStore>();
    IniFileStore->IniFileName =
        FOptions.SettingsPath.isEmpty() ? SettingsPath() : FOptions.SettingsPath.toStdString();
    IniFileStore->UseExeDir = false;
    IniFileStore->MakeFolders = FOptions.SettingsPath.isEmpty();
    FormState = std::make_unique<TFormState>(*this, IniFileStore.get());
    FormState->OnCreate = [this] { FormCreate(); };
    FormState->OnCloseQuery = [this](bool& CanClose) { CanClose = FormCloseQuery(); };
    FormState->OnError = [](std::exception_ptr Error) {
        TApplicationEvents::HandleException(Error);
    };
}

void TMainForm::DestroyComponents()
{
    Guarded([this] {
        if (FormState)
            FormState->DoDestroy();
    });
    FormState.reset();
    Guarded([this] {
        if (OnLine) {
            DataPacket->SetEnabled(false);
            ComPort->SetOpen(false);
            OnLine = false;
        }
    });
    SLController.reset();
    DataPacket.reset();
    ComPort.reset();
    IniFileStore.reset();
}

void TMainForm::SetBaudRate(std::int32_t Baud)
{
    ComPort->SetBaud(Baud);
}

void TMainForm::OpenPort()
{
    ComPort->SetOpen(true);
    FAdapter = DescribePortDevice(ComDevicePath(ComPort->ComNumber()), SysfsRoot).Usb;
}

void TMainForm::ClosePort()
{
    ComPort->SetOpen(false);
}

void TMainForm::ArmFramer(bool Armed)
{
    DataPacket->SetEnabled(Armed);
}

void TMainForm::SetWatching(bool Watching)
{
    SLController->SetWatching(Watching);
}

} // namespace kelvalog
