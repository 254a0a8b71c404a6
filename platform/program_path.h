#pragma once

#include <optional>
#include <string>

namespace platform {

// The running program's own file, as the kernel knows it: absolute and with links resolved,
// however the program was started (through PATH, a relative path or a link). Nothing when it
// cannot be read.
std::optional<std::string> ownProgramPath();

}  // namespace platform
