// Where the settings file lies. Whether a folder that cannot be written sends
// the file to the user's folder is shown by the app test that runs the program
// as a normal user; here (possibly as root, who may write anywhere) the rules
// that do not depend on rights.

#include "settings/inifilestore.h"
#include "settings/settingslocation.h"

#include "settingstestdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kelvalog {
namespace {

using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

TEST(SettingsLocationTest, UserFileFollowsTheBaseDirectoryRules)
{
    EXPECT_EQ(UserSettingsPath("/cfg", "/home/ann"), "/cfg/kelvalog/kelvalog.INI");
    EXPECT_EQ(UserSettingsPath("/cfg/", "/home/ann"), "/cfg/kelvalog/kelvalog.INI");
    EXPECT_EQ(UserSettingsPath("", "/home/ann"), "/home/ann/.config/kelvalog/kelvalog.INI");
    EXPECT_EQ(UserSettingsPath("", "/home/ann/"), "/home/ann/.config/kelvalog/kelvalog.INI");
    // A relative value is not a base folder.
    EXPECT_EQ(UserSettingsPath("cfg", "/home/ann"), "/home/ann/.config/kelvalog/kelvalog.INI");
    EXPECT_EQ(UserSettingsPath("", ""), "");
    EXPECT_EQ(UserSettingsPath("", "ann"), "");
}

TEST(SettingsLocationTest, AFolderThatTakesFilesKeepsThemBesideTheProgram)
{
    TTempDir Dir;
    const std::string Exe = Dir.File("kelvalog");
    const std::string User = Dir.File("home/.config/kelvalog/kelvalog.INI");
    EXPECT_EQ(SettingsPathFor(Exe, User), Dir.File("kelvalog.INI"));
    WriteFile(Dir.File("kelvalog.INI"), "[Board selection]\nBoard=1\n");
    EXPECT_EQ(SettingsPathFor(Exe, User), Dir.File("kelvalog.INI"));
    // No executable found, or a folder that is not there: the user's file.
    EXPECT_EQ(SettingsPathFor("", User), User);
    EXPECT_EQ(SettingsPathFor(Dir.File("gone/kelvalog"), User), User);
    // Nowhere else to go.
    EXPECT_EQ(SettingsPathFor(Dir.File("gone/kelvalog"), ""), Dir.File("gone/kelvalog.INI"));
}

TEST(SettingsLocationTest, TheFirstWriteMakesTheUsersFolders)
{
    TTempDir Dir;
    const std::string Path = Dir.File("home/.config/kelvalog/kelvalog.INI");
    TIniFileStore Store;
    Store.IniFileName = Path;
    Store.UseExeDir = false;
    Store.MakeFolders = true;
    EXPECT_EQ(Store.ReadIntegerValue("Board selection", "Board", 0), 0);
    struct stat Info = {};
    EXPECT_NE(::stat(Dir.File("home").c_str(), &Info), 0) << "reading made folders";

    Store.WriteIntegerValue("Board selection", "Board", 1);
    EXPECT_EQ(ReadFile(Path), "[Board selection]\nBoard=1\n");
    for (const char* Folder : {"home", "home/.config", "home/.config/kelvalog"}) {
        ASSERT_EQ(::stat(Dir.File(Folder).c_str(), &Info), 0) << Folder;
        EXPECT_EQ(Info.st_mode & 0777, 0700u) << Folder;
    }
}

TEST(SettingsLocationTest, AFileWhereAFolderShouldBeStillFailsTheWrite)
{
    TTempDir Dir;
    WriteFile(Dir.File("blocker"), "x");
    const std::string Path = Dir.File("blocker/kelvalog/kelvalog.INI");
    EXPECT_FALSE(CreateFoldersFor(Path));
    TIniFileStore Store;
    Store.IniFileName = Path;
    Store.UseExeDir = false;
    Store.MakeFolders = true;
    try {
        Store.WriteIntegerValue("Board selection", "Board", 1);
        ADD_FAILURE() << "the write did not fail";
    } catch (const EIniFileError& Error) {
        EXPECT_EQ(std::string(Error.what()), "Unable to write to " + Path);
    }
}

} // namespace
} // namespace kelvalog
