#pragma once

#include "logging/automation/automation.h"
#include "logging/calc/calcoffice.h"

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/util/XNumberFormatter2.hpp>

#include <memory>

namespace kelvalog {

// Identifier of the Calc server besides "Excel.Application".
inline constexpr const char* CalcServerProgId = "Kelvalog.Calc";

// Registers the Calc server as "Excel.Application" and as CalcServerProgId.
// `wait` keeps the window alive while an office starts or quits; it must
// outlive every office the server starts.
void RegisterCalcServer(IServerWait* wait = nullptr);

// What the objects of one application object share: its office process and
// the workbook that is active.
struct TCalcSession
{
    std::unique_ptr<TCalcOffice> Office;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> ActiveWorkbook;
    bool Visible = false;
};
using TCalcSessionRef = std::shared_ptr<TCalcSession>;

// The application object: Visible, Workbooks, ActiveSheet, Quit.
class TCalcApplication : public TDispatch
{
public:
    explicit TCalcApplication(TCalcSessionRef session) : Shared(std::move(session)) {}
    TVariant Invoke(std::string_view name, TInvokeKind kind,
                    const std::vector<TVariant>& args) override;
    std::string Describe() const override { return "Calc application"; }
    const TCalcSessionRef& Session() const { return Shared; }

private:
    TCalcSessionRef Shared;
};

// A worksheet: Name, Columns(n), Cells(r, c), Application.
class TCalcSheet : public TDispatch
{
public:
    TCalcSheet(TCalcSessionRef session,
               css::uno::Reference<css::sheet::XSpreadsheetDocument> document,
               css::uno::Reference<css::sheet::XSpreadsheet> sheet);
    TVariant Invoke(std::string_view name, TInvokeKind kind,
                    const std::vector<TVariant>& args) override;
    std::string Describe() const override { return "Calc sheet"; }

    const css::uno::Reference<css::sheet::XSpreadsheetDocument>& Document() const
    {
        return Workbook;
    }
    const css::uno::Reference<css::sheet::XSpreadsheet>& Sheet() const { return Table; }
    const TCalcSessionRef& Session() const { return Shared; }

    // Cell (row, column), both from 1, receives `text` converted as typed:
    // a plain decimal number with "." (the notation of a call made without a
    // locale) or a number in the sheet's locale becomes a number, anything
    // else stays text.
    void PutCell(std::int32_t row, std::int32_t column, const std::string& text);

private:
    TCalcSessionRef Shared;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> Workbook;
    css::uno::Reference<css::sheet::XSpreadsheet> Table;
    css::uno::Reference<css::util::XNumberFormatter2> Formatter;
    sal_Int32 StandardFormat = 0;
};

} // namespace kelvalog
