#pragma once

// Helpers shared by the window's tests: a window with its settings file in a
// folder of the test's own, captured error boxes, INI file reading.

#include "app/mainform.h"
#include "app/messages.h"
#include "controls/controlenv.h"
#include "link/ui/comselectform.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>
#include <vector>

namespace kelvalog::test {

// Collects the message boxes instead of showing them.
class TErrorBoxes
{
public:
    TErrorBoxes()
    {
        SetErrorBoxHook([this](QWidget*, const QString& Text) { Texts.push_back(Text); });
        SetMessageHook([this](TMessageKind Kind, const QString& Text) {
            Texts.push_back(Text);
            Kinds.push_back(Kind);
        });
    }
    ~TErrorBoxes()
    {
        SetErrorBoxHook(nullptr);
        SetMessageHook(nullptr);
    }
    TErrorBoxes(const TErrorBoxes&) = delete;
    TErrorBoxes& operator=(const TErrorBoxes&) = delete;
    std::vector<QString> Texts;
    std::vector<TMessageKind> Kinds;
};

inline TMainFormOptions QuickOptions(const QString& SettingsPath, char DecimalSeparator = '.')
{
    TMainFormOptions Options;
    Options.SettingsPath = SettingsPath;
    Options.StartDelay = 0;
    Options.CloseDelay = 10;
    Options.Locale.DecimalSeparator = DecimalSeparator;
    SetDefaultDecimalSeparator(QChar(QLatin1Char(DecimalSeparator)));
    return Options;
}

inline void WriteText(const QString& Path, const QString& Text)
{
    QFile File(Path);
    if (File.open(QIODevice::WriteOnly | QIODevice::Truncate))
        File.write(Text.toUtf8());
}

inline QByteArray ReadBytes(const QString& Path)
{
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// Answers an open port dialog as a user would: picks COM ComNumber and
// presses OK. False while no such dialog or port is shown.
inline bool AnswerPortDialog(int ComNumber)
{
    auto* Dialog = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
    if (!Dialog)
        return false;
    const int Item = Dialog->IndexOfNumber(ComNumber);
    if (Item < 0)
        return false;
    Dialog->PortsComboBox->setCurrentIndex(Item);
    Dialog->OkBtn->click();
    return true;
}

inline QStringList ReadLines(const QString& Path)
{
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        return {};
    QStringList Lines;
    for (const QString& Line : QString::fromUtf8(File.readAll()).split(QLatin1Char('\n'))) {
        const QString Trimmed = Line.trimmed();
        if (!Trimmed.isEmpty())
            Lines << Trimmed;
    }
    return Lines;
}

// "Section/Key" for every key line, in file order.
inline QStringList KeysInOrder(const QString& Path)
{
    QStringList Keys;
    QString Section;
    for (const QString& Line : ReadLines(Path)) {
        if (Line.startsWith(QLatin1Char('['))) {
            Section = Line.mid(1, Line.size() - 2);
        } else if (Line.contains(QLatin1Char('='))) {
            Keys << Section + QLatin1Char('/') + Line.section(QLatin1Char('='), 0, 0).trimmed();
        }
    }
    return Keys;
}

inline QString ValueOf(const QString& Path, const QString& SectionKey)
{
    QString Section;
    for (const QString& Line : ReadLines(Path)) {
        if (Line.startsWith(QLatin1Char('['))) {
            Section = Line.mid(1, Line.size() - 2);
        } else if (Line.contains(QLatin1Char('=')) &&
                   Section + QLatin1Char('/') + Line.section(QLatin1Char('='), 0, 0).trimmed() ==
                       SectionKey) {
            return Line.section(QLatin1Char('='), 1).trimmed();
        }
    }
    return {};
}

inline const QStringList TwelveKeys = {
    QStringLiteral("Pressure sensor/Lower range"),
    QStringLiteral("Pressure sensor/Upper range"),
    QStringLiteral("Board selection/Board"),
    QStringLiteral("Tamb RH sensor/Span adjust"),
    QStringLiteral("Tamb RH sensor/Offset adjust"),
    QStringLiteral("RH sensor/Span adjust"),
    QStringLiteral("RH sensor/Offset adjust"),
    QStringLiteral("TMainForm/Flags"),
    QStringLiteral("TMainForm/ShowCmd"),
    QStringLiteral("TMainForm/NormalPos"),
    QStringLiteral("TMainForm/PixelsPerInch"),
    QStringLiteral("TMainForm/Color"),
};

} // namespace kelvalog::test
