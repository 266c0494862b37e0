#include "feed/feedsettings.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kelvalog {

std::string ReadSecretFile(const std::string& Path, std::string& Error)
{
    if (Path.empty())
        return {};
    std::ifstream In(Path);
    if (!In) {
        Error = Path + ": " + std::strerror(errno);
        return {};
    }
    std::string Line;
    std::getline(In, Line);
    while (!Line.empty() && (Line.back() == '\r' || Line.back() == ' '))
        Line.pop_back();
    return Line;
}

} // namespace kelvalog
