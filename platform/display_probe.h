#pragma once

#include <string>

namespace platform {

// Whether a window can be opened: empty when a Wayland display is there, a Qt platform chosen by
// hand needs no display server, or an X display accepts a connection; else why not (one line).
// Qt ends the program when its display cannot be opened, so a stale DISPLAY (an old ssh
// session's) must be found out before Qt starts.
std::string WhyNoDisplay();

}  // namespace platform
