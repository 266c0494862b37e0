#include "logging/calc/calcserver.h"

#include "common/numbertext.h"
#include "logging/automation/automationregistry.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/NotNumericException.hpp>
#include <com/sun/star/util/NumberFormatter.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kelvalog {

using rtl::OUString;

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

namespace {

bool Is(std::string_view Name, std::string_view Member)
{
    return std::equal(
        Name.begin(), Name.end(), Member.begin(), Member.end(),
        [](unsigned char A, unsigned char B) { return std::tolower(A) == std::tolower(B); });
}

[[noreturn]] void Refuse(std::string_view Name)
{
    throw EAutomationError("unknown member or use: " + std::string(Name));
}

void ExpectArgs(const std::vector<TVariant>& Args, std::size_t Count, std::string_view Name)
{
    if (Args.size() != Count)
        throw EAutomationError("wrong number of arguments for " + std::string(Name));
}

// Runs a member and turns the office's failures (a closed document, an
// office that has gone) into failed calls.
template <typename TBody> TVariant Guarded(std::string_view Name, TBody Body)
{
    try {
        return Body();
    } catch (const css::uno::Exception& Error) {
        throw EAutomationError(std::string(Name) + " failed: " + FromUno(Error.Message));
    }
}

const css::lang::Locale EnglishLocale(OUString("en"), OUString("US"), OUString());

// Characters a sheet name cannot hold; a date such as 12/8/2024 in the name
// would otherwise be refused.
std::string SheetName(std::string Name)
{
    std::replace_if(
        Name.begin(), Name.end(),
        [](char C) { return std::string_view("[]*?:/\\").find(C) != std::string_view::npos; }, '-');
    return Name;
}

// Column 1 formats: the codes of the calls are in English notation.
sal_Int32 FormatKey(const Reference<css::sheet::XSpreadsheetDocument>& Document,
                    const std::string& Code)
{
    Reference<css::util::XNumberFormatsSupplier> Supplier(Document, UNO_QUERY_THROW);
    const auto Formats = Supplier->getNumberFormats();
    const OUString UnoCode = ToUno(Code);
    sal_Int32 Key = Formats->queryKey(UnoCode, EnglishLocale, false);
    if (Key < 0)
        Key = Formats->addNew(UnoCode, EnglishLocale);
    return Key;
}

// Width of `Characters` digits of the default font in 1/100 mm, with the
// margin a spreadsheet column adds (five pixels where a digit is seven).
sal_Int32 ColumnWidth(const Reference<css::sheet::XSpreadsheetDocument>& Document,
                      double Characters)
{
    float Points = 10.0f;
    try {
        Reference<css::style::XStyleFamiliesSupplier> Families(Document, UNO_QUERY_THROW);
        Reference<css::container::XNameAccess> CellStyles(
            Families->getStyleFamilies()->getByName(OUString("CellStyles")), UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> Standard(CellStyles->getByName(OUString("Default")),
                                                     UNO_QUERY_THROW);
        Standard->getPropertyValue(OUString("CharHeight")) >>= Points;
    } catch (const css::uno::Exception&) {
    }
    // Digits of the usual sans-serif fonts are 0.556 em wide.
    const double DigitPoints = 0.556 * Points;
    const double WidthPoints = (Characters + 5.0 / 7.0) * DigitPoints;
    return static_cast<sal_Int32>(std::lround(WidthPoints * 2540.0 / 72.0));
}

// Columns(n) of a sheet: NumberFormat and ColumnWidth.
class TCalcColumn : public TDispatch
{
public:
    TCalcColumn(TCalcSessionRef Session, Reference<css::sheet::XSpreadsheetDocument> Document,
                Reference<css::beans::XPropertySet> Column)
        : FShared(std::move(Session)), FWorkbook(std::move(Document)), FColumn(std::move(Column))
    {
    }

    TVariant Invoke(std::string_view Name, TInvokeKind Kind,
                    const std::vector<TVariant>& Args) override
    {
        return Guarded(Name, [&]() -> TVariant {
            if (Is(Name, "NumberFormat") && Kind == TInvokeKind::PropertyPut) {
                ExpectArgs(Args, 1, Name);
                FColumn->setPropertyValue(OUString("NumberFormat"),
                                          css::uno::Any(FormatKey(FWorkbook, TextArg(Args[0]))));
                return {};
            }
            if (Is(Name, "ColumnWidth") && Kind == TInvokeKind::PropertyPut) {
                ExpectArgs(Args, 1, Name);
                const double Characters = NumberArg(Args[0]);
                if (!(Characters >= 0 && Characters <= 255))
                    throw EAutomationError("column width out of range");
                FColumn->setPropertyValue(OUString("Width"),
                                          css::uno::Any(ColumnWidth(FWorkbook, Characters)));
                return {};
            }
            Refuse(Name);
        });
    }

    std::string Describe() const override { return "Calc column"; }

private:
    TCalcSessionRef FShared;
    Reference<css::sheet::XSpreadsheetDocument> FWorkbook;
    Reference<css::beans::XPropertySet> FColumn;
};

// Workbooks: Add.
class TCalcWorkbooks : public TDispatch
{
public:
    explicit TCalcWorkbooks(TCalcSessionRef Session) : FShared(std::move(Session)) {}

    TVariant Invoke(std::string_view Name, TInvokeKind Kind,
                    const std::vector<TVariant>& Args) override
    {
        return Guarded(Name, [&]() -> TVariant {
            if (Is(Name, "Add") && Allows(Kind, TInvokeKind::Method)) {
                ExpectArgs(Args, 0, Name);
                FShared->ActiveWorkbook = FShared->Office->NewDocument();
                return {};
            }
            Refuse(Name);
        });
    }

    std::string Describe() const override { return "Calc workbooks"; }

private:
    TCalcSessionRef FShared;
};

} // namespace

void RegisterCalcServer(IServerWait* Wait)
{
    const TServerFactory Factory = [Wait]() -> TDispatchRef {
        // A start that fails inside the UNO runtime is a failed creation too.
        try {
            auto Session = std::make_shared<TCalcSession>();
            Session->Office = std::make_unique<TCalcOffice>(Wait);
            return std::make_shared<TCalcApplication>(std::move(Session));
        } catch (const css::uno::Exception& Error) {
            throw EAutomationError("the office could not be started: " + FromUno(Error.Message));
        }
    };
    RegisterAutomationServer("Excel.Application", Factory);
    RegisterAutomationServer(CalcServerProgId, Factory);
}

TVariant TCalcApplication::Invoke(std::string_view Name, TInvokeKind Kind,
                                  const std::vector<TVariant>& Args)
{
    return Guarded(Name, [&]() -> TVariant {
        TCalcSession& Session = *FShared;
        if (Is(Name, "Visible")) {
            if (Kind == TInvokeKind::PropertyPut) {
                ExpectArgs(Args, 1, Name);
                Session.Visible = BooleanArg(Args.back());
                if (Session.Visible)
                    Session.Office->Show(Session.ActiveWorkbook);
                return {};
            }
            ExpectArgs(Args, 0, Name);
            return Session.Visible;
        }
        if (Is(Name, "Workbooks") && Kind != TInvokeKind::PropertyPut) {
            ExpectArgs(Args, 0, Name);
            return std::make_shared<TCalcWorkbooks>(FShared);
        }
        if (Is(Name, "ActiveSheet") && Allows(Kind, TInvokeKind::PropertyGet)) {
            ExpectArgs(Args, 0, Name);
            if (!Session.ActiveWorkbook.is())
                throw EAutomationError("no workbook is open");
            Reference<css::container::XIndexAccess> Sheets(Session.ActiveWorkbook->getSheets(),
                                                           UNO_QUERY_THROW);
            Reference<css::sheet::XSpreadsheet> First(Sheets->getByIndex(0), UNO_QUERY_THROW);
            return std::make_shared<TCalcSheet>(FShared, Session.ActiveWorkbook, First);
        }
        if (Is(Name, "Quit") && Allows(Kind, TInvokeKind::Method)) {
            ExpectArgs(Args, 0, Name);
            Session.ActiveWorkbook.clear();
            Session.Office->Quit();
            return {};
        }
        Refuse(Name);
    });
}

TCalcSheet::TCalcSheet(TCalcSessionRef Session,
                       Reference<css::sheet::XSpreadsheetDocument> Document,
                       Reference<css::sheet::XSpreadsheet> Sheet)
    : FShared(std::move(Session)), FWorkbook(std::move(Document)), FTable(std::move(Sheet))
{
}

TVariant TCalcSheet::Invoke(std::string_view Name, TInvokeKind Kind,
                            const std::vector<TVariant>& Args)
{
    return Guarded(Name, [&]() -> TVariant {
        if (Is(Name, "Cells") && Kind == TInvokeKind::PropertyPut) {
            ExpectArgs(Args, 3, Name);
            PutCell(IntegerArg(Args[0]), IntegerArg(Args[1]), TextArg(Args[2]));
            return {};
        }
        if (Is(Name, "Name")) {
            Reference<css::container::XNamed> Named(FTable, UNO_QUERY_THROW);
            if (Kind == TInvokeKind::PropertyPut) {
                ExpectArgs(Args, 1, Name);
                const std::string Wanted = SheetName(TextArg(Args[0]));
                Named->setName(ToUno(Wanted));
                // The office leaves a name it cannot take unchanged.
                if (FromUno(Named->getName()) != Wanted)
                    throw EAutomationError("the sheet name was refused");
                return {};
            }
            ExpectArgs(Args, 0, Name);
            return FromUno(Named->getName());
        }
        if (Is(Name, "Columns") && Allows(Kind, TInvokeKind::PropertyGet)) {
            ExpectArgs(Args, 1, Name);
            const std::int32_t Column = IntegerArg(Args[0]);
            Reference<css::table::XColumnRowRange> Range(FTable, UNO_QUERY_THROW);
            const auto Columns = Range->getColumns();
            if (Column < 1 || Column > Columns->getCount())
                throw EAutomationError("column out of range");
            Reference<css::beans::XPropertySet> One(Columns->getByIndex(Column - 1),
                                                    UNO_QUERY_THROW);
            return std::make_shared<TCalcColumn>(FShared, FWorkbook, One);
        }
        if (Is(Name, "Application") && Allows(Kind, TInvokeKind::PropertyGet)) {
            ExpectArgs(Args, 0, Name);
            return std::make_shared<TCalcApplication>(FShared);
        }
        Refuse(Name);
    });
}

void TCalcSheet::PutCell(std::int32_t Row, std::int32_t Column, const std::string& Text)
{
    if (Row < 1 || Column < 1)
        throw EAutomationError("cell out of range");
    const auto Cell = FTable->getCellByPosition(Column - 1, Row - 1);
    if (const auto Number = ParseDecimal(Text, '.')) {
        Cell->setValue(*Number);
        return;
    }
    if (!FFormatter.is()) {
        if (!FShared->Office->Context().is())
            throw EAutomationError("the office has quit");
        FFormatter = css::util::NumberFormatter::create(FShared->Office->Context());
        Reference<css::util::XNumberFormatsSupplier> Supplier(FWorkbook, UNO_QUERY_THROW);
        FFormatter->attachNumberFormatsSupplier(Supplier);
        css::lang::Locale Locale;
        Reference<css::beans::XPropertySet>(FWorkbook, UNO_QUERY_THROW)
            ->getPropertyValue(OUString("CharLocale")) >>= Locale;
        Reference<css::util::XNumberFormatTypes> Types(Supplier->getNumberFormats(),
                                                       UNO_QUERY_THROW);
        FStandardFormat = Types->getStandardIndex(Locale);
    }
    try {
        Cell->setValue(FFormatter->convertStringToNumber(FStandardFormat, ToUno(Text)));
        return;
    } catch (const css::util::NotNumericException&) {
    }
    Reference<css::text::XTextRange>(Cell, UNO_QUERY_THROW)->setString(ToUno(Text));
}

} // namespace kelvalog
