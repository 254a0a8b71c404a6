#pragma once

#include <string>

namespace server {

struct ServerSettings;

// Which folders the server serves, as the operator should see it at start: an empty folder
// setting means the current folder, which started from "/" is the whole filesystem, so the
// text names each folder in full.
std::string ServedFoldersText(const ServerSettings& settings);

}  // namespace server
