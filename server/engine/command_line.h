#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "server/engine/server_settings.h"
#include "server/engine/transfer_ports.h"

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
    // --config=FILE: the hive to read and save instead of the user's.
    std::optional<std::string> configFile;
    // --port-range=LOW:HIGH: transfers take their ports from here (firewalls, NAT).
    std::optional<PortRange> transferPorts;
    bool help = false;     // --help
    bool version = false;  // --version
    // Long options this program does not know, and known ones with a value that is not valid;
    // either ends the program with the short usage.
    std::vector<std::string> unknownLongOptions;
    std::vector<std::string> invalidValues;
};

// The process arguments with the program's real path in the place of argv[0]: started through
// PATH or a relative path, argv[0] names no file from elsewhere, yet Location, the access-list
// file beside the program and the autostart entry all need one.
std::vector<std::string> ServerArguments(int argc, char** argv);

// -A, -I and -O (either case, '-' or '/'); a later one overrides an earlier one; other
// arguments are ignored. Long options ("--name=value") are extensions; --port=N sets Port for
// this run only (PortFromCommandLine).
CommandLineChoices ParseServerCommandLine(const std::vector<std::string>& args,
                                          ServerSettings& settings);

// What must happen before anything starts: --help or --version print on out and give 0; an
// unknown long option or a bad value prints why and the short usage on err and gives 2.
// Nothing (go on and serve) otherwise.
std::optional<int> AnswerBeforeStart(const CommandLineChoices& choices, std::FILE* out,
                                     std::FILE* err);

// The hive file: --config's, else the user's ravendockd.reg.
std::string HivePath(const std::vector<std::string>& args);

}  // namespace server
