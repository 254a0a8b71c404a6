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

// The process arguments with the program's real path in the place of argv[0]: started through
// PATH or a relative path, argv[0] names no file from elsewhere, yet Location, the access-list
// file beside the program and the autostart entry all need one.
std::vector<std::string> ServerArguments(int argc, char** argv);

// -A, -I and -O (either case, '-' or '/'); a later one overrides an earlier one; other
// arguments are ignored. Long options ("--name=value") are extensions.
CommandLineChoices ParseServerCommandLine(const std::vector<std::string>& args,
                                          ServerSettings& settings);

}  // namespace server
