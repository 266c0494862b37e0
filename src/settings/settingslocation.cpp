#include "settings/settingslocation.h"

#include "common/userfolders.h"
#include "settings/inifilestore.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvalog {

std::string UserSettingsPath(std::string_view XdgConfigHome, std::string_view Home)
{
    std::string Base;
    // Relative values are to be ignored, as the base directory rules say.
    if (!XdgConfigHome.empty() && XdgConfigHome.front() == '/')
        Base = XdgConfigHome;
    else if (!Home.empty() && Home.front() == '/')
        Base = std::string(Home) + (Home.back() == '/' ? "" : "/") + ".config";
    else
        return {};
    if (Base.back() != '/')
        Base += '/';
    return Base + "kelvalog/kelvalog.INI";
}

std::string SettingsPathFor(std::string_view ExePath, const std::string& UserPath)
{
    if (ExePath.empty())
        return UserPath;
    const std::string Beside = IniPathForExecutable(ExePath);
    const bool Usable = ::access(Beside.c_str(), F_OK) == 0
                            ? ::access(Beside.c_str(), W_OK) == 0
                            : ::access(FolderOf(Beside).c_str(), W_OK | X_OK) == 0;
    return Usable || UserPath.empty() ? Beside : UserPath;
}

std::string SettingsPath()
{
    return SettingsPathFor(ExecutablePath(),
                           UserSettingsPath(EnvironmentValue("XDG_CONFIG_HOME"), HomeFolder()));
}

bool CreateFoldersFor(std::string_view FilePath)
{
    const std::string Folder = FolderOf(FilePath);
    struct stat Info = {};
    if (::stat(Folder.c_str(), &Info) == 0)
        return S_ISDIR(Info.st_mode);
    // Each level from the top down; one that exists already is fine.
    for (std::size_t At = Folder.find('/', 1);; At = Folder.find('/', At + 1)) {
        const std::string Level = Folder.substr(0, At);
        if (::mkdir(Level.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (At == std::string::npos)
            break;
    }
    return ::stat(Folder.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

} // namespace kelvalog
