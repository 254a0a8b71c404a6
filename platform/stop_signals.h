#pragma once

namespace platform {

// Blocks SIGINT, SIGTERM and SIGHUP (the terminal went away) and returns a descriptor that becomes
// readable when one arrives, so the end runs on the main thread; -1 when it cannot be made.
int BlockStopSignals();

// Reads away what the descriptor holds.
void DrainStopSignals(int fd);

}  // namespace platform
