#include "history/historylocation.h"

#include "common/userfolders.h"

#include <climits>
#include <unistd.h>
#include <vector>

namespace kelvalog {

namespace {

constexpr const char* FileName = "history.sqlite";

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
