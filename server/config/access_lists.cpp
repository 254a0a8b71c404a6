#include "server/config/access_lists.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/config_paths.h"

namespace server {
namespace {

constexpr std::uint32_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Saturates instead of wrapping, so a long run of digits can never come round to a small value
// and match an octet by accident.
std::uint32_t addDigit(std::uint32_t value, char c) {
    const auto digit = static_cast<std::uint32_t>(c - '0');
    if (value > (kMaxU32 - digit) / 10) {
        return kMaxU32;
    }
    return value * 10 + digit;
}

bool matchFields(std::string_view pattern, const std::uint32_t (&address)[4]) {
    if (pattern.empty()) {
        return false;
    }
    std::size_t i = 0;
    for (std::uint32_t octet : address) {
        std::uint32_t value = 0;
        bool wildcard = false;
        while (i < pattern.size()) {
            const char c = pattern[i++];
            if (c == '.') {
                break;
            }
            if (isDigit(c)) {
                value = addDigit(value, c);
            } else if (c == '*') {
                wildcard = true;
                while (i < pattern.size() && pattern[i] != '.') {
                    ++i;
                }
            }
        }
        if (!wildcard && value != octet) {
            return false;
        }
    }
    return true;
}

// Reads the data file while counting down the bytes it still holds, so that no length or count
// taken from the file can make us allocate more than the file could supply.
class FileReader {
  public:
    FileReader(std::FILE* file, std::uint64_t size) : file_(file), remaining_(size) {}

    bool bytes(void* out, std::size_t n) {
        if (n > remaining_ || std::fread(out, 1, n, file_) != n) {
            return false;
        }
        remaining_ -= n;
        return true;
    }

    bool number(std::uint32_t& out, std::size_t width) {
        unsigned char raw[4] = {};
        if (!bytes(raw, width)) {
            return false;
        }
        out = 0;
        for (std::size_t k = width; k-- > 0;) {
            out = (out << 8) | raw[k];
        }
        return true;
    }

    // One byte below 0xFF; else 0xFF and a 16-bit length below 0xFFFF; else 0xFF, 0xFFFF and a
    // 32-bit length.
    bool text(std::string& out) {
        std::uint32_t length = 0;
        if (!number(length, 1)) {
            return false;
        }
        if (length == 0xFF && !number(length, 2)) {
            return false;
        }
        if (length == 0xFFFF && !number(length, 4)) {
            return false;
        }
        if (length > remaining_) {
            return false;
        }
        out.resize(length);
        return bytes(out.data(), length);
    }

  private:
    std::FILE* file_;
    std::uint64_t remaining_;
};

// The count is only a loop bound, never a size to reserve: a damaged count stops at the end of
// the file.
bool readList(FileReader& reader, std::vector<std::string>& list) {
    std::uint32_t count = 0;
    if (!reader.number(count, 4)) {
        return false;
    }
    for (std::uint32_t n = 0; n < count; ++n) {
        std::string entry;
        if (!reader.text(entry)) {
            return false;
        }
        list.push_back(std::move(entry));
    }
    return true;
}

void putNumber(std::string& out, std::uint32_t value, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k) {
        out.push_back(static_cast<char>((value >> (8 * k)) & 0xFF));
    }
}

void putList(std::string& out, const std::vector<std::string>& list) {
    // A list or string beyond 32-bit sizes cannot be described by the format; write what fits.
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(list.size(), kMaxU32));
    putNumber(out, count, 4);
    for (std::uint32_t n = 0; n < count; ++n) {
        const std::string_view text = std::string_view(list[n]).substr(0, kMaxU32);
        const auto length = static_cast<std::uint32_t>(text.size());
        if (length <= 254) {
            putNumber(out, length, 1);
        } else if (length <= 0xFFFD) {
            putNumber(out, 0xFF, 1);
            putNumber(out, length, 2);
        } else {
            putNumber(out, 0xFF, 1);
            putNumber(out, 0xFFFF, 2);
            putNumber(out, length, 4);
        }
        out.append(text);
    }
}

}  // namespace

bool MatchPattern(std::string_view pattern, const std::uint8_t octets[4]) {
    const std::uint32_t address[4] = {octets[0], octets[1], octets[2], octets[3]};
    return matchFields(pattern, address);
}

bool MatchAddressList(const std::vector<std::string>& list, std::string_view address) {
    // Digits up to each '.', the fourth field to the end. Fields above 255 saturate rather than
    // wrap, so they are matched by "*" only.
    std::uint32_t fields[4] = {};
    std::size_t field = 0;
    for (const char c : address) {
        if (c == '.' && field < 3) {
            ++field;
        } else if (isDigit(c)) {
            fields[field] = addDigit(fields[field], c);
        }
    }
    for (const std::string& pattern : list) {
        if (matchFields(pattern, fields)) {
            return true;
        }
    }
    return false;
}

std::string AccessListPath(const ServerSettings& settings) {
    if (!settings.ADData.empty()) {
        return settings.ADData;
    }
    const std::string folder = settings.AccessListFolder.empty()
                                   ? platform::FolderOf(settings.Location)
                                   : settings.AccessListFolder;
    return folder + std::string(kAccessListFileName);
}

void LoadAccessLists(ServerSettings& settings) {
    if (settings.ADData.empty()) {
        settings.ADData = AccessListPath(settings);
    }
    const auto closeFile = [](std::FILE* f) { std::fclose(f); };
    std::unique_ptr<std::FILE, decltype(closeFile)> file(std::fopen(settings.ADData.c_str(), "rbe"),
                                                         closeFile);
    struct stat info {};
    // Only a regular file counts as readable: a folder or a device under that name is treated
    // like a missing file.
    if (!file || ::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        settings.bAllow = 0;
        settings.bDeny = 0;
        settings.AllowList.clear();
        settings.DenyList.clear();
        return;
    }
    // A damaged file (cut short, or a count or length beyond its end) keeps the patterns read
    // before the damage and the flags as the registry gave them; start-up goes on either way.
    FileReader reader(file.get(), static_cast<std::uint64_t>(info.st_size));
    if (readList(reader, settings.AllowList)) {
        readList(reader, settings.DenyList);
    }
}

bool SaveAccessLists(const ServerSettings& settings, ServerDialogs& dialogs) {
    const std::string path = AccessListPath(settings);
    std::string data;
    putList(data, settings.AllowList);
    putList(data, settings.DenyList);
    // Created as a plain file would be, under the umask; a replaced file keeps its permissions.
    if (!platform::WriteFileAtomically(
            path, data,
            {.newFileMode = 0666, .replacedMode = platform::ReplacedMode::KeepIfRegular})) {
        dialogs.messageBox(std::string(kAccessListWriteError) + path, MessageIcon::Information);
        return false;
    }
    return true;
}

}  // namespace server
