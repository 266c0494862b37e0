#include "settings/inifilestore.h"

#include "settings/integertext.h"
#include "settings/settingslocation.h"

#include <algorithm>
#include <climits>
#include <unistd.h>

namespace kelvalog {

std::string ExecutablePath()
{
    std::string Path(PATH_MAX, '\0');
    const ssize_t N = ::readlink("/proc/self/exe", Path.data(), Path.size());
    if (N <= 0 || static_cast<std::size_t>(N) >= Path.size())
        return {};
    Path.resize(static_cast<std::size_t>(N));
    return Path;
}

std::string IniPathForExecutable(std::string_view ExePath)
{
    const auto Slash = ExePath.rfind('/');
    const std::string_view Folder =
        Slash == std::string_view::npos ? std::string_view{} : ExePath.substr(0, Slash + 1);
    std::string_view Name = Slash == std::string_view::npos ? ExePath : ExePath.substr(Slash + 1);
    // A leading dot names a hidden file, not an extension.
    const auto Dot = Name.rfind('.');
    if (Dot != std::string_view::npos && Dot > 0)
        Name = Name.substr(0, Dot);
    return std::string(Folder) + std::string(Name) + ".INI";
}

TIniFileStore::TIniFileStore(std::string ExePath) : FExePath(std::move(ExePath)) {}

TIniFileStore::~TIniFileStore()
{
    // A store destroyed while held open still keeps what was written.
    if (FIniFile) {
        try {
            FIniFile->UpdateFile();
        } catch (...) {
            // A destructor cannot raise: this is the last try for writes that
            // CloseStore could not make, and it reported that failure already.
        }
    }
    // Moved out first: a listener may remove itself while being told.
    auto Listeners = std::move(FFreeNotifications);
    for (auto& [Owner, Notify] : Listeners)
        if (Notify)
            Notify();
}

std::string TIniFileStore::FileName() const
{
    const std::string Exe = FExePath.empty() ? ExecutablePath() : FExePath;
    if (IniFileName.empty())
        return IniPathForExecutable(Exe);
    if (IniFileName.front() == '/' || !UseExeDir)
        return IniFileName;
    const auto Slash = Exe.rfind('/');
    return (Slash == std::string::npos ? std::string{} : Exe.substr(0, Slash + 1)) + IniFileName;
}

void TIniFileStore::OpenStore()
{
    // An accessor kept after a failed write still holds its pending writes.
    if (FUseCount == 0 && !(FIniFile && FIniFile->FileName() == FileName()))
        FIniFile = std::make_unique<TIniFile>(FileName());
    ++FUseCount;
}

void TIniFileStore::CloseStore()
{
    if (FUseCount == 0)
        return;
    if (--FUseCount == 0) {
        // A failed write keeps the accessor, and with it the pending writes,
        // for the next close (or the store's end) to write.
        FIniFile->UpdateFile();
        FIniFile.reset();
    }
}

std::string TIniFileStore::ReadTextValue(std::string_view Section, std::string_view Key,
                                         std::string_view Default)
{
    // Opens for the length of one call when nobody else holds it open.
    TStoreUse Use(*this);
    return FIniFile->ReadString(Section, Key, Default);
}

void TIniFileStore::WriteTextValue(std::string_view Section, std::string_view Key,
                                   std::string_view Value)
{
    TStoreUse Use(*this);
    if (MakeFolders)
        CreateFoldersFor(FIniFile->FileName()); // a failure shows as the write's own
    FIniFile->WriteString(Section, Key, Value);
    Use.Close();
}

std::int32_t TIniFileStore::ReadIntegerValue(std::string_view Section, std::string_view Key,
                                             std::int32_t Default)
{
    return IntegerFromTextDef(ReadTextValue(Section, Key, std::to_string(Default)), Default);
}

void TIniFileStore::WriteIntegerValue(std::string_view Section, std::string_view Key,
                                      std::int32_t Value)
{
    WriteTextValue(Section, Key, std::to_string(Value));
}

void TIniFileStore::AddFreeNotification(const void* Owner, std::function<void()> Notify)
{
    FFreeNotifications.emplace_back(Owner, std::move(Notify));
}

void TIniFileStore::RemoveFreeNotification(const void* Owner)
{
    std::erase_if(FFreeNotifications, [Owner](const auto& Entry) { return Entry.first == Owner; });
}

} // namespace kelvalog
