#pragma once

#include <string>
#include <string_view>

namespace kelvalog {

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string FolderOf(std::string_view Path);

// An environment variable's value, empty when it is not set.
std::string EnvironmentValue(const char* Name);

// HOME, or the password database's entry when HOME is not set.
std::string HomeFolder();

} // namespace kelvalog
