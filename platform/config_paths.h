#pragma once

#include <string>
#include <string_view>

namespace platform {

// The user's configuration folder: $XDG_CONFIG_HOME when it is absolute (the base directory
// rules ignore relative and empty values), else "$HOME/.config", else "./.config".
std::string ConfigHome();

// The folder part of a path up to and including its last '/'; empty when it has none.
std::string FolderOf(std::string_view path);

// True when this process's executable lies directly in folder, links resolved on both sides.
bool RunningFrom(const char* folder);

}  // namespace platform
