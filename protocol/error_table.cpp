#include "protocol/error_table.h"

#include <array>

namespace protocol {

namespace {

// "negotion" is the text peers and operators have always seen; keep it as it is.
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

std::string_view serverErrorText(unsigned code) {
    return kServerTexts[code < kServerTexts.size() ? code : kServerTexts.size() - 1];
}

}  // namespace protocol
