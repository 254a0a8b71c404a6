#include "client/transfer_form.h"

namespace client {

std::string_view CutText(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the start of the sequence that would be split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

std::string TruncateRemoteName(std::string_view name) {
    auto isAlnum = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    std::string result;
    std::size_t i = 0;
    for (; i < name.size() && name[i] != '.' && result.size() < 8; ++i) {
        if (isAlnum(name[i])) {
            result += name[i];
        }
    }
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos && dot + 1 < name.size()) {
        result += '.';
        result.append(CutText(name.substr(dot + 1), 3));
    }
    return result;
}

}  // namespace client
