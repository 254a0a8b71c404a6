#pragma once

#include <string>
#include <string_view>

namespace platform {
class RegistryHive;
}

namespace server {

struct ServerSettings;

inline constexpr std::string_view kRunOnceKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr std::string_view kRunOnceSelf = "Mardlecombe";
inline constexpr std::string_view kRunOnceNewer = "Keswardine";

// Asks for a program to run once at the next logon: this program (Location) when newerProgram
// is empty, else the newer program. Nothing while bPreventRestart is set. The value goes into
// the hive's RunOnce key; the desktop starts it through an XDG autostart entry.
void RegisterRunOnce(const ServerSettings& settings, platform::RegistryHive& hive,
                     std::string_view newerProgram);

// At start: removes the autostart entries (and their RunOnce values) that name this program,
// so that a registration runs once only.
void ConsumeRunOnce(platform::RegistryHive& hive, std::string_view ownLocation);

// "$XDG_CONFIG_HOME/autostart/ravendockd-<value name>.desktop", value name in lower case.
std::string AutostartEntryPath(std::string_view valueName);

}  // namespace server
