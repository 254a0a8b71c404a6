#pragma once

#include <string_view>

#include "protocol/packet.h"

namespace protocol {

// The server's error texts; codes above 8 give the text of 8.
std::string_view serverErrorText(ErrorCode code);

}  // namespace protocol
