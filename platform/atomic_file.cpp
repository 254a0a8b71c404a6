#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// folder ends in '/'. An existing component is fine here; one that is not a folder makes the
// file creation below fail instead.
bool createFolders(const std::string& folder, mode_t mode) {
    for (std::size_t pos = folder.find('/', 1); pos != std::string::npos;
         pos = folder.find('/', pos + 1)) {
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// O_EXCL never opens a file someone else left or planted under that name; the counter keeps
// threads of one process apart.
int createTemporary(const std::string& path, mode_t mode, std::string& temp) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix = path + ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = prefix + std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void keepMode(int fd, const std::string& path, ReplacedMode replaced) {
    struct stat old {};
    if (replaced == ReplacedMode::Ignore || ::stat(path.c_str(), &old) != 0) {
        return;
    }
    if (replaced == ReplacedMode::Keep || S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
    }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data,
                         AtomicWriteOptions options) {
    if (path.empty()) {
        return false;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    if (options.createFolders && !createFolders(folder, options.folderMode)) {
        return false;
    }
    std::string temp;
    const int fd = createTemporary(path, options.newFileMode, temp);
    if (fd < 0) {
        return false;
    }
    keepMode(fd, path, options.replacedMode);
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself durable; the new contents are in place either way.
    const int dirFd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace platform
