#include "platform/program_path.h"

#include <limits.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> ownProgramPath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        return std::nullopt;
    }
    std::string path(buffer, static_cast<std::size_t>(n));
    // A program file replaced while it runs still names the place a new one would be found.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) {
        path.resize(path.size() - kDeleted.size());
    }
    return path;
}

}  // namespace platform
