#include "client/ini_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"
#include "platform/config_paths.h"
#include "platform/text_input.h"

namespace client {

namespace {

// A profile is a few hundred bytes; anything this large is not one of ours.
constexpr std::size_t kMaxFileBytes = 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The name of a section header line, or nullopt when the line is not one.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const std::size_t close = line.find(']');
    return trim(close == std::string_view::npos ? line : line.substr(0, close));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return KeyLine{trim(line.substr(0, eq)), value};
}

}  // namespace

IniProfile::IniProfile(std::string path) : path_(std::move(path)) {
    reload();
}

std::string IniProfile::defaultPath(std::string_view program) {
    std::string base = platform::ConfigHome();
    base += '/';
    base.append(program);
    base += ".ini";
    return base;
}

void IniProfile::reload() {
    lines_.clear();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        state_ = errno == ENOENT || errno == ENOTDIR ? State::Missing : State::Unreadable;
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        state_ = State::Unreadable;
        return;
    }
    std::string data;
    bool failed = false;
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) {
            break;
        }
        if (data.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
            data.clear();
            state_ = State::Damaged;
            ::close(fd);
            return;
        }
        data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (failed) {
        state_ = State::Unreadable;
        return;
    }
    if (data.find('\0') != std::string::npos) {
        state_ = State::Damaged;
        return;
    }
    std::string_view text(data);
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        lines_.emplace_back(platform::NextLine(text, pos));
    }
    state_ = State::Readable;
}

std::size_t IniProfile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto name = sectionName(lines_[i]);
        if (name && platform::EqualsIgnoreCase(*name, section)) {
            return i;
        }
    }
    return std::string::npos;
}

std::string IniProfile::read(std::string_view section, std::string_view key) const {
    const std::size_t header = findSection(section);
    if (header == std::string::npos) {
        return {};
    }
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i])) {
            break;
        }
        auto entry = keyLine(lines_[i]);
        if (entry && platform::EqualsIgnoreCase(entry->key, key)) {
            return std::string(entry->value);
        }
    }
    return {};
}

bool IniProfile::write(std::string_view section, std::string_view key, std::string_view value) {
    return write(section, {Entry{key, value}});
}

bool IniProfile::write(std::string_view section, std::initializer_list<Entry> entries) {
    reload();
    if (state_ == State::Unreadable) {
        return false;  // replacing a file we cannot read could destroy what it holds
    }
    if (state_ == State::Damaged) {
        lines_.clear();
    }
    for (const Entry& entry : entries) {
        setLine(section, entry.first, entry.second);
    }
    state_ = State::Readable;
    return save();
}

void IniProfile::setLine(std::string_view section, std::string_view key, std::string_view value) {
    // A line break inside a value would start lines of its own, keys included.
    value = value.substr(0, value.find_first_of("\r\n"));
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key);
    line += '=';
    line.append(value);

    const std::size_t header = findSection(section);
    if (header == std::string::npos) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) {
            lines_.emplace_back();
        }
        // Built piece by piece: GCC 12 at -O3 warns falsely about operator+ here.
        std::string head;
        head.reserve(section.size() + 2);
        head += '[';
        head.append(section);
        head += ']';
        lines_.push_back(std::move(head));
        lines_.push_back(std::move(line));
        return;
    }
    std::size_t lastEntry = header;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i])) {
            break;
        }
        auto entry = keyLine(lines_[i]);
        if (entry && platform::EqualsIgnoreCase(entry->key, key)) {
            lines_[i] = std::move(line);
            return;
        }
        if (!trim(lines_[i]).empty()) {
            lastEntry = i;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1, std::move(line));
}

bool IniProfile::save() const {
    std::string contents;
    for (const std::string& line : lines_) {
        contents += line;
        contents += '\n';
    }
    // A new profile stays private; a replaced one keeps its permissions.
    return platform::WriteFileAtomically(
        path_, contents,
        {.createFolders = true, .newFileMode = 0600, .replacedMode = platform::ReplacedMode::Keep});
}

}  // namespace client
