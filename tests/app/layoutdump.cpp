// Writes every widget of the main window with its parent chain, class,
// geometry, place in the window, visibility and the focus chain, one line
// each, so that two builds' layouts can be compared with diff.

#include "app/mainform.h"
#include "appfixture.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWidget>

#include <cstdio>

namespace {

QString Chain(const QObject* Object)
{
    QString Text;
    for (const QObject* O = Object; O; O = O->parent())
        Text.prepend(QLatin1Char('/') + O->objectName());
    return Text;
}

QString Line(const QWidget* W, const QWidget* Window)
{
    const QRect G = W->geometry();
    const QPoint At = W->mapTo(Window, QPoint(0, 0));
    return QStringLiteral("%1 %2 %3,%4 %5x%6 at %7,%8 %9 %10")
        .arg(Chain(W), QString::fromLatin1(W->metaObject()->className()))
        .arg(G.x())
        .arg(G.y())
        .arg(G.width())
        .arg(G.height())
        .arg(At.x())
        .arg(At.y())
        .arg(W->isVisibleTo(Window) ? QStringLiteral("shown") : QStringLiteral("hidden"))
        .arg(W->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication Application(argc, argv);
    QTemporaryDir Dir;
    kelvalog::TMainForm Form(
        kelvalog::test::QuickOptions(Dir.filePath(QStringLiteral("kelvalog.INI"))));
    Form.show();
    QApplication::processEvents();
    QTextStream Out(stdout);
    Out << Line(&Form, &Form) << '\n';
    for (const QWidget* W : Form.findChildren<QWidget*>())
        Out << Line(W, &Form) << '\n';
    Out << "focus chain:\n";
    const QWidget* W = &Form;
    do {
        Out << Chain(W) << ' ' << W->focusPolicy() << '\n';
        W = W->nextInFocusChain();
    } while (W && W != &Form);
    return 0;
}
