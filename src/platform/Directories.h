#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The current user's home directory from the user database (never $HOME).
std::optional<std::string> homeDirectory();

// The user's Application Support directories, most preferred first, without a
// trailing slash. On Linux: $XDG_DATA_HOME when set to an absolute path, else
// <home>/.local/share; empty when there is no home directory.
std::vector<std::string> applicationSupportDirectories();

}  // namespace platform
