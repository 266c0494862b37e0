// The writer thread: ticks handed over from another thread all reach the
// file in order, and a file that cannot be written keeps them waiting with
// the cause, until it can.

#include "history/historystore.h"
#include "history/historywriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace kelvalog;

namespace {

constexpr std::int64_t Start = 1'700'000'000'000'000;

bool WaitFor(const THistoryWriter& Writer, std::uint64_t Stored)
{
    // Generous: the disk may be busy.
    for (int I = 0; I < 3000 && Writer.Status().Stored < Stored; ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Writer.Status().Stored >= Stored;
}

} // namespace

TEST(HistoryWriter, WritesEveryTickAndWaitsOutAFolderItCannotWrite)
{
    const auto Folder =
        std::filesystem::temp_directory_path() / ("kelvalog-writer-" + std::to_string(::getpid()));
    const auto Missing = Folder / "later";
    std::filesystem::create_directories(Folder);
    const std::string Path = (Missing / "h.sqlite").string();
    {
        THistoryWriter Writer(Path, 64u << 20, std::chrono::milliseconds(20));
        Writer.BeginRun(Start);
        for (int I = 0; I < 50; ++I) {
            THistoryTick Tick;
            Tick.Time = Start + I * 1'000'000;
            Tick.Valid = 1;
            Tick.Sample[0] = float(I);
            Writer.Push(Tick);
        }
        for (int I = 0; I < 100 && Writer.Status().Error.empty(); ++I)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const THistoryStatus Failing = Writer.Status();
        EXPECT_EQ(Failing.Stored, 0u);
        EXPECT_EQ(Failing.Waiting, 50u);
        EXPECT_NE(HistoryStatusText(Failing).find("50 ticks waiting to be stored"),
                  std::string::npos);
        std::filesystem::create_directories(Missing);
        ASSERT_TRUE(WaitFor(Writer, 50));
        EXPECT_EQ(Writer.Status().Waiting, 0u);
        EXPECT_EQ(HistoryStatusText(Writer.Status()), "");
    }
    THistoryStore Store(Path, THistoryStore::TMode::Read);
    std::vector<float> Seen;
    Store.ReadTicks(Start, Start + 100'000'000, [&Seen](const THistoryTick& Tick, std::int64_t) {
        Seen.push_back(Tick.Sample[0]);
        return true;
    });
    ASSERT_EQ(Seen.size(), 50u);
    for (int I = 0; I < 50; ++I)
        EXPECT_EQ(Seen[std::size_t(I)], float(I));
    std::filesystem::remove_all(Folder);
}
