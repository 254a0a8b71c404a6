#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace client {

// What the command line says. Switches are "-" or "/" and a letter in either case, the value
// glued to the letter: -Hip, -Gfile, -Pfile, -Rfile, -Oport, -A, -B.
struct ClientCommandLine {
    std::string getPath;         // -G
    std::string putPath;         // -P
    std::string host;            // -H
    std::string remoteName;      // -R
    std::string port;            // -O
    std::optional<bool> binary;  // -B (true) or -A (false), the last one given

    // Extensions for scripted transfers: the form fields that have no switch of their own.
    std::optional<std::string> blockSize;   // --blksize=N
    std::optional<std::string> timeout;     // --timeout=N
    bool sendTimeout = false;               // --send-timeout
    std::optional<std::string> windowSize;  // --windowsize=N
    bool headless = false;                  // --headless
    bool help = false;                      // --help
    bool version = false;                   // --version
    std::vector<std::string> unknownLongOptions;
    // Letters of -H, -G, -P, -R and -O given without a value, and arguments that are no switch:
    // "-H 10.0.0.1" gives both.
    std::string emptySwitches;
    std::vector<std::string> strayArguments;
};

// args[0] is the program's name.
ClientCommandLine ParseClientCommandLine(const std::vector<std::string>& args);

// Why a command line that asks for a transfer cannot start one as written (a value parted from
// its switch, an unknown long option, a file without a host or a host without a file); empty
// when it can, or when it asks for no transfer at all.
std::string CommandLineProblem(const ClientCommandLine& commandLine);

// The "Command Line" help texts, one switch each, in the order -H, -G, -P, -R, -O, -B, -A.
const std::array<std::string_view, 7>& CommandLineHelpTexts();
// The same for the extensions.
const std::array<std::string_view, 7>& ExtensionHelpTexts();
// The exit statuses of a run from the command line, one a line.
const std::array<std::string_view, 8>& ExitStatusHelpTexts();

// A path split at its last separator: the folder with the separator (empty when there is none)
// and the name.
struct SplitPath {
    std::string directory;
    std::string name;
};
SplitPath SplitAtLastSeparator(std::string_view path);

}  // namespace client
