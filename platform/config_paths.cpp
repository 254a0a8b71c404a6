#include "platform/config_paths.h"

#include <limits.h>

#include <cstdlib>
#include <optional>

#include "platform/program_path.h"

namespace platform {

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : ".") + "/.config";
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool RunningFrom(const char* folder) {
    const std::optional<std::string> self = ownProgramPath();
    char wanted[PATH_MAX];
    if (!self || ::realpath(folder, wanted) == nullptr) {
        return false;
    }
    return FolderOf(*self) == std::string(wanted) + "/";
}

}  // namespace platform
