#include "app/testclose.h"

#include "app/messages.h"
#include "controls/controlenv.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace kelvalog {

namespace {

void ReportBox(const QString& Text)
{
    std::fprintf(stderr, "kelvalog: message box: %s\n", Text.toLocal8Bit().constData());
}

} // namespace

void ArmTestClose(QWidget& Window)
{
    bool Valid = false;
    const int After = qEnvironmentVariableIntValue("KELVALOG_TEST_CLOSE_AFTER_MS", &Valid);
    if (!Valid || After < 0)
        return;
    SetMessageHook([](TMessageKind, const QString& Text) { ReportBox(Text); });
    SetErrorBoxHook([](QWidget*, const QString& Text) { ReportBox(Text); });
    QTimer::singleShot(After, &Window, [&Window] {
        if (!Window.close()) {
            std::fprintf(stderr, "kelvalog: the window refused to close\n");
            QCoreApplication::exit(3);
        }
    });
}

} // namespace kelvalog
