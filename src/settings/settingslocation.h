#pragma once

#include <string>
#include <string_view>

namespace kelvalog {

// The settings file of a user: "<XdgConfigHome>/kelvalog/kelvalog.INI", or
// "<Home>/.config/kelvalog/kelvalog.INI" when XdgConfigHome is empty or not an
// absolute path. Empty when neither gives a folder.
std::string UserSettingsPath(std::string_view XdgConfigHome, std::string_view Home);

// A copy run from a folder keeps its settings with it: the file beside the
// executable is used when it can be written, or when there is none yet and
// the folder takes new files. Otherwise (an installed program) the user's
// file, unless there is none to offer.
std::string SettingsPathFor(std::string_view ExePath, const std::string& UserPath);

// SettingsPathFor the running executable and the user's environment.
std::string SettingsPath();

// Makes the missing folders above a file, for the owner only; the user's
// settings folder may not exist before the first close. False when a folder
// is still missing afterwards.
bool CreateFoldersFor(std::string_view FilePath);

} // namespace kelvalog
