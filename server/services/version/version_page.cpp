#include "server/services/version/version_page.h"

#include <array>

#include "platform/ascii_text.h"

namespace server {

namespace {

enum class Tag { CurrentVersion, AvailableFrom, Size, Note };

struct TagPrefix {
    std::string_view text;
    Tag tag;
};
constexpr std::array<TagPrefix, 4> kTags = {{
    {"<!Current Version=", Tag::CurrentVersion},
    {"<!Available From=", Tag::AvailableFrom},
    {"<!Size=", Tag::Size},
    {"<!Note=", Tag::Note},
}};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string VersionRequestLine(std::string_view path) {
    constexpr std::string_view head = "GET ";
    constexpr std::string_view tail = " HTTP 1/1\r\n";
    constexpr std::size_t room =
        kVersionRequestSize - 1 - head.size() - tail.size() - kAcceptLines.size();
    if (path.size() > room) {
        path = path.substr(0, room);
    }
    std::string line;
    line.reserve(head.size() + path.size() + tail.size());
    line.append(head).append(path).append(tail);
    return line;
}

VersionPage ParseVersionPage(std::string_view data) {
    VersionPage page;
    std::size_t pos = data.find('<');
    while (pos != std::string_view::npos) {
        const TagPrefix* found = nullptr;
        for (const TagPrefix& prefix : kTags) {
            if (platform::StartsWithIgnoreCase(data.substr(pos), prefix.text)) {
                found = &prefix;
                break;
            }
        }
        if (found == nullptr) {
            pos = data.find('<', pos + 1);
            continue;
        }
        std::size_t value = pos + found->text.size();
        std::size_t end = value;
        if (found->tag == Tag::Size) {
            page.size = 0;
            // Wraps like the 32-bit field it fills.
            while (end < data.size() && isDigit(data[end])) {
                page.size = page.size * 10u + static_cast<std::uint32_t>(data[end] - '0');
                ++end;
            }
        } else {
            end = data.find('>', value);
            if (end == std::string_view::npos) {
                end = data.size();
            }
            std::string text(data.substr(value, end - value));
            if (found->tag == Tag::CurrentVersion) {
                page.currentVersion = std::move(text);
            } else if (found->tag == Tag::AvailableFrom) {
                page.availableFrom = std::move(text);
            } else {
                page.notes.push_back(std::move(text));
            }
        }
        pos = data.find('<', end);
    }
    return page;
}

double VersionValue(std::string_view text) {
    const std::size_t point = text.rfind('.');
    if (point == std::string_view::npos) {
        return 0.0;
    }
    double value = 0.0;
    double weight = 1.0;
    for (std::size_t i = point; i > 0 && isDigit(text[i - 1]); --i) {
        value += (text[i - 1] - '0') * weight;
        weight *= 10.0;
    }
    weight = 0.1;
    for (std::size_t i = point + 1; i < text.size() && isDigit(text[i]); ++i) {
        value += (text[i] - '0') * weight;
        weight /= 10.0;
    }
    return value;
}

}  // namespace server
