#pragma once

#include <string_view>

namespace protocol {

// The server's error texts for codes 0 to 8; codes above 8 give the text of 8.
std::string_view serverErrorText(unsigned code);

}  // namespace protocol
