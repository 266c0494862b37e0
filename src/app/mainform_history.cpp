// The history on disk: read into the trend at start, then every sampling
// tick handed to its writer thread.

#include "acquisition/trendstore.h"
#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/mainformhistory.h"
#include "app/mainformtrend.h"
#include "controls/dropdownlist.h"
#include "history/historystore.h"
#include "logging/logwriter.h"
#include "settings/inifilestore.h"
#include "settings/settingslocation.h"

#include "app/historyexportdialog.h"
#include "app/messages.h"
#include "history/historyexport.h"
#include "trend/trendwindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>

#include <cstring>

namespace kelvalog {

namespace {

constexpr const char* Section = "History";

} // namespace

QString TMainForm::HistoryFile() const
{
    return FHistory && FHistory->Writer
               ? QFile::decodeName(QByteArray::fromStdString(FHistory->Path))
               : QString();
}

void TMainForm::LoadHistorySettings()
{
    FHistory = std::make_unique<TMainFormHistory>();
    FHistory->Path = QFile::encodeName(FOptions.HistoryPath).toStdString();
    FHistory->Enabled = IniFileStore->ReadIntegerValue(Section, "Enabled", 1) != 0;
    const std::int32_t Limit =
        IniFileStore->ReadIntegerValue(Section, "LimitMB", TMainFormHistory::DefaultLimitMB);
    // Below a few megabytes the trend's own resolutions would not fit.
    FHistory->LimitMB = Limit >= 4 ? Limit : TMainFormHistory::DefaultLimitMB;
}

void TMainForm::StartHistory()
{
    if (!FHistory)
        FHistory = std::make_unique<TMainFormHistory>();
    if (!FHistory->Enabled || FHistory->Path.empty())
        return;
    const auto Limit = static_cast<std::uint64_t>(FHistory->LimitMB) << 20;
    try {
        if (!CreateFoldersFor(FHistory->Path))
            throw EHistoryError("cannot make the folder of " + FHistory->Path, 0, 0);
        // Also completes what a killed program left, before the writer starts.
        THistoryStore Store(FHistory->Path, THistoryStore::TMode::Write);
        Store.SeedTrend(FTrend->Store);
    } catch (const EHistoryError& E) {
        ShowNotice(QStringLiteral("History: %1").arg(QString::fromStdString(E.Cause())));
    }
    FHistory->Writer = std::make_unique<THistoryWriter>(FHistory->Path, Limit);
    FHistory->Poll.setInterval(1000);
    connect(&FHistory->Poll, &QTimer::timeout, this,
            [this] { Guarded([this] { ShowHistoryStatus(); }); });
}

void TMainForm::HistoryBeginRun()
{
    if (FHistory && FHistory->Writer)
        FHistory->Writer->BeginRun(FTrend->Clock());
}

void TMainForm::HistoryTick()
{
    if (!FHistory || !FHistory->Writer)
        return;
    THistoryTick Tick;
    Tick.Time = FTickTime;
    Tick.Board = Board();
    Tick.Filter = FFilterPanel->FilterType()->ItemIndex();
    for (int I = 0; I < Channels.size(); ++I) {
        const TChannel& Channel = Channels[I];
        if (Channel.Valid)
            Tick.Valid = static_cast<std::uint8_t>(Tick.Valid | (1u << I));
        Tick.Sample[I] = Channel.Sample;
        Tick.Filtered[I] = Channel.Filtered;
    }
    FHistory->Writer->Push(Tick);
    ShowHistoryStatus();
}

void TMainForm::ShowHistoryStatus()
{
    const std::string Text = HistoryStatusText(FHistory->Writer->Status());
    if (Text == FHistory->Shown)
        return;
    const bool WasShown = !FHistory->Shown.empty();
    FHistory->Shown = Text;
    if (Text.empty())
        FHistory->Poll.stop();
    else if (!FHistory->Poll.isActive())
        FHistory->Poll.start();
    if (!Text.empty())
        ShowNotice(QString::fromStdString(Text));
    else if (WasShown)
        ShowNotice(QStringLiteral("History: every tick stored again"));
}

void TMainForm::ConnectHistoryExport(TTrendWindow& Window)
{
    if (FHistory && FHistory->Writer)
        Window.SetExport([this](std::int64_t From, std::int64_t To) {
            Guarded([this, From, To] { HistoryExportClick(From, To); });
        });
}

void TMainForm::HistoryExportClick(std::int64_t From, std::int64_t To)
{
    QWidget* Parent = TrendWindow() ? static_cast<QWidget*>(TrendWindow()) : this;
    THistoryExportDialog Dialog(From, To, Parent);
    if (Dialog.exec() != QDialog::Accepted)
        return;
    static const TFileDialogRequest Files[] = {
        {QStringLiteral("Export"), QStringLiteral("CSV files *.csv|*.csv|all files *.*|*.*"),
         QStringLiteral("csv"), QStringLiteral("history.csv")},
        {QStringLiteral("Export"), QStringLiteral("text files *.txt|*.txt|all files *.*|*.*"),
         QStringLiteral("txt"), QStringLiteral("history.txt")},
        {QStringLiteral("Export"),
         QStringLiteral("symbolic link files *.slk|*.slk|all files *.*|*.*"), QStringLiteral("slk"),
         QStringLiteral("history.slk")}};
    const auto Path = ChooseFile(Parent, Files[static_cast<int>(Dialog.Format())]);
    if (!Path)
        return;
    THistoryExport Request;
    Request.From = Dialog.From();
    Request.To = Dialog.To();
    Request.Format = Dialog.Format();
    Request.OutPath = QFile::encodeName(*Path).toStdString();
    Request.Facts = Locale();
    QProgressDialog Progress(QString::fromUtf8("Exporting…"), QStringLiteral("Cancel"), 0, 1000,
                             Parent);
    Progress.setWindowModality(Qt::WindowModal);
    Progress.setMinimumDuration(300);
    QString Failure;
    try {
        THistoryStore Store(FHistory->Path, THistoryStore::TMode::Read);
        ExportHistory(Store, Request, [&Progress](std::uint64_t Done, std::uint64_t Total) {
            Progress.setValue(Total > 0 ? static_cast<int>(Done * 1000 / Total) : 1000);
            QCoreApplication::processEvents();
            return !Progress.wasCanceled();
        });
    } catch (const EHistoryError& E) {
        Failure = QString::fromStdString(E.Cause());
    } catch (const ELogError& E) {
        Failure = E.SystemError() ? QString::fromLocal8Bit(std::strerror(E.SystemError()))
                                  : QString::fromStdString(E.what());
    }
    Progress.reset();
    if (!Failure.isEmpty())
        ShowMessage(Parent, TMessageKind::Error, QStringLiteral("The export could not be written."),
                    *Path + QStringLiteral(": ") + Failure);
}

} // namespace kelvalog
