#include "settings/inifilestore.h"
#include "settings/integertext.h"

#include "settingstestdir.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvalog {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

class IniFileStoreTest : public ::testing::Test
{
protected:
    TTempDir Dir;
    std::string Path = Dir.File("kelvalog.INI");
    TIniFileStore Store{Dir.File("kelvalog")};
};

TEST(IniPathTest, NamedLikeTheExecutableInItsFolder)
{
    EXPECT_EQ(IniPathForExecutable("/opt/kelvalog/kelvalog"), "/opt/kelvalog/kelvalog.INI");
    EXPECT_EQ(IniPathForExecutable("/opt/kelvalog/Kelvalog.exe"), "/opt/kelvalog/Kelvalog.INI");
    EXPECT_EQ(IniPathForExecutable("/opt/k.v2/kelvalog"), "/opt/k.v2/kelvalog.INI");
    EXPECT_EQ(IniPathForExecutable("/opt/k/kelvalog.old.bin"), "/opt/k/kelvalog.old.INI");
    EXPECT_EQ(IniPathForExecutable("/opt/k/.kelvalog"), "/opt/k/.kelvalog.INI");
    EXPECT_EQ(IniPathForExecutable("kelvalog"), "kelvalog.INI");
}

TEST(IniPathTest, StoreDerivesItsFileFromTheExecutable)
{
    TIniFileStore Store("/opt/kelvalog/kelvalog");
    EXPECT_EQ(Store.FileName(), "/opt/kelvalog/kelvalog.INI");
    Store.IniFileName = "other.ini";
    EXPECT_EQ(Store.FileName(), "/opt/kelvalog/other.ini");
    Store.IniFileName = "/etc/k.ini";
    EXPECT_EQ(Store.FileName(), "/etc/k.ini");

    TIniFileStore Running;
    EXPECT_EQ(Running.FileName(), ExecutablePath() + ".INI");
}

TEST(IntegerTextTest, AcceptsDecimalAndHexadecimalWithin32Bits)
{
    EXPECT_EQ(IntegerFromText("-5"), -5);
    EXPECT_EQ(IntegerFromText("+7"), 7);
    EXPECT_EQ(IntegerFromText("  42"), 42);
    EXPECT_EQ(IntegerFromText("007"), 7);
    EXPECT_EQ(IntegerFromText("$1F"), 31);
    EXPECT_EQ(IntegerFromText("x1f"), 31);
    EXPECT_EQ(IntegerFromText("X1F"), 31);
    EXPECT_EQ(IntegerFromText("0x1F"), 31);
    EXPECT_EQ(IntegerFromText("0X1f"), 31);
    EXPECT_EQ(IntegerFromText("-$10"), -16);
    EXPECT_EQ(IntegerFromText("2147483647"), INT_MAX);
    EXPECT_EQ(IntegerFromText("-2147483648"), INT_MIN);
    EXPECT_EQ(IntegerFromText("$FFFFFFFF"), -1);
    EXPECT_EQ(IntegerFromText("$FF00000F"), -16777201);
    EXPECT_EQ(IntegerFromText("-$80000000"), INT_MIN);
    EXPECT_EQ(IntegerFromText("0"), 0);
}

TEST(IntegerTextTest, RefusesEverythingElse)
{
    for (const char* Bad :
         {"",     " ",          "abc",         "12abc",      "12 ",        "1.5",
          "--5",  "+-5",        "- 5",         "$",          "x",          "0x",
          "$G",   "2147483648", "-2147483649", "$100000000", "-$80000001", "99999999999999999999",
          "0x-1", "5e3"})
        EXPECT_FALSE(IntegerFromText(Bad).has_value()) << '"' << Bad << '"';
    EXPECT_EQ(IntegerFromTextDef("abc", 600), 600);
}

TEST_F(IniFileStoreTest, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 600), 600);
    EXPECT_EQ(Store.ReadTextValue("RH sensor", "Span adjust", "1"), "1");
    EXPECT_FALSE(std::filesystem::exists(Path)) << "reading must not create the file";

    WriteFile(Path, "[Pressure sensor]\nUpper range=1025\n");
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 600), 600);
    EXPECT_EQ(Store.ReadIntegerValue("Board selection", "Board", 0), 0);
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Upper range", 1), 1025);
}

TEST_F(IniFileStoreTest, ReadsMatchRegardlessOfCaseAndBlanks)
{
    WriteFile(Path, "; comment=1\n"
                    "orphan=7\n"
                    "  [ pressure SENSOR ]  \n"
                    "  LOWER RANGE  =  -5  \n"
                    "Upper range=\n"
                    "#Board=3\n"
                    "[Board selection]\n"
                    "Board=1\n"
                    "Board=2\n"
                    "[PRESSURE sensor]\n"
                    "Extra=x y  z\n");
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 600), -5);
    EXPECT_EQ(Store.ReadTextValue("pressure sensor", "upper range", "d"), "")
        << "an empty value is a value, not a missing key";
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Upper range", 1025), 1025);
    EXPECT_EQ(Store.ReadIntegerValue("Board selection", "Board", 0), 1) << "first key wins";
    EXPECT_EQ(Store.ReadTextValue("Pressure sensor", "Extra", ""), "x y  z")
        << "a section named twice is searched in both places";
    EXPECT_EQ(Store.ReadTextValue("Pressure sensor", "#Board", "none"), "none");
    EXPECT_EQ(Store.ReadTextValue("", "orphan", "none"), "none");
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range ", 0), -5);
}

TEST_F(IniFileStoreTest, OddAndBrokenFilesReadSafely)
{
    std::string Garbage = "\xEF\xBB\xBF[A]\r\nk=1\r\n";
    Garbage += std::string("\0\x01\xff\xfe=\x80", 6) + "\r\n";
    Garbage += "no equals sign here\r\n[unterminated\r\nkey=in unterminated\r\n=empty name\r\n";
    Garbage += "[Long]\r\nv=" + std::string(5000, 'a'); // no final line end
    WriteFile(Path, Garbage);

    EXPECT_EQ(Store.ReadTextValue("a", "K", ""), "1") << "byte order mark ignored";
    EXPECT_EQ(Store.ReadTextValue("unterminated", "key", ""), "in unterminated");
    EXPECT_EQ(Store.ReadTextValue("Long", "v", ""), std::string(5000, 'a'))
        << "values of any length are kept whole";
    EXPECT_EQ(Store.ReadTextValue("x", "y", std::string(3000, 'd')).size(), 3000u);

    // A write keeps every byte of the odd lines.
    Store.WriteIntegerValue("A", "k", 2);
    std::string Expected = Garbage;
    Expected.replace(Expected.find("k=1"), 3, "k=2");
    EXPECT_EQ(ReadFile(Path), Expected + "\r\n");

    WriteFile(Path, "");
    EXPECT_EQ(Store.ReadTextValue("A", "k", "d"), "d");
    std::filesystem::remove(Path);
    std::filesystem::create_directory(Path);
    EXPECT_EQ(Store.ReadTextValue("A", "k", "d"), "d") << "a folder in the file's place";
    EXPECT_THROW(Store.WriteTextValue("A", "k", "v"), EIniFileError);
}

TEST_F(IniFileStoreTest, WriteReplacesOneValueAndKeepsEverythingElse)
{
    const std::string Before = "; settings of the logger\n"
                               "[Pressure sensor]\n"
                               "lower RANGE = 600 ; old\n"
                               "Unknown=keep me\n"
                               "\n"
                               "; the board\n"
                               "[Board selection]\n"
                               "Board=0\n";
    WriteFile(Path, Before);

    Store.WriteIntegerValue("PRESSURE SENSOR", "Lower range", -5);
    Store.WriteIntegerValue("Pressure sensor", "Upper range", 1025);
    Store.WriteTextValue("Board selection", "Board", "1");
    Store.WriteTextValue("RH sensor", "Span adjust", "1,5");

    EXPECT_EQ(ReadFile(Path), "; settings of the logger\n"
                              "[Pressure sensor]\n"
                              "lower RANGE = -5\n"
                              "Unknown=keep me\n"
                              "Upper range=1025\n"
                              "\n"
                              "; the board\n"
                              "[Board selection]\n"
                              "Board=1\n"
                              "[RH sensor]\n"
                              "Span adjust=1,5\n");
    EXPECT_EQ(Store.ReadIntegerValue("Pressure sensor", "Lower range", 600), -5);
}

TEST_F(IniFileStoreTest, WindowsLineEndsSurviveAWrite)
{
    WriteFile(Path, "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    Store.WriteTextValue("A", "z", "3");
    EXPECT_EQ(ReadFile(Path), "[A]\r\nx=1\r\nz=3\r\n[B]\r\ny=2\r\n");
}

TEST_F(IniFileStoreTest, NewFileHoldsTheKeysInTheOrderWritten)
{
    Store.OpenStore();
    Store.WriteIntegerValue("Pressure sensor", "Lower range", 600);
    Store.WriteIntegerValue("Pressure sensor", "Upper range", 1025);
    Store.WriteIntegerValue("Board selection", "Board", -1);
    Store.WriteTextValue("Tamb RH sensor", "Span adjust", "1");
    Store.WriteTextValue("Tamb RH sensor", "Offset adjust", "0");
    Store.WriteTextValue("RH sensor", "Span adjust", "1");
    Store.WriteTextValue("RH sensor", "Offset adjust", "0");
    Store.WriteIntegerValue("TMainForm", "Flags", 0);
    Store.WriteIntegerValue("TMainForm", "ShowCmd", 1);
    Store.WriteTextValue("TMainForm", "NormalPos", "10,20,610,420");
    Store.WriteIntegerValue("TMainForm", "PixelsPerInch", 96);
    Store.WriteIntegerValue("TMainForm", "Color", INT_MIN);
    Store.CloseStore();

    EXPECT_EQ(ReadFile(Path), "[Pressure sensor]\nLower range=600\nUpper range=1025\n"
                              "[Board selection]\nBoard=-1\n"
                              "[Tamb RH sensor]\nSpan adjust=1\nOffset adjust=0\n"
                              "[RH sensor]\nSpan adjust=1\nOffset adjust=0\n"
                              "[TMainForm]\nFlags=0\nShowCmd=1\nNormalPos=10,20,610,420\n"
                              "PixelsPerInch=96\nColor=-2147483648\n");
}

TEST_F(IniFileStoreTest, OpenAndCloseAreCounted)
{
    EXPECT_EQ(Store.UseCount(), 0);
    Store.CloseStore();
    EXPECT_EQ(Store.UseCount(), 0) << "an unmatched close must not go negative";
    Store.OpenStore();
    Store.OpenStore();
    Store.CloseStore();
    EXPECT_EQ(Store.UseCount(), 1);
    Store.WriteIntegerValue("A", "b", 1);
    EXPECT_EQ(Store.UseCount(), 1);
    Store.CloseStore();
    EXPECT_EQ(Store.UseCount(), 0);
    // Calls on a closed store still work.
    EXPECT_EQ(Store.ReadIntegerValue("A", "b", 0), 1);
    EXPECT_EQ(Store.UseCount(), 0);
}

TEST_F(IniFileStoreTest, TwoCopiesShareTheFileKeyByKey)
{
    TIniFileStore Other{Dir.File("kelvalog")};
    Store.WriteIntegerValue("S", "a", 1);
    Other.WriteIntegerValue("S", "b", 2);
    Store.WriteIntegerValue("S", "b", 3);
    Other.WriteIntegerValue("S", "a", 4);
    EXPECT_EQ(ReadFile(Path), "[S]\na=4\nb=3\n");
}

TEST_F(IniFileStoreTest, FailedWriteNamesTheFullPathAndChangesNothing)
{
    TIniFileStore Nowhere{Dir.File("missing-folder/kelvalog")};
    const std::string Full = Dir.File("missing-folder/kelvalog.INI");
    try {
        Nowhere.WriteIntegerValue("Pressure sensor", "Lower range", 600);
        FAIL() << "write into a missing folder reported success";
    } catch (const EIniFileError& E) {
        EXPECT_EQ(std::string(E.what()), "Unable to write to " + Full);
        EXPECT_EQ(E.FileName(), Full);
    }
    EXPECT_EQ(Nowhere.UseCount(), 0) << "a failed write must not leave the store open";

    // Values and names that would make lines of their own are refused.
    WriteFile(Path, "[A]\nk=1\n");
    EXPECT_THROW(Store.WriteTextValue("A", "k", "2\n[B]\nx=y"), EIniFileError);
    EXPECT_THROW(Store.WriteTextValue("A]x", "k", "2"), EIniFileError);
    EXPECT_THROW(Store.WriteTextValue("A", "k=j", "2"), EIniFileError);
    EXPECT_THROW(Store.WriteTextValue("A", "", "2"), EIniFileError);
    EXPECT_EQ(ReadFile(Path), "[A]\nk=1\n");

    if (::geteuid() != 0) { // root writes regardless of permissions
        ::chmod(Path.c_str(), 0444);
        EXPECT_THROW(Store.WriteTextValue("A", "k", "2"), EIniFileError);
        EXPECT_EQ(ReadFile(Path), "[A]\nk=1\n");
    }
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    // The failed write stays pending: once the folder is there, the next close
    // writes it.
    std::filesystem::create_directory(Dir.File("missing-folder"));
    Nowhere.WriteIntegerValue("Pressure sensor", "Upper range", 1025);
    EXPECT_EQ(ReadFile(Full), "[Pressure sensor]\nLower range=600\nUpper range=1025\n");
}

TEST_F(IniFileStoreTest, WritesThroughALinkAndKeepsThePermissions)
{
    const std::string Real = Dir.File("real.ini");
    WriteFile(Real, "[A]\nk=1\n");
    ::chmod(Real.c_str(), 0640);
    std::filesystem::create_symlink(Real, Path);

    Store.WriteTextValue("A", "k", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(Path));
    EXPECT_EQ(ReadFile(Real), "[A]\nk=2\n");
    struct stat St = {};
    ASSERT_EQ(::stat(Real.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0640u);
}

TEST_F(IniFileStoreTest, HoldersHearOfTheStoresEnd)
{
    int Heard = 0;
    auto Doomed = std::make_unique<TIniFileStore>(Dir.File("kelvalog"));
    int Token = 0;
    Doomed->AddFreeNotification(&Token, [&] { ++Heard; });
    Doomed->AddFreeNotification(&Heard, [&] { Heard += 10; });
    Doomed->RemoveFreeNotification(&Heard);
    Doomed.reset();
    EXPECT_EQ(Heard, 1);
}

} // namespace
} // namespace kelvalog
