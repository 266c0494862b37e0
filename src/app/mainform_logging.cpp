// The logging controls of the window.

#include "app/mainform.h"
#include "app/mainformlogview.h"
#include "app/messages.h"
#include "common/serialdate.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/simplefield.h"
#include "link/ui/statuslight.h"
#include "logging/automation/worksheetwriter.h"
#include "logging/logcontrol.h"

#include <QFile>
#include <QStackedWidget>

namespace kelvalog {

int TMainFormLogView::LoggingTypeIndex() const
{
    return FForm.LogPanel().LoggingType()->ItemIndex();
}

std::string TMainFormLogView::FileName(TLogKind Kind) const
{
    return QFile::encodeName(Edit(Kind)->text()).toStdString();
}

void TMainFormLogView::SetFileName(TLogKind Kind, const std::string& Name)
{
    Edit(Kind)->setText(QFile::decodeName(QByteArray::fromStdString(Name)));
}

std::int32_t TMainFormLogView::LogInterval() const
{
    return FForm.LogPanel().IntervalField()->GetIntegerValue();
}

void TMainFormLogView::ShowRecordsWritten(std::int32_t Count)
{
    FForm.LogPanel().LogRecordsWritten()->SetIntegerValue(Count);
}

void TMainFormLogView::ShowLoggingPage(int Index)
{
    FForm.LogPanel().LoggingPages()->setCurrentIndex(Index);
}

void TMainFormLogView::ShowMessage(TLogMessageKind Kind, const std::string& Text)
{
    kelvalog::ShowMessage(
        &FForm, Kind == TLogMessageKind::Error ? TMessageKind::Error : TMessageKind::Warning,
        QString::fromStdString(Text));
}

std::optional<std::string> TMainFormLogView::ChooseFile(const TLogFileDialog& Dialog,
                                                        const std::string& Initial)
{
    TFileDialogRequest Request;
    Request.Title = QString::fromUtf8(Dialog.Title);
    Request.Filter = QString::fromUtf8(Dialog.Filter);
    Request.DefaultExtension = QString::fromUtf8(Dialog.DefaultExtension);
    Request.Initial = QFile::decodeName(QByteArray::fromStdString(Initial));
    if (const auto Chosen = kelvalog::ChooseFile(&FForm, Request))
        return QFile::encodeName(*Chosen).toStdString();
    return std::nullopt;
}

void TMainFormLogView::UpdateControls()
{
    FForm.UpdateControls();
}

void TMainFormLogView::ShowRecordFailures(const std::string& Text, bool /*First*/)
{
    // The status bar only: the error light stands for receive errors.
    FForm.ShowNotice(QString::fromStdString(Text));
}

TButtonEdit* TMainFormLogView::Edit(TLogKind Kind) const
{
    return Kind == TLogKind::Tab ? FForm.LogPanel().TABFileEdit() : FForm.LogPanel().SylkFileEdit();
}

void TMainForm::CreateLogControl()
{
    FLogView = std::make_unique<TMainFormLogView>(*this);
    // A record carries the time of its tick, as the trend and the history do.
    LogControl = std::make_unique<TLogControl>(*FLogView, FOptions.Locale, [this] {
        return FTickTime != 0 ? LocalDateTimeAt(FTickTime) : LocalNow();
    });
    LogControl->SetWriterFactory(TLogKind::Worksheet, WorksheetWriterFactory(FOptions.Locale));
}

bool TMainForm::Logging() const
{
    return LogControl && LogControl->Logging();
}

bool TMainForm::LogOpen() const
{
    return LogControl && LogControl->LogOpen();
}

void TMainForm::LogOnActionExecute()
{
    LogControl->LogOnActionExecute();
}

void TMainForm::LoggingTypeClick()
{
    LogControl->LoggingTypeClick();
}

void TMainForm::CloseLog()
{
    LogControl->CloseLog();
}

void TMainForm::LogTick()
{
    TLogRecordValues Values;
    for (int Channel = 0; Channel < ChannelCount; ++Channel) {
        Values.Channels[static_cast<std::size_t>(Channel)] = {Channels[Channel].Valid,
                                                              Channels[Channel].Filtered};
    }
    LogControl->SampleTick(Values);
}

void TMainForm::ShowLogInterval()
{
    FLogPanel->LogIntervalHMS()->SetTextValue(QString::fromStdString(
        FormatLogInterval(FSamplingPanel->SampleIntervalField()->GetIntegerValue(),
                          FLogPanel->IntervalField()->GetIntegerValue())));
}

void TMainForm::SylkFileEditButtonClick()
{
    LogControl->SylkFileEditButtonClick();
}

void TMainForm::TABFileEditButtonClick()
{
    LogControl->TABFileEditButtonClick();
}

} // namespace kelvalog
