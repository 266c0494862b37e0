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
// `Wait` keeps the window alive while an office starts or quits; it must
// outlive every office the server starts.
void RegisterCalcServer(IServerWait* Wait = nullptr);

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
    explicit TCalcApplication(TCalcSessionRef Session) : FShared(std::move(Session)) {}
    TVariant Invoke(std::string_view Name, TInvokeKind Kind,
                    const std::vector<TVariant>& Args) override;
    std::string Describe() const override { return "Calc application"; }
    const TCalcSessionRef& Session() const { return FShared; }

private:
    TCalcSessionRef FShared;
};

// A worksheet: Name, Columns(n), Cells(r, c), Application.
class TCalcSheet : public TDispatch
{
public:
    TCalcSheet(TCalcSessionRef Session,
               css::uno::Reference<css::sheet::XSpreadsheetDocument> Document,
               css::uno::Reference<css::sheet::XSpreadsheet> Sheet);
    TVariant Invoke(std::string_view Name, TInvokeKind Kind,
                    const std::vector<TVariant>& Args) override;
    std::string Describe() const override { return "Calc sheet"; }

    const css::uno::Reference<css::sheet::XSpreadsheetDocument>& Document() const
    {
        return FWorkbook;
    }
    const css::uno::Reference<css::sheet::XSpreadsheet>& Sheet() const { return FTable; }
    const TCalcSessionRef& Session() const { return FShared; }

    // Cell (row, column), both from 1, receives `Text` converted as typed:
    // a plain decimal number with "." (the notation of a call made without a
    // locale) or a number in the sheet's locale becomes a number, anything
    // else stays text.
    void PutCell(std::int32_t Row, std::int32_t Column, const std::string& Text);

private:
    TCalcSessionRef FShared;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> FWorkbook;
    css::uno::Reference<css::sheet::XSpreadsheet> FTable;
    css::uno::Reference<css::util::XNumberFormatter2> FFormatter;
    sal_Int32 FStandardFormat = 0;
};

} // namespace kelvalog
