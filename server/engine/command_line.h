#pragma once

#include <optional>
#include <string>
#include <vector>

#include "server/engine/server_settings.h"

namespace server {

// What the command line asks for beyond ServerSettings.
struct CommandLineChoices {
    int nAddressChoice = -1;
    // --listen=ADDRESS: the listening address named directly.
    std::optional<std::string> listenAddress;
    bool headless = false;
    // --check-version: run the version check's exchange instead of serving.
    bool checkVersion = false;
    // --music: start the music at once, as F12 would.
    bool music = false;
    // Long options this program does not know, reported by the caller.
    std::vector<std::string> unknownLongOptions;
};

// -A, -I and -O (either case, '-' or '/'); a later one overrides an earlier one; other
// arguments are ignored. Long options ("--name=value") are extensions.
CommandLineChoices ParseServerCommandLine(const std::vector<std::string>& args,
                                          ServerSettings& settings);

}  // namespace server
