#include "client/client_error_table.h"

#include <array>

namespace client {

namespace {

constexpr std::array<std::string_view, 9> kClientTexts = {
    "Inconclusive system error", "File not found",
    "Access violation",          "Disk full",
    "Unknown TFTP Operation",    "Unknown transfer ID",
    "File already exists",       "Option negotiation failure",
    "Transfer Aborted",
};

}  // namespace

std::string_view clientErrorText(unsigned code) {
    return kClientTexts[code < kClientTexts.size() ? code : kClientTexts.size() - 1];
}

}  // namespace client
