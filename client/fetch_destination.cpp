#include "client/fetch_destination.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace client {

namespace {

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

FetchDestination::~FetchDestination() {
    Discard();
}

bool FetchDestination::Create(const std::string& target) {
    Discard();
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return false;
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Hidden, and named after the target so a leftover (after a crash) says what it was.
    std::string pattern = folder + "." + name + ".part-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    target_ = target;
    partPath_ = buffer.data();
    return true;
}

bool FetchDestination::Commit() {
    if (partPath_.empty()) {
        return false;
    }
    // mkstemp made it private; the fetched file gets what a newly created file would.
    ::chmod(partPath_.c_str(), 0666 & ~currentUmask());
    if (::rename(partPath_.c_str(), target_.c_str()) != 0) {
        return false;
    }
    partPath_.clear();
    return true;
}

void FetchDestination::Discard() {
    if (!partPath_.empty()) {
        ::unlink(partPath_.c_str());
        partPath_.clear();
    }
}

}  // namespace client
