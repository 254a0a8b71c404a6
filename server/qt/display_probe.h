#pragma once

#include <string>

namespace server {

// Whether a window can be shown: empty when a display can be opened, else why not (one line).
std::string WhyNoDisplay();

}  // namespace server
