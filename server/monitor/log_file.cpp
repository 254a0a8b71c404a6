#include "server/monitor/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ascii_text.h"

namespace server {

std::string LogLineText(const ClientRow& row) {
    std::string line;
    bool first = true;
    for (int column : {kColumnClient, kColumnFile, kColumnStart, kColumnFinish, kColumnResult}) {
        if (!first) {
            line += ' ';
        }
        first = false;
        line += platform::PrintableText(row.cells[static_cast<std::size_t>(column)]);
    }
    return line;
}

bool AppendLogLine(const std::string& path, const ClientRow& row) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const std::string line = LogLineText(row) + "\r\n";
    const char* data = line.data();
    std::size_t left = line.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        ok = false;
    }
    return ok;
}

}  // namespace server
