// The settings file read once and written once, through symbolic links,
// with values of any length.

#include "settings/inifilestore.h"

#include "settingstestdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace kelvalog {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

class IniFileOnceTest : public ::testing::Test
{
protected:
    TTempDir Dir;
    std::string Path = Dir.File("kelvalog.INI");
    TIniFileStore Store{Dir.File("kelvalog")};

    std::size_t FilesInDir() const
    {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(Dir.Path()),
                          std::filesystem::directory_iterator()));
    }
};

TEST_F(IniFileOnceTest, ALinkWhoseTargetIsMissingIsWrittenThrough)
{
    std::filesystem::create_directory(Dir.File("real"));
    for (const std::string& Target :
         {Dir.File("real/absolute.ini"), std::string("real/relative.ini")}) {
        std::filesystem::remove(Path);
        std::filesystem::create_symlink(Target, Path);
        Store.WriteIntegerValue("Board selection", "Board", 1);
        EXPECT_TRUE(std::filesystem::is_symlink(Path)) << Target;
        EXPECT_EQ(ReadFile(Dir.File("real/" + std::filesystem::path(Target).filename().string())),
                  "[Board selection]\nBoard=1\n");
    }
    // A chain of links ends at the same file.
    std::filesystem::create_symlink(Path, Dir.File("second.INI"));
    TIniFileStore Chained{Dir.File("second")};
    Chained.WriteIntegerValue("Board selection", "Board", 0);
    EXPECT_EQ(ReadFile(Dir.File("real/relative.ini")), "[Board selection]\nBoard=0\n");
}

TEST_F(IniFileOnceTest, ALinkIntoAMissingFolderFailsAndStaysALink)
{
    std::filesystem::create_symlink(Dir.File("missing/kelvalog.ini"), Path);
    try {
        Store.WriteIntegerValue("Board selection", "Board", 1);
        FAIL() << "a write into a missing folder reported success";
    } catch (const EIniFileError& E) {
        EXPECT_EQ(std::string(E.what()), "Unable to write to " + Path);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(Path));
    EXPECT_FALSE(std::filesystem::exists(Dir.File("missing")));
    EXPECT_EQ(FilesInDir(), 1u);
    // A loop of links is a file that cannot be written, not a hang.
    std::filesystem::remove(Path);
    std::filesystem::create_symlink(Path, Path);
    EXPECT_THROW(Store.WriteIntegerValue("A", "b", 1), EIniFileError);
}

TEST_F(IniFileOnceTest, ValuesOfAnyLengthAreKeptByteForByte)
{
    std::string Long;
    for (int I = 0; I < 100000; ++I)
        Long += static_cast<char>(I % 253 + 1 == '\n' || I % 253 + 1 == '\r' ? 'x' : I % 253 + 1);
    Long.front() = 'a'; // blanks at the ends of a value are not part of it
    Long.back() = 'z';
    Store.WriteTextValue("Tamb RH sensor", "Span adjust", Long);
    Store.WriteTextValue("Tamb RH sensor", "Offset adjust", "0");
    TIniFileStore Again{Dir.File("kelvalog")};
    EXPECT_EQ(Again.ReadTextValue("Tamb RH sensor", "Span adjust", ""), Long);
    EXPECT_EQ(Again.ReadTextValue("Tamb RH sensor", "Offset adjust", ""), "0");
    // Written back unchanged, it stays unchanged.
    const std::string Before = ReadFile(Path);
    Again.WriteTextValue("Tamb RH sensor", "Span adjust",
                         Again.ReadTextValue("Tamb RH sensor", "Span adjust", ""));
    EXPECT_EQ(ReadFile(Path), Before);
}

TEST_F(IniFileOnceTest, HeldOpenTheFileIsReadOnceAndWrittenOnceAtTheLastClose)
{
    WriteFile(Path, "; mine\n[Pressure sensor]\nLower range=600\nOwn key=keep\n");
    struct stat Old = {};
    ASSERT_EQ(::stat(Path.c_str(), &Old), 0);

    Store.OpenStore();
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 0), 600);
    // Changed behind the store's back: an open store does not read again.
    WriteFile(Path, "; mine\n[Pressure sensor]\nLower range=700\nOwn key=keep\nOther=new\n");
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 0), 600);

    Store.OpenStore(); // nested, as the window's handlers do
    for (int I = 0; I < 17; ++I)
        Store.WriteIntegerValue("Pressure sensor", "Lower range", 610 + I);
    Store.WriteTextValue("RH sensor", "Span adjust", "1,5");
    Store.CloseStore();
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 0), 626);
    const std::string Untouched =
        "; mine\n[Pressure sensor]\nLower range=700\nOwn key=keep\nOther=new\n";
    EXPECT_EQ(ReadFile(Path), Untouched) << "nothing is written before the last close";

    Store.CloseStore();
    // One rewrite: what the other copy added stays, the keys written here win.
    EXPECT_EQ(ReadFile(Path), "; mine\n[Pressure sensor]\nLower range=626\nOwn key=keep\n"
                              "Other=new\n[RH sensor]\nSpan adjust=1,5\n");
    EXPECT_EQ(FilesInDir(), 1u) << "no temporary file is left";

    // A store opened and closed without writes leaves the file alone.
    struct stat Before = {};
    ASSERT_EQ(::stat(Path.c_str(), &Before), 0);
    Store.OpenStore();
    Store.ReadTextValue("A", "b", "");
    Store.CloseStore();
    struct stat After = {};
    ASSERT_EQ(::stat(Path.c_str(), &After), 0);
    EXPECT_EQ(Before.st_ino, After.st_ino);
}

TEST_F(IniFileOnceTest, AFailedWriteAtTheLastCloseIsReportedAndTheStoreIsClosed)
{
    TIniFileStore Nowhere{Dir.File("missing-folder/kelvalog")};
    Nowhere.OpenStore();
    Nowhere.WriteIntegerValue("A", "b", 1); // discovered at the close
    EXPECT_THROW(Nowhere.CloseStore(), EIniFileError);
    EXPECT_EQ(Nowhere.UseCount(), 0);
    {
        TStoreUse Use(Nowhere);
        Nowhere.WriteIntegerValue("A", "b", 1);
        EXPECT_THROW(Use.Close(), EIniFileError);
    }
    EXPECT_EQ(Nowhere.UseCount(), 0);
}

} // namespace
} // namespace kelvalog
