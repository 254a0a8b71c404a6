#pragma once

#include <string>
#include <vector>

namespace platform {
class EventLoop;
class RegistryHive;
}  // namespace platform

namespace server {

struct ServerSettings;

// "--check-version": the version check's exchange on the console. Lines go to stdout; the
// connection question is answered Yes, the install prompt from the terminal or No; a newer
// version is downloaded as if its button were pressed. Returns the exit status: 0 when the
// exchange completed.
int RunHeadlessVersionCheck(platform::EventLoop& loop, const ServerSettings& settings,
                            platform::RegistryHive& hive);

}  // namespace server
