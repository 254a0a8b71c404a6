#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine/server_dialogs.h"
#include "server/engine/server_settings.h"

namespace server {

inline constexpr std::string_view kAccessListFileName = "AllowDeny.dat";
inline constexpr std::string_view kAccessListWriteError = "Unable to create/open file\n";

// True when each of the pattern's four fields is "*" or equals the octet (first octet first).
// An empty pattern matches nothing; fields the text never reaches count as 0.
bool MatchPattern(std::string_view pattern, const std::uint8_t octets[4]);

// True when some pattern of the list matches the dotted address text; the walk stops at the
// first match.
bool MatchAddressList(const std::vector<std::string>& list, std::string_view address);

// ADData when set, else "AllowDeny.dat" in AccessListFolder, or when that is empty in the
// folder of Location (the current directory when Location has no '/').
std::string AccessListPath(const ServerSettings& settings);

// Start-up read of the data file into AllowList and DenyList (appending). Fills ADData with the
// default path when it is empty. A missing or unreadable file turns bAllow and bDeny off.
void LoadAccessLists(ServerSettings& settings);

// Writes both lists, replacing the file in one step. On failure shows "Unable to create/open
// file\n" plus the path and returns false; the settings in memory stay as they are.
bool SaveAccessLists(const ServerSettings& settings, ServerDialogs& dialogs);

}  // namespace server
