#pragma once

#include <string_view>

namespace client {

// The texts of the ERROR packets the client sends, for codes 0 to 8; codes above 8 give the
// text of 8. They differ from the server's table in codes 3, 7 and 8.
std::string_view clientErrorText(unsigned code);

}  // namespace client
