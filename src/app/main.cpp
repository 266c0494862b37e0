#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/systemlocale.h"
#include "controls/controlenv.h"

#include <QLocale>

#ifdef KELVALOG_HAVE_CALC
#include "logging/calc/calcserver.h"
#endif

int main(int argc, char* argv[])
{
    using namespace kelvalog;
    TKelvalogApplication Application(argc, argv);
    TMainFormOptions Options;
    Options.Locale = LocaleFactsFrom(QLocale::system());
    SetDefaultDecimalSeparator(QChar(QLatin1Char(Options.Locale.DecimalSeparator)));
#ifdef KELVALOG_HAVE_CALC
    RegisterCalcServer();
#endif
    TMainForm MainForm(Options);
    MainForm.show();
    return TKelvalogApplication::exec();
}
