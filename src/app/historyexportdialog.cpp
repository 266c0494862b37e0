#include "app/historyexportdialog.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>

namespace kelvalog {

THistoryExportDialog::THistoryExportDialog(std::int64_t From, std::int64_t To, QWidget* Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("HistoryExportDialog"));
    setWindowTitle(QStringLiteral("Export"));
    auto* Layout = new QFormLayout(this);
    const QString Shape = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    FromEdit = new QDateTimeEdit(QDateTime::fromMSecsSinceEpoch(From / 1000 * 1000), this);
    FromEdit->setObjectName(QStringLiteral("FromEdit"));
    FromEdit->setDisplayFormat(Shape);
    FromEdit->setCalendarPopup(true);
    ToEdit = new QDateTimeEdit(QDateTime::fromMSecsSinceEpoch(To / 1000 * 1000), this);
    ToEdit->setObjectName(QStringLiteral("ToEdit"));
    ToEdit->setDisplayFormat(Shape);
    ToEdit->setCalendarPopup(true);
    FormatList = new QComboBox(this);
    FormatList->setObjectName(QStringLiteral("FormatList"));
    FormatList->addItems({QStringLiteral("CSV (UTF-8, for pandas, R, spreadsheets)"),
                          QStringLiteral("TAB-delimited text file"),
                          QStringLiteral("Spreadsheet compatible file (SYLK)")});
    Layout->addRow(QStringLiteral("&From"), FromEdit);
    Layout->addRow(QStringLiteral("&To"), ToEdit);
    Layout->addRow(QStringLiteral("F&ormat"), FormatList);
    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Layout->addRow(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::int64_t THistoryExportDialog::From() const
{
    return FromEdit->dateTime().toMSecsSinceEpoch() * 1000;
}

std::int64_t THistoryExportDialog::To() const
{
    // The shown end second counts whole.
    return ToEdit->dateTime().toMSecsSinceEpoch() * 1000 + 999'999;
}

THistoryFormat THistoryExportDialog::Format() const
{
    switch (FormatList->currentIndex()) {
    case 1:
        return THistoryFormat::Tab;
    case 2:
        return THistoryFormat::Sylk;
    default:
        return THistoryFormat::Csv;
    }
}

} // namespace kelvalog
