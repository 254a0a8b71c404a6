#include "client/transfer_status.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "client/transfer_form.h"

namespace client {

namespace {

constexpr std::size_t kServerMessageLimit = 60;
constexpr std::string_view kServerPrefix = "Msg from Server > ";

std::string_view finish(std::span<char> out, int written) {
    if (written < 0 || out.empty()) {
        return {};
    }
    const auto length = std::min(static_cast<std::size_t>(written), out.size() - 1);
    return std::string_view(out.data(), length);
}

}  // namespace

int SentPercentage(std::uint64_t count, std::uint64_t fileSize) {
    if (count == 0 || fileSize == 0) {
        return 0;
    }
    return static_cast<int>(100.0 / (static_cast<double>(fileSize) / static_cast<double>(count)));
}

std::string_view FormatReceived(std::span<char> out, std::uint64_t bytes, std::uint64_t blocks,
                                bool done) {
    return finish(out, std::snprintf(out.data(), out.size(),
                                     "Received %" PRIu64 " bytes (%" PRIu64 " blocks)%s", bytes,
                                     blocks, done ? " - Done" : ""));
}

std::string_view FormatSent(std::span<char> out, std::uint64_t count, std::uint64_t fileSize,
                            bool resent) {
    const char* verb = resent ? "ReSent" : "Sent";
    if (count != 0 && fileSize != 0) {
        return finish(out, std::snprintf(out.data(), out.size(), "%s %" PRIu64 " bytes (%d%%)",
                                         verb, count, SentPercentage(count, fileSize)));
    }
    return finish(out, std::snprintf(out.data(), out.size(), "%s %" PRIu64 " bytes", verb, count));
}

std::string_view FormatServerMessage(std::span<char> out, std::string_view text) {
    if (out.empty()) {
        return {};
    }
    const std::size_t limit = std::min(kServerMessageLimit, out.size() - 1);
    const std::size_t prefix = std::min(kServerPrefix.size(), limit);
    std::memcpy(out.data(), kServerPrefix.data(), prefix);
    const std::string_view cut = CutText(text, limit - prefix);
    std::memcpy(out.data() + prefix, cut.data(), cut.size());
    out[prefix + cut.size()] = '\0';
    return std::string_view(out.data(), prefix + cut.size());
}

}  // namespace client
