#pragma once

#include <string>
#include <string_view>

namespace kelvalog {

// The history of a user: "<XdgDataHome>/kelvalog/history.sqlite", or
// "<Home>/.local/share/kelvalog/history.sqlite" when XdgDataHome is empty or
// not an absolute path. Empty when neither gives a folder.
std::string UserHistoryPath(std::string_view XdgDataHome, std::string_view Home);

// Like the settings file: a copy run from a folder it may write keeps its
// history beside it ("history.sqlite"); an installed program uses the user's.
std::string HistoryPathFor(std::string_view ExePath, const std::string& UserPath);

// HistoryPathFor the running executable and the user's environment.
std::string HistoryPath();

} // namespace kelvalog
