#pragma once

#include <string>

namespace platform {

// The user's configuration folder: $XDG_CONFIG_HOME when it is absolute (the base directory
// rules ignore relative and empty values), else "$HOME/.config", else "./.config".
std::string ConfigHome();

}  // namespace platform
