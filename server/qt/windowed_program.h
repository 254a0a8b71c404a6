#pragma once

#include <string>
#include <vector>

namespace server {

// ravendockd with its window, until Exit, the tray's "Close", the end of the session, SIGINT or
// SIGTERM. Returns the exit status.
int RunWindowed(int argc, char** argv, const std::vector<std::string>& args);

}  // namespace server
