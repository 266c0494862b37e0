// Linked into a test build of the program, never into the product: when the
// environment names KELVALOG_TEST_CLOSE_AFTER_MS, the window is closed that
// many milliseconds after it is first shown, as the user would close it, and
// every message box is written to the error output as
// "kelvalog: message box: ..." instead of waiting for a click. A window that
// refuses to close ends the program with exit code 3. Without the variable
// nothing changes.

#include "app/messages.h"
#include "controls/controlenv.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

using namespace kelvalog;

void ReportBox(const QString& Text)
{
    std::fprintf(stderr, "kelvalog: message box: %s\n", Text.toLocal8Bit().constData());
}

void CloseAfter(QWidget& Window, int After)
{
    QTimer::singleShot(After, &Window, [&Window] {
        if (!Window.close()) {
            std::fprintf(stderr, "kelvalog: the window refused to close\n");
            QCoreApplication::exit(3);
        }
    });
}

// Arms the close when the main window is first shown.
class TCloseArmer : public QObject
{
public:
    TCloseArmer(int After, QObject* Parent) : QObject(Parent), FAfter(After) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Show && Watched->inherits("kelvalog::TMainForm")) {
            CloseAfter(*static_cast<QWidget*>(Watched), FAfter);
            deleteLater();
            qApp->removeEventFilter(this);
        }
        return false;
    }

private:
    int FAfter;
};

void ArmTestClose()
{
    bool Valid = false;
    const int After = qEnvironmentVariableIntValue("KELVALOG_TEST_CLOSE_AFTER_MS", &Valid);
    if (!Valid || After < 0)
        return;
    SetMessageHook([](TMessageKind, const QString& Text) { ReportBox(Text); });
    SetErrorBoxHook([](QWidget*, const QString& Text) { ReportBox(Text); });
    qApp->installEventFilter(new TCloseArmer(After, qApp));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ArmTestClose)
