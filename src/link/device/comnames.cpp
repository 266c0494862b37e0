#include "link/device/comnames.h"

#include <cctype>
#include <cstdlib>

namespace kelvalog {

std::string ComDevicePath(int ComNumber)
{
    if (ComNumber < 1)
        return {};
    if (const char* Folder = std::getenv("KELVALOG_PORTS"); Folder && *Folder) {
        std::string Path = Folder;
        if (Path.back() != '/')
            Path += '/';
        return Path + ComDisplayName(ComNumber);
    }
    if (ComNumber > MaxComNumber)
        return {};
    static const char* const Families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const int Index = ComNumber - 1;
    return Families[Index / 32] + std::to_string(Index % 32);
}

bool ComPortsFolderSet()
{
    const char* Folder = std::getenv("KELVALOG_PORTS");
    return Folder && *Folder;
}

std::string ResolvePortName(const std::string& Name)
{
    if (Name.size() > 3 && std::toupper(static_cast<unsigned char>(Name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(Name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(Name[2])) == 'M') {
        int Number = 0;
        for (std::size_t I = 3; I < Name.size(); ++I) {
            if (!std::isdigit(static_cast<unsigned char>(Name[I])) || Number > 100000)
                return Name;
            Number = Number * 10 + (Name[I] - '0');
        }
        return ComDevicePath(Number);
    }
    return Name;
}

std::string ComDisplayName(int ComNumber)
{
    return "COM" + std::to_string(ComNumber);
}

} // namespace kelvalog
