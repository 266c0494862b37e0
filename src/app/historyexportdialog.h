#pragma once

#include "history/historyexport.h"

#include <QDialog>

#include <cstdint>

class QComboBox;
class QDateTimeEdit;

namespace kelvalog {

// "Export": the stretch (the trend's visible one to start with, or typed)
// and the format; the file is asked for after OK.
class THistoryExportDialog : public QDialog
{
    Q_OBJECT

public:
    // Times in milliseconds since the epoch.
    THistoryExportDialog(std::int64_t From, std::int64_t To, QWidget* Parent);

    std::int64_t From() const; // microseconds, inclusive
    std::int64_t To() const;
    THistoryFormat Format() const;

    QDateTimeEdit* FromEdit = nullptr;
    QDateTimeEdit* ToEdit = nullptr;
    QComboBox* FormatList = nullptr;
};

} // namespace kelvalog
