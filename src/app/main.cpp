#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/stopsignals.h"
#include "app/systemlocale.h"
#include "controls/controlenv.h"

#include <QLocale>
#include <QSessionManager>

#ifdef KELVALOG_HAVE_CALC
#include "logging/calc/calcserver.h"
#endif

int main(int argc, char* argv[])
{
    using namespace kelvalog;
    TKelvalogApplication Application(argc, argv);
    TKelvalogApplication::setFont(TMainForm::WindowFont());
    TMainFormOptions Options;
    Options.Locale = LocaleFactsFrom(QLocale::system());
    SetDefaultDecimalSeparator(QChar(QLatin1Char(Options.Locale.DecimalSeparator)));
#ifdef KELVALOG_HAVE_CALC
    RegisterCalcServer();
#endif
    TMainForm MainForm(Options);
    // Ending the session closes the window like the user would, so the log,
    // the link and the settings are dealt with.
    QObject::connect(&Application, &QGuiApplication::commitDataRequest, &MainForm,
                     [&MainForm](QSessionManager&) { MainForm.close(); });
    const TStopSignals StopSignals([&MainForm](int) { CloseWithoutUser(MainForm); });
    MainForm.show();
    return TKelvalogApplication::exec();
}
