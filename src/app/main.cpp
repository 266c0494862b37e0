#include "app/applicationevents.h"
#include "app/commandline.h"
#include "app/mainform.h"
#include "app/officebusy.h"
#include "app/stopsignals.h"
#include "app/systemlocale.h"
#include "controls/controlenv.h"

#include <QIcon>
#include <QLocale>
#include <QSessionManager>

#ifdef KELVALOG_HAVE_CALC
#include "logging/calc/calcserver.h"
#endif

int main(int argc, char* argv[])
{
    using namespace kelvalog;
    TCommandLineChoices Choices;
    if (const auto ExitCode =
            AnswerCommandLine(argc, argv, QStringLiteral(KELVALOG_VERSION), Choices))
        return *ExitCode;
    TKelvalogApplication Application(argc, argv);
    // Ties the window to the installed menu entry and its icon.
    TKelvalogApplication::setDesktopFileName(QStringLiteral("kelvalog"));
    TKelvalogApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("kelvalog")));
    TKelvalogApplication::setFont(TMainForm::WindowFont());
    TMainFormOptions Options;
    Options.Locale = LocaleFactsFrom(QLocale::system());
    Options.HistoryPath = Choices.HistoryFile;
    SetDefaultDecimalSeparator(QChar(QLatin1Char(Options.Locale.DecimalSeparator)));
    // Outlives the window, whose closing may still quit an office.
    TOfficeBusy OfficeBusy;
    TMainForm MainForm(Options);
    OfficeBusy.SetStatusBar(MainForm.StatusPanel().StatusBar());
#ifdef KELVALOG_HAVE_CALC
    RegisterCalcServer(&OfficeBusy);
#endif
    // Ending the session closes the window like the user would, so the log,
    // the link and the settings are dealt with.
    QObject::connect(&Application, &QGuiApplication::commitDataRequest, &MainForm,
                     [&MainForm](QSessionManager&) { MainForm.close(); });
    // A signal while the office starts or quits closes once that step is over.
    const TStopSignals StopSignals([&MainForm, &OfficeBusy](int) {
        OfficeBusy.WhenIdle([&MainForm] { CloseWithoutUser(MainForm); });
    });
    MainForm.show();
    return TKelvalogApplication::exec();
}
