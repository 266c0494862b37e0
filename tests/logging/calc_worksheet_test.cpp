#include "logging/automation/automationregistry.h"
#include "logging/automation/worksheetwriter.h"

#include <gtest/gtest.h>

#ifdef KELVALOG_HAVE_CALC

#include "common/serialdate.h"
#include "logging/calc/calcserver.h"
#include "logging/logcontrol.h"

#include <gmock/gmock.h>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace kelvalog {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

const TLocalDateTime Start{2024, 12, 8, 14, 3, 5, 250};

TLocaleFacts Facts(const char* shortDate)
{
    TLocaleFacts facts;
    facts.DecimalSeparator = '.';
    facts.ShortDatePattern = shortDate;
    return facts;
}

// Start plus the seconds the test sets.
TLocalClock ClockAt(const int& seconds)
{
    return [&seconds] {
        TLocalDateTime now = Start;
        now.Second += seconds;
        return now;
    };
}

TLogRecordValues Record(int validCount, float base)
{
    TLogRecordValues values;
    for (int channel = 0; channel < validCount; ++channel)
        values.Channels[channel] = {true, base + static_cast<float>(channel)};
    return values;
}

// Processes of the group that still run; an orphan that died may stay a
// zombie where the init process does not reap.
int LiveMembers(pid_t group)
{
    int live = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        pid_t processGroup = 0;
        fields >> state >> parent >> processGroup;
        if (processGroup == group && state != 'Z' && state != 'X')
            ++live;
    }
    return live;
}

std::shared_ptr<TCalcSheet> CalcSheetOf(const TWorksheetWriter& writer)
{
    auto sheet = std::dynamic_pointer_cast<TCalcSheet>(ObjectArg(writer.LogSheet()));
    if (!sheet)
        throw std::runtime_error("the log sheet is not a Calc sheet");
    return sheet;
}

class CalcWorksheet : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterCalcServer(); }
};

TEST_F(CalcWorksheet, RecordsLandInTheSheetAsDatesAndNumbers)
{
    const auto started = std::chrono::steady_clock::now();
    int seconds = 0;
    TWorksheetWriter writer(Facts("d-M-yyyy"), ClockAt(seconds));
    writer.Open("");
    const auto sheet = CalcSheetOf(writer);
    const pid_t office = sheet->Session()->Office->ProcessGroup();
    ASSERT_GT(office, 0);
    const auto profile = sheet->Session()->Office->ProfileFolder();
    ASSERT_TRUE(std::filesystem::is_directory(profile));

    writer.WriteRecord(Record(5, 21.5f), 0);
    seconds = 1;
    writer.WriteRecord(Record(5, -3.25f), 1);
    seconds = 2;
    TLogRecordValues gaps;
    gaps.Channels[1] = {true, 7.0f};
    gaps.Channels[7] = {true, 1013.25f};
    writer.WriteRecord(gaps, 2);

    Reference<css::container::XNamed> named(sheet->Sheet(), UNO_QUERY_THROW);
    EXPECT_EQ(named->getName(), OUString("Kelvalog 8-12-2024"));

    Reference<css::util::XNumberFormatsSupplier> supplier(sheet->Document(), UNO_QUERY_THROW);
    const auto formats = supplier->getNumberFormats();
    for (int row = 0; row < 3; ++row) {
        const auto dateCell = sheet->Sheet()->getCellByPosition(0, row);
        ASSERT_EQ(dateCell->getType(), css::table::CellContentType_VALUE) << "row " << row + 1;
        TLocalDateTime expected = Start;
        expected.Second += row;
        EXPECT_NEAR(dateCell->getValue(), SerialDate(expected), 1e-9);
        sal_Int32 key = 0;
        Reference<css::beans::XPropertySet>(dateCell, UNO_QUERY_THROW)
            ->getPropertyValue(OUString("NumberFormat")) >>= key;
        sal_Int16 type = 0;
        formats->getByKey(key)->getPropertyValue(OUString("Type")) >>= type;
        EXPECT_TRUE(type & css::util::NumberFormat::DATETIME) << "row " << row + 1;
    }
    for (int column = 1; column <= 5; ++column) {
        EXPECT_DOUBLE_EQ(sheet->Sheet()->getCellByPosition(column, 0)->getValue(),
                         21.5 + (column - 1));
        EXPECT_DOUBLE_EQ(sheet->Sheet()->getCellByPosition(column, 1)->getValue(),
                         -3.25 + (column - 1));
        EXPECT_EQ(sheet->Sheet()->getCellByPosition(column, 1)->getType(),
                  css::table::CellContentType_VALUE);
    }
    for (int column = 6; column <= 8; ++column)
        EXPECT_EQ(sheet->Sheet()->getCellByPosition(column, 0)->getType(),
                  css::table::CellContentType_EMPTY);
    // Channels 1 and 7 only: columns 3 and 9.
    for (int column = 1; column <= 8; ++column) {
        const bool written = column == 2 || column == 8;
        EXPECT_EQ(sheet->Sheet()->getCellByPosition(column, 2)->getType(),
                  written ? css::table::CellContentType_VALUE : css::table::CellContentType_EMPTY)
            << "column " << column + 1;
    }
    EXPECT_DOUBLE_EQ(sheet->Sheet()->getCellByPosition(2, 2)->getValue(), 7.0);
    EXPECT_DOUBLE_EQ(sheet->Sheet()->getCellByPosition(8, 2)->getValue(), 1013.25);

    // Twenty digits of a 10 pt font and the margin: about 4 cm.
    Reference<css::table::XColumnRowRange> range(sheet->Sheet(), UNO_QUERY_THROW);
    sal_Int32 width = 0;
    Reference<css::beans::XPropertySet>(range->getColumns()->getByIndex(0), UNO_QUERY_THROW)
        ->getPropertyValue(OUString("Width")) >>= width;
    EXPECT_GT(width, 3500);
    EXPECT_LT(width, 5000);

    // Names and places the sheet does not have are failed calls.
    EXPECT_THROW(GetProperty(writer.LogSheet(), "UsedRange"), EAutomationError);
    EXPECT_THROW(SetProperty(writer.LogSheet(), "Cells", {0, 1, std::string("1")}),
                 EAutomationError);
    EXPECT_THROW(SetProperty(writer.LogSheet(), "Cells", {1, 100000, std::string("1")}),
                 EAutomationError);

    writer.Close();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(writer.LogSheet()));
    // Quit ended the office nobody could see, reaped it and removed its
    // profile.
    EXPECT_EQ(LiveMembers(office), 0);
    EXPECT_FALSE(std::filesystem::exists(profile));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(120));
}

// The office takes its locale from the environment, as the program does.
class TScopedLocale
{
public:
    explicit TScopedLocale(const char* locale)
    {
        if (const char* old = std::getenv("LC_ALL"))
            Saved = old;
        ::setenv("LC_ALL", locale, 1);
    }
    ~TScopedLocale()
    {
        if (Saved)
            ::setenv("LC_ALL", Saved->c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }

private:
    std::optional<std::string> Saved;
};

TEST_F(CalcWorksheet, CommaLocaleValuesAndPointDatesBothBecomeNumbers)
{
    const TScopedLocale german("de_DE.UTF-8");
    int seconds = 0;
    TLocaleFacts facts = Facts("dd.MM.yyyy");
    facts.DecimalSeparator = ',';
    TWorksheetWriter writer(facts, ClockAt(seconds));
    writer.Open("");
    const auto sheet = CalcSheetOf(writer);
    writer.WriteRecord(Record(2, -21.5f), 0);

    Reference<css::container::XNamed> named(sheet->Sheet(), UNO_QUERY_THROW);
    EXPECT_EQ(named->getName(), OUString("Kelvalog 08.12.2024"));
    const auto dateCell = sheet->Sheet()->getCellByPosition(0, 0);
    ASSERT_EQ(dateCell->getType(), css::table::CellContentType_VALUE);
    EXPECT_NEAR(dateCell->getValue(), SerialDate(Start), 1e-9);
    EXPECT_DOUBLE_EQ(sheet->Sheet()->getCellByPosition(1, 0)->getValue(), -21.5);
    EXPECT_DOUBLE_EQ(sheet->Sheet()->getCellByPosition(2, 0)->getValue(), -20.5);
    writer.Close();
}

TEST_F(CalcWorksheet, AnOfficeThatDiesFailsTheNextRecordOnce)
{
    int seconds = 0;
    auto writer = std::make_unique<TWorksheetWriter>(Facts("M/d/yyyy"), ClockAt(seconds));
    writer->Open("");
    const auto sheet = CalcSheetOf(*writer);
    // A slash cannot stand in a sheet name.
    Reference<css::container::XNamed> named(sheet->Sheet(), UNO_QUERY_THROW);
    EXPECT_EQ(named->getName(), OUString("Kelvalog 12-8-2024"));
    writer->WriteRecord(Record(2, 1.0f), 0);

    const pid_t office = sheet->Session()->Office->ProcessGroup();
    ASSERT_GT(office, 0);
    const auto profile = sheet->Session()->Office->ProfileFolder();
    // The office dies under its keeper, as in a crash.
    std::ifstream children("/proc/" + std::to_string(office) + "/task/" + std::to_string(office) +
                           "/children");
    pid_t soffice = 0;
    ASSERT_TRUE(children >> soffice);
    ASSERT_EQ(::kill(soffice, SIGKILL), 0);

    const auto before = std::chrono::steady_clock::now();
    EXPECT_THROW(writer->WriteRecord(Record(2, 2.0f), 1), ELogError);
    EXPECT_THROW(writer->Close(), ELogError);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(writer->LogSheet()));
    writer.reset();
    // The dead office was reaped; nothing of it is left.
    EXPECT_EQ(LiveMembers(office), 0);
    EXPECT_FALSE(std::filesystem::exists(profile));
}

// Counts what the window was asked to do while it waited.
struct TCountingWait : IServerWait
{
    void Begin(TServerActivity activity) override
    {
        ++Begins;
        Activity = activity;
    }
    void Pump() override { ++Pumps; }
    void End() override { ++Ends; }
    int Begins = 0;
    int Pumps = 0;
    int Ends = 0;
    TServerActivity Activity = TServerActivity::Closing;
};

// An office that does not answer in its time is cut short, the window kept
// going meanwhile, and the waiting ends with a failure.
TEST(OfficeSlowStep, AStepPastItsLimitIsCutShortAndFails)
{
    TCountingWait wait;
    std::atomic<bool> cut{false};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(RunSlowStep(
                     &wait, TServerActivity::Starting, std::chrono::milliseconds(300),
                     [&] {
                         while (!cut)
                             std::this_thread::sleep_for(std::chrono::milliseconds(5));
                     },
                     [&] { cut = true; }),
                 EAutomationError);
    EXPECT_TRUE(cut);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(wait.Begins, 1);
    EXPECT_EQ(wait.Ends, 1);
    EXPECT_EQ(wait.Activity, TServerActivity::Starting);
    EXPECT_GE(wait.Pumps, 10);

    // A step's own failure comes through; one in time is not cut.
    cut = false;
    EXPECT_THROW(RunSlowStep(
                     &wait, TServerActivity::Closing, std::chrono::seconds(30),
                     [] { throw EAutomationError("refused"); }, [&] { cut = true; }),
                 EAutomationError);
    EXPECT_FALSE(cut);
    EXPECT_EQ(wait.Ends, 2);
    EXPECT_NO_THROW(RunSlowStep(
        nullptr, TServerActivity::Closing, std::chrono::seconds(30), [] {}, [&] { cut = true; }));
    EXPECT_FALSE(cut);
}

// The window side of a log set to the worksheet kind.
class TWorksheetView : public ILogView
{
public:
    int LoggingTypeIndex() const override { return static_cast<int>(TLogKind::Worksheet); }
    std::string FileName(TLogKind) const override { return {}; }
    void SetFileName(TLogKind, const std::string&) override {}
    std::int32_t LogInterval() const override { return 1; }
    void ShowRecordsWritten(std::int32_t count) override { Shown = count; }
    void ShowLoggingPage(int) override {}
    void ShowMessage(TLogMessageKind, const std::string& text) override
    {
        Messages.push_back(text);
    }
    std::optional<std::string> ChooseFile(const TLogFileDialog&, const std::string&) override
    {
        return std::nullopt;
    }
    void UpdateControls() override {}

    std::vector<std::string> Messages;
    std::int32_t Shown = -1;
};

// Sets an environment variable, or removes it for nullptr, for one scope.
class TScopedVariable
{
public:
    TScopedVariable(const char* name, const char* value) : Name(name)
    {
        if (const char* old = std::getenv(name))
            Saved = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TScopedVariable()
    {
        if (Saved)
            ::setenv(Name.c_str(), Saved->c_str(), 1);
        else
            ::unsetenv(Name.c_str());
    }

private:
    std::string Name;
    std::optional<std::string> Saved;
};

// Where no window can be shown, a sheet would be filled that nobody sees and
// that vanishes with its office: the opening fails as any other, nothing is
// counted and no office or profile is left.
TEST_F(CalcWorksheet, WithoutADisplayTheLogCannotBeCreatedAndNothingIsCounted)
{
    char folder[] = "/tmp/kelvalog-nowindow-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const TScopedVariable headless(HeadlessOfficeVariable, nullptr);
    const TScopedVariable display("DISPLAY", nullptr);
    const TScopedVariable wayland("WAYLAND_DISPLAY", nullptr);
    const TScopedVariable temporary("TMPDIR", folder);

    TWorksheetView view;
    TLogControl control(view, Facts("d-M-yyyy"));
    control.SetWriterFactory(TLogKind::Worksheet, WorksheetWriterFactory(Facts("d-M-yyyy")));
    control.LogOnActionExecute();
    EXPECT_THAT(view.Messages, ::testing::ElementsAre(LogCreateFailedText));
    EXPECT_FALSE(control.Logging());
    EXPECT_FALSE(control.LogOpen());
    for (int tick = 0; tick < 3; ++tick)
        control.SampleTick(Record(2, 1.0f));
    EXPECT_EQ(control.RecordsWritten(), 0);
    EXPECT_EQ(view.Shown, 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove(folder);
}

} // namespace
} // namespace kelvalog

#else

TEST(CalcWorksheet, NeedsTheOfficeSdk)
{
    GTEST_SKIP() << "built without the LibreOffice SDK: no Calc worksheet server to test";
}

#endif
