#include "logging/logfile.h"
#include "logging/sylkwriter.h"
#include "logging/tabwriter.h"

#include "logtestfiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kelvalog;
using namespace kelvalog::testing;

namespace {

const std::string SylkHeader = "ID;PKelvalog\r\n"
                               "P;PGeneral\r\n"
                               "P;Pd/mmm/yyyy\\ hh:mm:ss\r\n"
                               "F;P0;DG0G8\r\n"
                               "F;P1;FG0G;C1\r\n"
                               "F;W1 1 20\r\n"
                               "F;W2 9 8\r\n";

// A clock the test moves by hand.
struct TTestClock
{
    TLocalDateTime Now{2024, 12, 8, 14, 3, 7, 0};
    TLocalClock operator()()
    {
        return [this] { return Now; };
    }
};

// The "I2C (5V)" record: channels 0 to 4 valid.
TLogRecordValues FiveVoltRecord()
{
    TLogRecordValues v;
    const float values[] = {998.25f, 21.5f, 20.94f, 22.13f, -3.1f};
    for (int i = 0; i < 5; ++i) {
        v.Channels[static_cast<std::size_t>(i)] = {true, values[i]};
    }
    return v;
}

// Lets writes of this process fail beyond `bytes` of file size while alive.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &Old);
        rlimit limit = Old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &Old);
        std::signal(SIGXFSZ, OldHandler);
    }

private:
    rlimit Old{};
    void (*OldHandler)(int) = nullptr;
};

bool DevFullUsable()
{
    return ::access("/dev/full", W_OK) == 0;
}

} // namespace

TEST(SylkWriter, TwoRecordLogByteForByte)
{
    TLogTestFolder dir;
    TTestClock clock;
    TSylkLogWriter writer(clock());
    writer.Open(dir.File("log.slk"));
    EXPECT_EQ(ReadAll(dir.File("log.slk")), SylkHeader);
    writer.WriteRecord(FiveVoltRecord(), 0);
    // Each record reaches the file when it ends: a killed program loses only "E".
    EXPECT_EQ(ReadAll(dir.File("log.slk")).size(), SylkHeader.size() + 93);
    clock.Now.Second += 10;
    TLogRecordValues second = FiveVoltRecord();
    second.Channels[0].Filtered = 998.2f;
    second.Channels[4].Filtered = -0.001f;
    writer.WriteRecord(second, 1);
    writer.Close();
    EXPECT_EQ(ReadAll(dir.File("log.slk")), SylkHeader + "C;Y1;X1;K45634.5854976852\r\n"
                                                         "C;X2;K998.25\r\n"
                                                         "C;X3;K21.50\r\n"
                                                         "C;X4;K20.94\r\n"
                                                         "C;X5;K22.13\r\n"
                                                         "C;X6;K-3.10\r\n"
                                                         "C;Y2;X1;K45634.5856134259\r\n"
                                                         "C;X2;K998.20\r\n"
                                                         "C;X3;K21.50\r\n"
                                                         "C;X4;K20.94\r\n"
                                                         "C;X5;K22.13\r\n"
                                                         "C;X6;K0.00\r\n"
                                                         "E\r\n");
}

TEST(SylkWriter, SparseRowsMidnightAndEmptyLog)
{
    TLogTestFolder dir;
    TTestClock clock;
    clock.Now = {2024, 12, 9, 0, 0, 0, 0};
    TSylkLogWriter writer(clock());
    writer.Open(dir.File("log.slk"));
    writer.WriteRecord(TLogRecordValues{}, 41);
    TLogRecordValues last;
    last.Channels[7] = {true, 0.125f};
    last.Channels[5] = {true, -0.125f};
    clock.Now.Second = 1;
    writer.WriteRecord(last, 42);
    writer.Close();
    EXPECT_EQ(ReadAll(dir.File("log.slk")), SylkHeader + "C;Y42;X1;K45635\r\n"
                                                         "C;Y43;X1;K45635.0000115741\r\n"
                                                         "C;X7;K-0.13\r\n"
                                                         "C;X9;K0.13\r\n"
                                                         "E\r\n");

    // Opening the same name again starts a new file.
    TSylkLogWriter again(clock());
    again.Open(dir.File("log.slk"));
    again.Close();
    EXPECT_EQ(ReadAll(dir.File("log.slk")), SylkHeader + "E\r\n");
}

TEST(SylkWriter, OpenFailures)
{
    TLogTestFolder dir;
    TTestClock clock;
    for (const std::string& name :
         {std::string(), dir.File("missing/log.slk"), dir.Path.string()}) {
        TSylkLogWriter writer(clock());
        EXPECT_THROW(writer.Open(name), ELogError) << name;
        EXPECT_THROW(writer.WriteRecord(FiveVoltRecord(), 0), ELogError);
        EXPECT_NO_THROW(writer.Close());
    }
    if (DevFullUsable()) {
        TSylkLogWriter writer(clock());
        EXPECT_THROW(writer.Open("/dev/full"), ELogError);
    }
}

TEST(SylkWriter, FileInUseIsNeitherOpenedNorEmptied)
{
    TLogTestFolder dir;
    TTestClock clock;
    TSylkLogWriter first(clock());
    first.Open(dir.File("log.slk"));
    first.WriteRecord(TLogRecordValues{}, 0);
    const std::string before = ReadAll(dir.File("log.slk"));

    TSylkLogWriter second(clock());
    EXPECT_THROW(second.Open(dir.File("log.slk")), ELogError);
    TTabLogWriter third(TLocaleFacts{}, clock());
    EXPECT_THROW(third.Open(dir.File("log.slk")), ELogError);
    EXPECT_EQ(ReadAll(dir.File("log.slk")), before);

    first.Close();
    EXPECT_NO_THROW(second.Open(dir.File("log.slk")));
    second.Close();
}

TEST(SylkWriter, FailedRecordLeavesNothingAndTheNextTakesItsRow)
{
    TLogTestFolder dir;
    TTestClock clock;
    TSylkLogWriter writer(clock());
    const std::string name = dir.File("log.slk");
    writer.Open(name);
    writer.WriteRecord(FiveVoltRecord(), 0);
    const std::string first = ReadAll(name);
    {
        // Room for part of the next record's first line only.
        TFileSizeLimit limit(first.size() + 10);
        EXPECT_THROW(writer.WriteRecord(FiveVoltRecord(), 1), ELogError);
    }
    TLogRecordValues third;
    third.Channels[1] = {true, 5.0f};
    writer.WriteRecord(third, 2);
    writer.Close();
    // No "C;Y2;X1;K4": a cut number would read as a valid, wrong value.
    EXPECT_EQ(ReadAll(name), first + "C;Y3;X1;K45634.5854976852\r\n"
                                     "C;X3;K5.00\r\n"
                                     "E\r\n");
}

TEST(TabWriter, ExampleRecordUnderBothLocales)
{
    TLogTestFolder dir;
    TTestClock clock;
    {
        TTabLogWriter writer(CommaLocale(), clock());
        writer.Open(dir.File("comma.txt"));
        writer.WriteRecord(FiveVoltRecord(), 0);
        writer.Close();
    }
    {
        TTabLogWriter writer(TLocaleFacts{}, clock());
        writer.Open(dir.File("point.txt"));
        writer.WriteRecord(FiveVoltRecord(), 7);
        writer.Close();
    }
    EXPECT_EQ(ReadAll(dir.File("comma.txt")),
              "8-12-2024 14:03:07\t998,25\t21,50\t20,94\t22,13\t-3,10\t\t\t\r\n");
    EXPECT_EQ(ReadAll(dir.File("point.txt")),
              "12/8/2024 2:03:07 PM\t998.25\t21.50\t20.94\t22.13\t-3.10\t\t\t\r\n");
}

TEST(TabWriter, MidnightDesignatorsAndValueRounding)
{
    TLogTestFolder dir;
    TTestClock clock;
    TLocaleFacts facts;
    facts.DesignatorBeforeTime = true;
    facts.LeadingZeroInHour = true;
    TTabLogWriter writer(facts, clock());
    writer.Open(dir.File("log.txt"));
    clock.Now = {2024, 12, 9, 0, 0, 0, 999};
    writer.WriteRecord(TLogRecordValues{}, 0);
    clock.Now.Second = 1;
    TLogRecordValues values;
    values.Channels[0] = {true, 0.125f};
    values.Channels[1] = {true, -0.004f};
    values.Channels[2] = {true, 7.0f};
    values.Channels[7] = {true, -0.125f};
    writer.WriteRecord(values, 1);
    clock.Now.Hour = 13;
    writer.WriteRecord(TLogRecordValues{}, 2);
    writer.Close();
    EXPECT_EQ(ReadAll(dir.File("log.txt")),
              "12/9/2024\t\t\t\t\t\t\t\t\r\n"
              "12/9/2024 AM 12:00:01\t0.13\t0.00\t7.00\t\t\t\t\t-0.13\r\n"
              "12/9/2024 PM 01:00:01\t\t\t\t\t\t\t\t\r\n");
}

TEST(TabWriter, ContinuesFilesAndEndsBrokenLastLines)
{
    TLogTestFolder dir;
    TTestClock clock;
    const std::string line = "8-12-2024 14:03:07\t\t\t\t\t\t\t\t\r\n";
    const auto appendOne = [&](const std::string& name) {
        TTabLogWriter writer(CommaLocale(), clock());
        writer.Open(name);
        writer.WriteRecord(TLogRecordValues{}, 0);
        writer.Close();
    };
    // Created when missing, continued afterwards.
    appendOne(dir.File("new.txt"));
    appendOne(dir.File("new.txt"));
    EXPECT_EQ(ReadAll(dir.File("new.txt")), line + line);

    WriteAll(dir.File("lf.txt"), "old\n");
    appendOne(dir.File("lf.txt"));
    EXPECT_EQ(ReadAll(dir.File("lf.txt")), "old\n" + line);

    // A last line without its end is ended instead of continued.
    WriteAll(dir.File("open.txt"), "old");
    appendOne(dir.File("open.txt"));
    EXPECT_EQ(ReadAll(dir.File("open.txt")), "old\r\n" + line);

    WriteAll(dir.File("cr.txt"), "old\r");
    appendOne(dir.File("cr.txt"));
    EXPECT_EQ(ReadAll(dir.File("cr.txt")), "old\r\n" + line);

    // Opening writes nothing.
    TTabLogWriter writer(CommaLocale(), clock());
    writer.Open(dir.File("empty.txt"));
    writer.Close();
    EXPECT_EQ(ReadAll(dir.File("empty.txt")), "");
}

TEST(TabWriter, EachRecordReachesTheFileWholeWithItsLineEnd)
{
    TLogTestFolder dir;
    TTestClock clock;
    TTabLogWriter writer(CommaLocale(), clock());
    const std::string name = dir.File("log.txt");
    writer.Open(name);
    writer.WriteRecord(FiveVoltRecord(), 0);
    const std::string first = "8-12-2024 14:03:07\t998,25\t21,50\t20,94\t22,13\t-3,10\t\t\t\r\n";
    EXPECT_EQ(ReadAll(name), first);
    writer.WriteRecord(TLogRecordValues{}, 1);
    EXPECT_EQ(ReadAll(name), first + "8-12-2024 14:03:07\t\t\t\t\t\t\t\t\r\n");
    writer.Close();
    EXPECT_EQ(ReadAll(name), first + "8-12-2024 14:03:07\t\t\t\t\t\t\t\t\r\n");
}

TEST(TabWriter, FailedRecordDoesNotMergeWithTheNext)
{
    TLogTestFolder dir;
    TTestClock clock;
    TTabLogWriter writer(CommaLocale(), clock());
    const std::string name = dir.File("log.txt");
    writer.Open(name);
    writer.WriteRecord(FiveVoltRecord(), 0);
    const std::string first = ReadAll(name);
    {
        // Room for the next record's first fields only.
        TFileSizeLimit limit(first.size() + 26);
        EXPECT_THROW(writer.WriteRecord(FiveVoltRecord(), 1), ELogError);
        EXPECT_THROW(writer.WriteRecord(FiveVoltRecord(), 2), ELogError);
    }
    writer.WriteRecord(TLogRecordValues{}, 3);
    writer.Close();
    EXPECT_EQ(ReadAll(name), first + "8-12-2024 14:03:07\t\t\t\t\t\t\t\t\r\n");
}

TEST(TabWriter, UnusableNamesAndFullDevice)
{
    TLogTestFolder dir;
    TTestClock clock;
    WriteAll(dir.File("readonly.txt"), "x\r\n");
    ::chmod(dir.File("readonly.txt").c_str(), 0444);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0666), 0);
    for (const std::string& name :
         {std::string(), dir.File("missing/log.txt"), dir.Path.string(), dir.File("fifo")}) {
        TTabLogWriter writer(TLocaleFacts{}, clock());
        EXPECT_THROW(writer.Open(name), ELogError) << name;
    }
    if (::geteuid() != 0) {
        TTabLogWriter writer(TLocaleFacts{}, clock());
        EXPECT_THROW(writer.Open(dir.File("readonly.txt")), ELogError);
    }
    if (DevFullUsable()) {
        TTabLogWriter writer(TLocaleFacts{}, clock());
        writer.Open("/dev/full");
        EXPECT_THROW(writer.WriteRecord(FiveVoltRecord(), 0), ELogError);
        EXPECT_THROW(writer.WriteRecord(FiveVoltRecord(), 1), ELogError);
        EXPECT_NO_THROW(writer.Close());
    }
}
