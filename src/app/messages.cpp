#include "app/messages.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kelvalog {

namespace {
TMessageHook MessageHook;
TMessageDetailHook MessageDetailHook;
TFileDialogHook FileDialogHook;
} // namespace

void SetMessageHook(TMessageHook Hook)
{
    MessageHook = std::move(Hook);
}

void SetMessageDetailHook(TMessageDetailHook Hook)
{
    MessageDetailHook = std::move(Hook);
}

void ShowMessage(QWidget* Parent, TMessageKind Kind, const QString& Text)
{
    ShowMessage(Parent, Kind, Text, QString());
}

void ShowMessage(QWidget* Parent, TMessageKind Kind, const QString& Text, const QString& Detail)
{
    if (MessageHook || MessageDetailHook) {
        if (MessageHook)
            MessageHook(Kind, Text);
        if (MessageDetailHook)
            MessageDetailHook(Kind, Text, Detail);
        return;
    }
    const bool Error = Kind == TMessageKind::Error;
    QMessageBox Box(Error ? QMessageBox::Critical : QMessageBox::Warning,
                    Error ? QStringLiteral("Error") : QStringLiteral("Warning"), Text,
                    QMessageBox::Ok, Parent);
    Box.setInformativeText(Detail);
    Box.exec();
}

void SetFileDialogHook(TFileDialogHook Hook)
{
    FileDialogHook = std::move(Hook);
}

QStringList NameFilters(const QString& Filter)
{
    const QStringList Parts = Filter.split(QLatin1Char('|'));
    QStringList Result;
    for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
        QStringList Patterns = Parts[I + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& Pattern : Patterns) {
            Pattern = Pattern.trimmed();
            if (Pattern == QLatin1String("*.*"))
                Pattern = QStringLiteral("*");
        }
        Result << Parts[I] + QStringLiteral(" (") + Patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')');
    }
    return Result;
}

std::optional<QString> ChooseFile(QWidget* Parent, const TFileDialogRequest& Request)
{
    if (FileDialogHook)
        return FileDialogHook(Request);
    QFileDialog Dialog(Parent, Request.Title);
    Dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The log file need not exist yet; its folder must.
    Dialog.setFileMode(QFileDialog::AnyFile);
    Dialog.setNameFilters(NameFilters(Request.Filter));
    Dialog.setDefaultSuffix(Request.DefaultExtension);
    Dialog.setSizeGripEnabled(true);
    if (!Request.Initial.isEmpty()) {
        const QFileInfo Initial(Request.Initial);
        if (Initial.dir().exists())
            Dialog.setDirectory(Initial.dir());
        Dialog.selectFile(Initial.fileName());
    }
    for (;;) {
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString Chosen = Dialog.selectedFiles().constFirst();
        if (QFileInfo(Chosen).dir().exists())
            return QFileInfo(Chosen).absoluteFilePath();
        ShowMessage(Parent, TMessageKind::Warning,
                    QStringLiteral("The folder of %1 does not exist.").arg(Chosen));
    }
}

} // namespace kelvalog
