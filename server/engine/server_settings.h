#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_text.h"

namespace platform {
class RegistryHive;
}

namespace server {

inline constexpr std::string_view kSettingsKey = "Software\\Quenmarsh\\Tollerby";

// The server's configuration, as kept under kSettingsKey.
struct ServerSettings {
    // Texts
    std::string Location;
    std::string InPath;
    std::string OutPath;
    std::string Port = "69";
    std::string Timeout = "30";
    std::string ForceFile;
    std::string SysLogData;
    std::string ADData;
    std::string LogFile = "Ravendock.log";

    // Numbers
    std::uint32_t SysLogFlags = 0;
    std::uint32_t IcmpFlags = 0;
    std::uint32_t bForce = 0;
    std::uint32_t bAllow = 0;
    std::uint32_t bDeny = 0;
    std::uint32_t bDisplay = 1;
    std::uint32_t nDefAddress = 255;
    std::uint32_t nClientLimit = 1;
    std::uint32_t nDisplayLimit = 6;
    std::uint32_t nPriority = 4;

    // Flags packed in "bDelete"
    bool bAlertMinimised = true;
    bool bAllowTsize = true;
    bool bAllowTimeout = true;
    bool bNoSplash = false;
    bool bRaisePriority = false;
    bool bGraphics = false;
    bool bMinimised = false;
    bool bAskAddress = false;      // stored inverted (0x100)
    bool bPreventRestart = false;  // stored inverted (0x200)
    bool bOutPaths = false;        // stored inverted (0x400)
    bool bNoOutbound = false;
    bool bNoIncoming = false;
    bool bUseTaskbar = false;
    bool bSkipRetry = false;
    bool bInPaths = false;
    bool bCreatePaths = false;
    bool bRenameDuplicates = false;
    bool bRenameExisting = false;

    // Address patterns, kept in the access-list file rather than the registry.
    std::vector<std::string> AllowList;
    std::vector<std::string> DenyList;

    // Not stored: set when -I / -O gave the path, which keeps it out of the registry.
    bool InPathFromCommandLine = false;
    bool OutPathFromCommandLine = false;
};

// The "bDelete" word for the flags, and the flags from a word.
std::uint32_t packFlags(const ServerSettings& s);
void unpackFlags(ServerSettings& s, std::uint32_t word);

void LoadSettings(ServerSettings& s, const platform::RegistryHive& hive);
// Writes into hive (and leaves the file write to the caller via hive.save()).
void SaveSettings(const ServerSettings& s, platform::RegistryHive& hive);

// Port and time-out settings are read as far as their leading digits go, held at 32 bits.
inline std::uint32_t leadingNumber(std::string_view text) {
    return static_cast<std::uint32_t>(
        platform::LeadingDecimal(text, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace server
