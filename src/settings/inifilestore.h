#pragma once

#include "settings/inifile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvalog {

// The full path of the running executable ("" when it cannot be found).
std::string ExecutablePath();

// The settings file beside an executable: its folder, its name with the
// extension replaced by ".INI", or ".INI" appended when it has none
// ("/opt/kelvalog/kelvalog" -> "/opt/kelvalog/kelvalog.INI").
std::string IniPathForExecutable(std::string_view ExePath);

// The settings store: counts opens and closes, holds the file accessor while
// open, and reads and writes single keys as text or as integers. Reads and
// writes made while the store is closed open it for that one call. The file
// is read once per opening and written once, when the last close releases
// the accessor; a window holds the store open over its whole start and its
// whole close, so each reads and writes the file once.
class TIniFileStore
{
public:
    // ExePath decides where the default file lies; empty means the running
    // executable.
    explicit TIniFileStore(std::string ExePath = {});
    ~TIniFileStore();
    TIniFileStore(const TIniFileStore&) = delete;
    TIniFileStore& operator=(const TIniFileStore&) = delete;

    // Explicit file name; empty selects the executable's own. A relative name
    // is taken in the executable's folder while UseExeDir is set.
    std::string IniFileName;
    bool UseExeDir = true;
    // Makes the file's missing folders at the first write (the user's settings
    // folder); otherwise a missing folder fails the write.
    bool MakeFolders = false;

    // The path the file accessor uses.
    std::string FileName() const;
    int UseCount() const { return FUseCount; }

    void OpenStore();
    // Releasing the accessor writes what was written meanwhile; raises
    // EIniFileError ("Unable to write to <full path>") when that fails. The
    // store is closed either way; after a failure the writes stay pending for
    // the next close of the same file, or the store's end.
    void CloseStore();

    std::string ReadTextValue(std::string_view Section, std::string_view Key,
                              std::string_view Default);
    // Raises EIniFileError ("Unable to write to <full path>") on failure;
    // while the store is held open, a file that cannot be written shows at
    // the last close.
    void WriteTextValue(std::string_view Section, std::string_view Key, std::string_view Value);
    std::int32_t ReadIntegerValue(std::string_view Section, std::string_view Key,
                                  std::int32_t Default);
    void WriteIntegerValue(std::string_view Section, std::string_view Key, std::int32_t Value);

    // Objects that refer to the store hear of its end. The owner pointer
    // identifies the entry for removal.
    void AddFreeNotification(const void* Owner, std::function<void()> Notify);
    void RemoveFreeNotification(const void* Owner);

private:
    std::string FExePath;
    int FUseCount = 0;
    std::unique_ptr<TIniFile> FIniFile;
    std::vector<std::pair<const void*, std::function<void()>>> FFreeNotifications;
};

// Holds a store open for the length of a scope; the close runs on every way
// out. Close() closes at once and raises a failed write; the close of the
// destructor cannot, so a scope that wrote ends with Close().
class TStoreUse
{
public:
    explicit TStoreUse(TIniFileStore& Store) : FStore(Store) { FStore.OpenStore(); }
    ~TStoreUse()
    {
        if (FOpen) {
            try {
                FStore.CloseStore();
            } catch (...) {
                // Already leaving with a failure of its own, or no writes.
            }
        }
    }
    TStoreUse(const TStoreUse&) = delete;
    TStoreUse& operator=(const TStoreUse&) = delete;

    void Close()
    {
        if (FOpen) {
            FOpen = false;
            FStore.CloseStore();
        }
    }

private:
    TIniFileStore& FStore;
    bool FOpen = true;
};

} // namespace kelvalog
