#include "platform/text_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::optional<std::string> ReadFileCapped(const std::string& path, std::size_t limit,
                                          bool* truncated) {
    if (truncated != nullptr) {
        *truncated = false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string data;
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        const auto n = static_cast<std::size_t>(got);
        if (data.size() + n > limit) {
            data.append(chunk, limit - data.size());
            if (truncated != nullptr) {
                *truncated = true;
            }
            break;
        }
        data.append(chunk, n);
    }
    ::close(fd);
    return data;
}

std::optional<std::string> ReadLine(std::FILE* in) {
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n') {
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!any) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::string_view NextLine(std::string_view text, std::size_t& pos) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    return line;
}

}  // namespace platform
