#pragma once

// The window's side of the logging control.

#include "app/mainform.h"
#include "logging/logcontrol.h"

namespace kelvalog {

class TButtonEdit;

class TMainFormLogView : public ILogView
{
public:
    explicit TMainFormLogView(TMainForm& Form) : FForm(Form) {}

    int LoggingTypeIndex() const override;
    std::string FileName(TLogKind Kind) const override;
    void SetFileName(TLogKind Kind, const std::string& Name) override;
    std::int32_t LogInterval() const override;
    void ShowRecordsWritten(std::int32_t Count) override;
    void ShowLoggingPage(int Index) override;
    void ShowMessage(TLogMessageKind Kind, const std::string& Text) override;
    std::optional<std::string> ChooseFile(const TLogFileDialog& Dialog,
                                          const std::string& Initial) override;
    void UpdateControls() override;
    void ShowRecordFailures(const std::string& Text, bool First) override;

private:
    TMainForm& FForm;
    TButtonEdit* Edit(TLogKind Kind) const;
};

} // namespace kelvalog
