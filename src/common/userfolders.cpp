#include "common/userfolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace kelvalog {

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

} // namespace kelvalog
