#include "protocol/error_table.h"

#include <array>

namespace protocol {

namespace {

// "negotion" as peers and operators have always seen it: scripts that watch the server's log
// or a peer's error output match these texts.
constexpr std::array<std::string_view, 9> kServerTexts = {
    "Inconclusive system error",
    "File not found",
    "Access violation",
    "Disk error",
    "Unknown TFTP Operation",
    "Unknown transfer ID",
    "File already exists",
    "Option negotion failure",
    "Aborted",
};

}  // namespace

std::string_view serverErrorText(ErrorCode code) {
    const auto index = static_cast<std::size_t>(code);
    return kServerTexts[index < kServerTexts.size() ? index : kServerTexts.size() - 1];
}

}  // namespace protocol
