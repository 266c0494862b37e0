// Logging onto a file system that fills up in the middle of a record: the
// file holds only whole records, the counts say what reached it, and the log
// goes on once there is room again. A tiny tmpfs when this process may mount
// one, else a file size limit; skipped when neither can be made.

#include "logging/logcontrol.h"

#include "logtestfiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <memory>
#include <regex>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

using namespace kelvalog;
using namespace kelvalog::testing;

namespace {

class TView : public ILogView
{
public:
    int Kind = 0;
    std::string Name;
    std::int32_t Shown = 0;
    std::vector<std::pair<std::string, bool>> Failures;
    int Messages = 0;

    int LoggingTypeIndex() const override { return Kind; }
    std::string FileName(TLogKind) const override { return Name; }
    void SetFileName(TLogKind, const std::string&) override {}
    std::int32_t LogInterval() const override { return 1; }
    void ShowRecordsWritten(std::int32_t count) override { Shown = count; }
    void ShowLoggingPage(int) override {}
    void ShowMessage(TLogMessageKind, const std::string& text) override
    {
        ++Messages;
        LastMessage = text;
    }
    std::string LastMessage;
    std::optional<std::string> ChooseFile(const TLogFileDialog&, const std::string&) override
    {
        return std::nullopt;
    }
    void UpdateControls() override {}
    void ShowRecordFailures(const std::string& text, bool first) override
    {
        Failures.emplace_back(text, first);
    }
};

// Somewhere to log that runs out of room on demand, and gets it back.
class TSmallDisk
{
public:
    explicit TSmallDisk(const std::filesystem::path& folder) : Folder(folder / "disk")
    {
        std::filesystem::create_directories(Folder);
        if (::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=128k") == 0) {
            Mounted = true;
            Error = ENOSPC;
        } else {
            Error = EFBIG;
        }
    }
    ~TSmallDisk()
    {
        Release();
        if (Mounted) {
            ::umount2(Folder.c_str(), MNT_DETACH);
        }
    }
    std::string File(const std::string& name) const { return (Folder / name).string(); }

    // Leaves `bytes` of room (rounded to pages on tmpfs) beyond what `log`
    // holds now.
    bool Fill(const std::string& log, std::size_t bytes)
    {
        if (!Mounted) {
            std::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &Old);
            rlimit limit = Old;
            limit.rlim_cur = std::filesystem::file_size(log) + bytes;
            Limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
            return Limited;
        }
        const int fd = ::open(File("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) {
            return false;
        }
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const bool ok = ::ftruncate(fd, size - static_cast<off_t>(bytes)) == 0;
        ::close(fd);
        return ok;
    }
    void Release()
    {
        if (Limited) {
            ::setrlimit(RLIMIT_FSIZE, &Old);
            Limited = false;
        }
        if (Mounted) {
            ::unlink(File("filler").c_str());
        }
    }

    std::filesystem::path Folder;
    bool Mounted = false;
    bool Limited = false;
    int Error = 0;
    rlimit Old{};
};

TLogRecordValues FiveChannels()
{
    TLogRecordValues v;
    const float values[] = {1003.5f, 21.5f, 20.94f, 22.13f, -3.1f};
    for (int i = 0; i < 5; ++i) {
        v.Channels[static_cast<std::size_t>(i)] = {true, values[i]};
    }
    return v;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Rows of whole SYLK records, numbered 1, 2, ... without a gap.
int WholeSylkRows(const std::string& text, bool ended)
{
    const std::vector<std::string> lines = Lines(text);
    const std::regex first(R"(C;Y(\d+);X1;K\d{5}(\.\d+)?)");
    const std::vector<std::string> cells = {"C;X2;K1003.50", "C;X3;K21.50", "C;X4;K20.94",
                                            "C;X5;K22.13", "C;X6;K-3.10"};
    std::size_t at = 7;
    int rows = 0;
    while (at < lines.size() && lines[at] != "E") {
        std::smatch match;
        EXPECT_TRUE(std::regex_match(lines[at], match, first)) << lines[at];
        EXPECT_EQ(std::stoi(match[1]), rows + 1);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            EXPECT_EQ(at + 1 + c < lines.size() ? lines[at + 1 + c] : "", cells[c]);
        }
        at += 1 + cells.size();
        ++rows;
    }
    EXPECT_EQ(ended, at < lines.size());
    EXPECT_EQ(at + (ended ? 1 : 0), lines.size());
    return rows;
}

int WholeTabLines(const std::string& text)
{
    const std::regex line("8-12-2024 14:03:07\t1003,50\t21,50\t20,94\t22,13\t-3,10\t\t\t");
    int count = 0;
    for (const std::string& l : Lines(text)) {
        EXPECT_TRUE(std::regex_match(l, line)) << l;
        ++count;
    }
    return count;
}

class FullDisk : public ::testing::TestWithParam<TLogKind>
{
};

} // namespace

TEST_P(FullDisk, OnlyWholeRecordsTheRightCountsAndRecordsResume)
{
    TLogTestFolder dir;
    TSmallDisk disk(dir.Path);
    TView view;
    view.Kind = static_cast<int>(GetParam());
    view.Name = disk.File(GetParam() == TLogKind::Sylk ? "log.slk" : "log.txt");
    TLogControl control(view, CommaLocale(),
                        [] { return TLocalDateTime{2024, 12, 8, 14, 3, 7, 0}; });
    control.LogOnActionExecute();
    ASSERT_TRUE(control.Logging());
    control.SampleTick(FiveChannels());
    ASSERT_EQ(control.RecordsWritten(), 1);

    // Room for a few records, then a record that only partly fits.
    if (!disk.Fill(view.Name, disk.Mounted ? 4096 : 500)) {
        GTEST_SKIP() << "neither a tmpfs nor a file size limit could be set up";
    }
    for (int tick = 0; tick < 2000 && control.RecordsFailed() < 20; ++tick) {
        control.SampleTick(FiveChannels());
    }
    EXPECT_EQ(control.RecordsFailed(), 20);
    EXPECT_TRUE(control.Logging());
    EXPECT_EQ(view.Messages, 0);
    const std::string full = ReadAll(view.Name);
    const int written = control.RecordsWritten();
    EXPECT_GT(written, 2);
    EXPECT_EQ(view.Shown, written);
    EXPECT_EQ(GetParam() == TLogKind::Sylk ? WholeSylkRows(full, false) : WholeTabLines(full),
              written);
    ASSERT_EQ(view.Failures.size(), 20u);
    EXPECT_TRUE(view.Failures.front().second);
    EXPECT_FALSE(view.Failures.back().second);
    EXPECT_EQ(view.Failures.back().first, "Log: 20 records could not be written (" +
                                              std::string(std::strerror(disk.Error)) + ")");

    // Space returns: the log goes on by itself in the same file.
    disk.Release();
    control.SampleTick(FiveChannels());
    control.SampleTick(FiveChannels());
    EXPECT_EQ(control.RecordsWritten(), written + 2);
    control.LogOnActionExecute();
    EXPECT_EQ(view.Messages, 0);
    const std::string after = ReadAll(view.Name);
    EXPECT_EQ(after.substr(0, full.size()), full);
    EXPECT_EQ(GetParam() == TLogKind::Sylk ? WholeSylkRows(after, true) : WholeTabLines(after),
              written + 2);
}

// Makes every ftruncate of this process fail with EIO, as a failing medium
// would; for a child process only, since it cannot be undone.
bool BreakTruncation()
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ftruncate, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// A TAB record that fails part way and cannot be cut back ends the log with
// the warning of a failed close. The file holds the records counted, then the
// part, and a later log in it starts on a line of its own. Returns before the
// child exits, so that the small disk is unmounted.
void CutFails()
{
    TLogTestFolder dir;
    TSmallDisk disk(dir.Path);
    TView view;
    view.Kind = static_cast<int>(TLogKind::Tab);
    view.Name = disk.File("log.txt");
    TLogControl control(view, CommaLocale(),
                        [] { return TLocalDateTime{2024, 12, 8, 14, 3, 7, 0}; });
    control.LogOnActionExecute();
    control.SampleTick(FiveChannels());
    const std::string record = ReadAll(view.Name);
    if (!disk.Fill(view.Name, disk.Mounted ? 4096 : 500) || !BreakTruncation()) {
        std::fputs("no small disk or no seccomp: not tried\n", stderr);
        return;
    }
    for (int tick = 0; tick < 2000 && control.Logging(); ++tick) {
        control.SampleTick(FiveChannels());
    }
    EXPECT_FALSE(control.LogOpen());
    EXPECT_EQ(view.LastMessage, LogCloseFailedText);
    EXPECT_EQ(control.RecordsFailed(), 1);
    disk.Release();
    const std::string text = ReadAll(view.Name);
    std::string whole;
    for (int row = 0; row < control.RecordsWritten(); ++row) {
        whole += record;
    }
    const std::string part = text.substr(std::min(whole.size(), text.size()));
    EXPECT_EQ(text.substr(0, whole.size()), whole);
    ASSERT_TRUE(!part.empty() && part.size() < record.size() && record.starts_with(part)) << part;
    control.LogOnActionExecute();
    control.SampleTick(FiveChannels());
    EXPECT_EQ(ReadAll(view.Name), text + (part.back() == '\r' ? "\n" : "\r\n") + record);
}

void LogUntilTheCutFails()
{
    CutFails();
    std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
}

TEST(FullDiskCut, ARecordThatCannotBeCutBackEndsTheLog)
{
    EXPECT_EXIT(LogUntilTheCutFails(), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Logs, FullDisk, ::testing::Values(TLogKind::Sylk, TLogKind::Tab));
