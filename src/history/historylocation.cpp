#include "history/historylocation.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace kelvalog {

namespace {

constexpr const char* FileName = "history.sqlite";

std::string FolderOf(std::string_view Path)
{
    const auto Slash = Path.rfind('/');
    if (Slash == std::string_view::npos)
        return ".";
    return Slash == 0 ? std::string("/") : std::string(Path.substr(0, Slash));
}

std::string EnvironmentValue(const char* Name)
{
    const char* Value = std::getenv(Name);
    return Value ? std::string(Value) : std::string();
}

std::string HomeFolder()
{
    std::string Home = EnvironmentValue("HOME");
    if (!Home.empty())
        return Home;
    std::vector<char> Buffer(16384);
    passwd Entry = {};
    passwd* Found = nullptr;
    if (::getpwuid_r(::getuid(), &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found &&
        Found->pw_dir)
        Home = Found->pw_dir;
    return Home;
}

std::string OwnExecutable()
{
    std::vector<char> Buffer(PATH_MAX + 1);
    const ssize_t N = ::readlink("/proc/self/exe", Buffer.data(), Buffer.size() - 1);
    return N > 0 ? std::string(Buffer.data(), static_cast<std::size_t>(N)) : std::string();
}

} // namespace

std::string UserHistoryPath(std::string_view XdgDataHome, std::string_view Home)
{
    std::string Base;
    if (!XdgDataHome.empty() && XdgDataHome.front() == '/')
        Base = XdgDataHome;
    else if (!Home.empty() && Home.front() == '/')
        Base = std::string(Home) + (Home.back() == '/' ? "" : "/") + ".local/share";
    else
        return {};
    if (Base.back() != '/')
        Base += '/';
    return Base + "kelvalog/" + FileName;
}

std::string HistoryPathFor(std::string_view ExePath, const std::string& UserPath)
{
    if (ExePath.empty())
        return UserPath;
    const std::string Beside = FolderOf(ExePath) + "/" + FileName;
    // The folder too must take files: the store keeps its journal beside it.
    const bool Usable =
        ::access(FolderOf(Beside).c_str(), W_OK | X_OK) == 0 &&
        (::access(Beside.c_str(), F_OK) != 0 || ::access(Beside.c_str(), W_OK) == 0);
    return Usable || UserPath.empty() ? Beside : UserPath;
}

std::string HistoryPath()
{
    return HistoryPathFor(OwnExecutable(),
                          UserHistoryPath(EnvironmentValue("XDG_DATA_HOME"), HomeFolder()));
}

} // namespace kelvalog
