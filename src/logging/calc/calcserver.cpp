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

bool Is(std::string_view name, std::string_view member)
{
    return std::equal(
        name.begin(), name.end(), member.begin(), member.end(),
        [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

[[noreturn]] void Refuse(std::string_view name)
{
    throw EAutomationError("unknown member or use: " + std::string(name));
}

void ExpectArgs(const std::vector<TVariant>& args, std::size_t count, std::string_view name)
{
    if (args.size() != count)
        throw EAutomationError("wrong number of arguments for " + std::string(name));
}

// Runs a member and turns the office's failures (a closed document, an
// office that has gone) into failed calls.
template <typename Body> TVariant Guarded(std::string_view name, Body body)
{
    try {
        return body();
    } catch (const css::uno::Exception& error) {
        throw EAutomationError(std::string(name) + " failed: " + FromUno(error.Message));
    }
}

const css::lang::Locale EnglishLocale(OUString("en"), OUString("US"), OUString());

// Characters a sheet name cannot hold; a date such as 12/8/2024 in the name
// would otherwise be refused.
std::string SheetName(std::string name)
{
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return std::string_view("[]*?:/\\").find(c) != std::string_view::npos; }, '-');
    return name;
}

// Column 1 formats: the codes of the calls are in English notation.
sal_Int32 FormatKey(const Reference<css::sheet::XSpreadsheetDocument>& document,
                    const std::string& code)
{
    Reference<css::util::XNumberFormatsSupplier> supplier(document, UNO_QUERY_THROW);
    const auto formats = supplier->getNumberFormats();
    const OUString unoCode = ToUno(code);
    sal_Int32 key = formats->queryKey(unoCode, EnglishLocale, false);
    if (key < 0)
        key = formats->addNew(unoCode, EnglishLocale);
    return key;
}

// Width of `characters` digits of the default font in 1/100 mm, with the
// margin a spreadsheet column adds (five pixels where a digit is seven).
sal_Int32 ColumnWidth(const Reference<css::sheet::XSpreadsheetDocument>& document,
                      double characters)
{
    float points = 10.0f;
    try {
        Reference<css::style::XStyleFamiliesSupplier> families(document, UNO_QUERY_THROW);
        Reference<css::container::XNameAccess> cellStyles(
            families->getStyleFamilies()->getByName(OUString("CellStyles")), UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> standard(cellStyles->getByName(OUString("Default")),
                                                     UNO_QUERY_THROW);
        standard->getPropertyValue(OUString("CharHeight")) >>= points;
    } catch (const css::uno::Exception&) {
    }
    // Digits of the usual sans-serif fonts are 0.556 em wide.
    const double digitPoints = 0.556 * points;
    const double widthPoints = (characters + 5.0 / 7.0) * digitPoints;
    return static_cast<sal_Int32>(std::lround(widthPoints * 2540.0 / 72.0));
}

// Columns(n) of a sheet: NumberFormat and ColumnWidth.
class TCalcColumn : public TDispatch
{
public:
    TCalcColumn(TCalcSessionRef session, Reference<css::sheet::XSpreadsheetDocument> document,
                Reference<css::beans::XPropertySet> column)
        : Shared(std::move(session)), Workbook(std::move(document)), Column(std::move(column))
    {
    }

    TVariant Invoke(std::string_view name, TInvokeKind kind,
                    const std::vector<TVariant>& args) override
    {
        return Guarded(name, [&]() -> TVariant {
            if (Is(name, "NumberFormat") && kind == TInvokeKind::PropertyPut) {
                ExpectArgs(args, 1, name);
                Column->setPropertyValue(OUString("NumberFormat"),
                                         css::uno::Any(FormatKey(Workbook, TextArg(args[0]))));
                return {};
            }
            if (Is(name, "ColumnWidth") && kind == TInvokeKind::PropertyPut) {
                ExpectArgs(args, 1, name);
                const double characters = NumberArg(args[0]);
                if (!(characters >= 0 && characters <= 255))
                    throw EAutomationError("column width out of range");
                Column->setPropertyValue(OUString("Width"),
                                         css::uno::Any(ColumnWidth(Workbook, characters)));
                return {};
            }
            Refuse(name);
        });
    }

    std::string Describe() const override { return "Calc column"; }

private:
    TCalcSessionRef Shared;
    Reference<css::sheet::XSpreadsheetDocument> Workbook;
    Reference<css::beans::XPropertySet> Column;
};

// Workbooks: Add.
class TCalcWorkbooks : public TDispatch
{
public:
    explicit TCalcWorkbooks(TCalcSessionRef session) : Shared(std::move(session)) {}

    TVariant Invoke(std::string_view name, TInvokeKind kind,
                    const std::vector<TVariant>& args) override
    {
        return Guarded(name, [&]() -> TVariant {
            if (Is(name, "Add") && Allows(kind, TInvokeKind::Method)) {
                ExpectArgs(args, 0, name);
                Shared->ActiveWorkbook = Shared->Office->NewDocument();
                return {};
            }
            Refuse(name);
        });
    }

    std::string Describe() const override { return "Calc workbooks"; }

private:
    TCalcSessionRef Shared;
};

} // namespace

void RegisterCalcServer(IServerWait* wait)
{
    const TServerFactory factory = [wait]() -> TDispatchRef {
        // A start that fails inside the UNO runtime is a failed creation too.
        try {
            auto session = std::make_shared<TCalcSession>();
            session->Office = std::make_unique<TCalcOffice>(wait);
            return std::make_shared<TCalcApplication>(std::move(session));
        } catch (const css::uno::Exception& error) {
            throw EAutomationError("the office could not be started: " + FromUno(error.Message));
        }
    };
    RegisterAutomationServer("Excel.Application", factory);
    RegisterAutomationServer(CalcServerProgId, factory);
}

TVariant TCalcApplication::Invoke(std::string_view name, TInvokeKind kind,
                                  const std::vector<TVariant>& args)
{
    return Guarded(name, [&]() -> TVariant {
        TCalcSession& session = *Shared;
        if (Is(name, "Visible")) {
            if (kind == TInvokeKind::PropertyPut) {
                ExpectArgs(args, 1, name);
                session.Visible = BooleanArg(args.back());
                if (session.Visible)
                    session.Office->Show(session.ActiveWorkbook);
                return {};
            }
            ExpectArgs(args, 0, name);
            return session.Visible;
        }
        if (Is(name, "Workbooks") && kind != TInvokeKind::PropertyPut) {
            ExpectArgs(args, 0, name);
            return std::make_shared<TCalcWorkbooks>(Shared);
        }
        if (Is(name, "ActiveSheet") && Allows(kind, TInvokeKind::PropertyGet)) {
            ExpectArgs(args, 0, name);
            if (!session.ActiveWorkbook.is())
                throw EAutomationError("no workbook is open");
            Reference<css::container::XIndexAccess> sheets(session.ActiveWorkbook->getSheets(),
                                                           UNO_QUERY_THROW);
            Reference<css::sheet::XSpreadsheet> first(sheets->getByIndex(0), UNO_QUERY_THROW);
            return std::make_shared<TCalcSheet>(Shared, session.ActiveWorkbook, first);
        }
        if (Is(name, "Quit") && Allows(kind, TInvokeKind::Method)) {
            ExpectArgs(args, 0, name);
            session.ActiveWorkbook.clear();
            session.Office->Quit();
            return {};
        }
        Refuse(name);
    });
}

TCalcSheet::TCalcSheet(TCalcSessionRef session,
                       Reference<css::sheet::XSpreadsheetDocument> document,
                       Reference<css::sheet::XSpreadsheet> sheet)
    : Shared(std::move(session)), Workbook(std::move(document)), Table(std::move(sheet))
{
}

TVariant TCalcSheet::Invoke(std::string_view name, TInvokeKind kind,
                            const std::vector<TVariant>& args)
{
    return Guarded(name, [&]() -> TVariant {
        if (Is(name, "Cells") && kind == TInvokeKind::PropertyPut) {
            ExpectArgs(args, 3, name);
            PutCell(IntegerArg(args[0]), IntegerArg(args[1]), TextArg(args[2]));
            return {};
        }
        if (Is(name, "Name")) {
            Reference<css::container::XNamed> named(Table, UNO_QUERY_THROW);
            if (kind == TInvokeKind::PropertyPut) {
                ExpectArgs(args, 1, name);
                const std::string wanted = SheetName(TextArg(args[0]));
                named->setName(ToUno(wanted));
                // The office leaves a name it cannot take unchanged.
                if (FromUno(named->getName()) != wanted)
                    throw EAutomationError("the sheet name was refused");
                return {};
            }
            ExpectArgs(args, 0, name);
            return FromUno(named->getName());
        }
        if (Is(name, "Columns") && Allows(kind, TInvokeKind::PropertyGet)) {
            ExpectArgs(args, 1, name);
            const std::int32_t column = IntegerArg(args[0]);
            Reference<css::table::XColumnRowRange> range(Table, UNO_QUERY_THROW);
            const auto columns = range->getColumns();
            if (column < 1 || column > columns->getCount())
                throw EAutomationError("column out of range");
            Reference<css::beans::XPropertySet> one(columns->getByIndex(column - 1),
                                                    UNO_QUERY_THROW);
            return std::make_shared<TCalcColumn>(Shared, Workbook, one);
        }
        if (Is(name, "Application") && Allows(kind, TInvokeKind::PropertyGet)) {
            ExpectArgs(args, 0, name);
            return std::make_shared<TCalcApplication>(Shared);
        }
        Refuse(name);
    });
}

void TCalcSheet::PutCell(std::int32_t row, std::int32_t column, const std::string& text)
{
    if (row < 1 || column < 1)
        throw EAutomationError("cell out of range");
    const auto cell = Table->getCellByPosition(column - 1, row - 1);
    if (const auto number = ParseDecimal(text, '.')) {
        cell->setValue(*number);
        return;
    }
    if (!Formatter.is()) {
        if (!Shared->Office->Context().is())
            throw EAutomationError("the office has quit");
        Formatter = css::util::NumberFormatter::create(Shared->Office->Context());
        Reference<css::util::XNumberFormatsSupplier> supplier(Workbook, UNO_QUERY_THROW);
        Formatter->attachNumberFormatsSupplier(supplier);
        css::lang::Locale locale;
        Reference<css::beans::XPropertySet>(Workbook, UNO_QUERY_THROW)
            ->getPropertyValue(OUString("CharLocale")) >>= locale;
        Reference<css::util::XNumberFormatTypes> types(supplier->getNumberFormats(),
                                                       UNO_QUERY_THROW);
        StandardFormat = types->getStandardIndex(locale);
    }
    try {
        cell->setValue(Formatter->convertStringToNumber(StandardFormat, ToUno(text)));
        return;
    } catch (const css::util::NotNumericException&) {
    }
    Reference<css::text::XTextRange>(cell, UNO_QUERY_THROW)->setString(ToUno(text));
}

} // namespace kelvalog
