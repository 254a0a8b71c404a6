#include "platform/config_paths.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>

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
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    char wanted[PATH_MAX];
    if (length <= 0 || ::realpath(folder, wanted) == nullptr) {
        return false;
    }
    return FolderOf(std::string_view(self, static_cast<std::size_t>(length))) ==
           std::string(wanted) + "/";
}

}  // namespace platform
