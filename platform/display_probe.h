#pragma once

namespace platform {

// Whether a window can be opened: a Wayland display, a Qt platform chosen by hand that needs no
// display server, or an X display that accepts a connection. Qt ends the program when its display
// cannot be opened, so a stale DISPLAY (an old ssh session's) must be found out before Qt starts.
bool DisplayAvailable();

}  // namespace platform
