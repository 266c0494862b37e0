#include "app/historycommand.h"

#include "app/systemlocale.h"
#include "history/historyexport.h"
#include "history/historystore.h"
#include "logging/logwriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTimeZone>

#include <cstdio>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace kelvalog {

namespace {

void Complain(const QString& Text)
{
    std::fputs(("kelvalog: " + Text + "\n").toLocal8Bit().constData(), stderr);
}

// Copies a finished file to the standard output.
bool CopyToOutput(const QString& Path)
{
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        return false;
    QFile Out;
    if (!Out.open(stdout, QIODevice::WriteOnly))
        return false;
    while (!File.atEnd()) {
        const QByteArray Block = File.read(1 << 16);
        if (Block.isEmpty() || Out.write(Block) != Block.size())
            return false;
    }
    return Out.flush();
}

} // namespace

std::optional<std::int64_t> CommandLineTime(const QString& Text, bool End)
{
    // The date parser takes the date in front of a time too.
    const QDate Day = Text.size() == 10 ? QDate::fromString(Text, Qt::ISODate) : QDate();
    if (Day.isValid()) {
        const std::int64_t Start = Day.startOfDay().toMSecsSinceEpoch() * 1000;
        return End ? Day.addDays(1).startOfDay().toMSecsSinceEpoch() * 1000 - 1 : Start;
    }
    const QDateTime At = QDateTime::fromString(Text, Qt::ISODateWithMs);
    if (!At.isValid())
        return std::nullopt;
    // An end counts to the end of its last written digit.
    const bool Milliseconds = Text.contains(QLatin1Char('.')) || Text.contains(QLatin1Char(','));
    return At.toMSecsSinceEpoch() * 1000 + (End ? (Milliseconds ? 999 : 999'999) : 0);
}

int ExportFromCommandLine(const QString& HistoryFile, const QString& From, const QString& To,
                          const QString& Format, const QString& OutFile)
{
    THistoryExport Request;
    const auto Start = CommandLineTime(From, false);
    const auto End = CommandLineTime(To, true);
    const auto Kind = HistoryFormatNamed(Format.toStdString());
    if (!Start || !End) {
        Complain(
            QStringLiteral("'%1' is no time (e.g. 2024-12-08T14:00:00).").arg(Start ? To : From));
        return 2;
    }
    if (!Kind) {
        Complain(QStringLiteral("--format takes csv, tab or sylk."));
        return 2;
    }
    Request.From = *Start;
    Request.To = *End;
    Request.Format = *Kind;
    Request.Facts = LocaleFactsFrom(QLocale::system());
    QString Temporary;
    if (OutFile.isEmpty() || OutFile == QStringLiteral("-")) {
        QByteArray Name = QFile::encodeName(QDir::tempPath()) + "/kelvalog-export-XXXXXX";
        const int Fd = ::mkstemp(Name.data());
        if (Fd < 0) {
            Complain(QStringLiteral("no room for the export (%1).")
                         .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
        ::close(Fd);
        Temporary = QFile::decodeName(Name);
        Request.OutPath = Name.toStdString();
    } else {
        Request.OutPath = QFile::encodeName(OutFile).toStdString();
    }
    int Code = 0;
    try {
        THistoryStore Store(QFile::encodeName(HistoryFile).toStdString(),
                            THistoryStore::TMode::Read);
        ExportHistory(Store, Request);
        // Ticks given up to keep the file small cannot be exported: say so.
        if (const auto Kept = Store.ThinnedFrom(Request.From)) {
            const QString Since =
                *Kept == std::numeric_limits<std::int64_t>::max()
                    ? QStringLiteral("no tick is kept at full resolution any more")
                    : QStringLiteral("ticks are kept at full resolution only from %1")
                          .arg(QDateTime::fromMSecsSinceEpoch(*Kept / 1000).toString(Qt::ISODate));
            Complain(QStringLiteral("note: %1; older ones were not exported.").arg(Since));
        }
        if (!Temporary.isEmpty() && !CopyToOutput(Temporary)) {
            Complain(QStringLiteral("the output could not be written."));
            Code = 1;
        }
    } catch (const EHistoryError& E) {
        Complain(
            QStringLiteral("history %1: %2").arg(HistoryFile, QString::fromStdString(E.Cause())));
        Code = 1;
    } catch (const ELogError& E) {
        Complain(QStringLiteral("%1: %2").arg(
            QFile::decodeName(QByteArray::fromStdString(Request.OutPath)),
            E.SystemError() ? QString::fromLocal8Bit(std::strerror(E.SystemError()))
                            : QString::fromStdString(E.what())));
        Code = 1;
    }
    if (!Temporary.isEmpty())
        QFile::remove(Temporary);
    return Code;
}

} // namespace kelvalog
