#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace kelvalog {

enum class TMessageKind { Error, Warning };

// The window's modal boxes with one OK button. Tests replace them with hooks.
using TMessageHook = std::function<void(TMessageKind Kind, const QString& Text)>;
void SetMessageHook(TMessageHook Hook); // empty restores the boxes
void ShowMessage(QWidget* Parent, TMessageKind Kind, const QString& Text);
// A box whose Detail (the device and cause of a failure) stands below Text.
void ShowMessage(QWidget* Parent, TMessageKind Kind, const QString& Text, const QString& Detail);
// Tests that look at the details too; called beside the message hook.
using TMessageDetailHook =
    std::function<void(TMessageKind Kind, const QString& Text, const QString& Detail)>;
void SetMessageDetailHook(TMessageDetailHook Hook);

// A file-open dialog as the logging controls describe it.
struct TFileDialogRequest
{
    QString Title;
    QString Filter; // "description|pattern|description|pattern..."
    QString DefaultExtension;
    QString Initial;
};
using TFileDialogHook = std::function<std::optional<QString>(const TFileDialogRequest&)>;
void SetFileDialogHook(TFileDialogHook Hook);
// The chosen full path, nothing when cancelled.
std::optional<QString> ChooseFile(QWidget* Parent, const TFileDialogRequest& Request);

// "desc|pattern|desc|pattern" as the toolkit's name filters; "*.*" stands for
// every file, also names without a dot.
QStringList NameFilters(const QString& Filter);

} // namespace kelvalog
