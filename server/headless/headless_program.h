#pragma once

#include <string>
#include <vector>

namespace server {

// ravendockd without a window: the engine, its settings, and one line on stdout per change of
// the client list, until SIGINT or SIGTERM. Returns the exit status.
int RunHeadless(const std::vector<std::string>& args);

}  // namespace server
