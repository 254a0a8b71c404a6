#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ascii_text.h"

namespace client {

// The values every transfer starts from, as the window's controls hold them (texts where the
// user types); the command line fills the same fields.
struct TransferForm {
    std::string host;
    std::string port = "69";
    std::string timeout = "10";
    bool sendTimeoutOption = false;
    std::string blockSize = "512";
    std::string localName;
    std::string remoteName;
    bool binary = true;
    bool matchFiles = true;
};

// The form after PrepareTransfer: checked, cut to length and turned into numbers.
struct PreparedTransfer {
    std::string localName;
    std::string remoteName;
    std::string host;
    std::uint32_t port = 69;  // no upper bound; only the low 16 bits reach the wire
    int timeout = 10;
    int blockSize = 512;
};

inline constexpr std::size_t kMaxNameLength = 500;
inline constexpr std::size_t kMaxHostLength = 39;
inline constexpr int kMinFormBlockSize = 64;
inline constexpr int kMaxFormBlockSize = 65420;

using platform::LeadingDecimal;

// At most maxBytes of text, never ending inside a UTF-8 sequence.
std::string_view CutText(std::string_view text, std::size_t maxBytes);

// The eight-plus-three form: letters and digits of the part before the first ".", at most 8;
// then "." and at most 3 characters of what follows the first ".", when anything does.
std::string TruncateRemoteName(std::string_view name);

}  // namespace client
