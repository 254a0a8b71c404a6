#include "server/engine/command_line.h"

#include <string_view>

#include "platform/program_path.h"
#include "platform/registry_hive.h"

namespace server {
namespace {

constexpr std::string_view kListenOption = "--listen=";
constexpr std::string_view kHeadlessOption = "--headless";
constexpr std::string_view kCheckVersionOption = "--check-version";
constexpr std::string_view kMusicOption = "--music";
constexpr std::string_view kConfigOption = "--config=";
constexpr std::string_view kPortOption = "--port=";
constexpr std::string_view kPortRangeOption = "--port-range=";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";

constexpr std::string_view kUsage =
    "Usage: ravendockd [-A<digit>] [-I<folder>] [-O<folder>] [--listen=ADDRESS] [--headless]\n"
    "                  [--config=FILE] [--port=N] [--port-range=LOW:HIGH] [--music]\n"
    "       ravendockd --check-version | --help | --version\n";

constexpr std::string_view kHelp =
    "TFTP server: answers read requests from the outbound folder and stores write requests in\n"
    "the inbound folder.\n"
    "\n"
    "  -A<digit>              listen on the host address with this index (0 is the first)\n"
    "  -I<folder>             inbound folder for this run (not saved)\n"
    "  -O<folder>             outbound folder for this run (not saved)\n"
    "  --listen=ADDRESS       listen on this IPv4 address (0.0.0.0: all of them)\n"
    "  --headless             run without a window; one line per change on stdout\n"
    "  --config=FILE          settings hive to read and save (default\n"
    "                         $XDG_CONFIG_HOME/ravendockd.reg)\n"
    "  --port=N               listening port for this run (not saved)\n"
    "  --port-range=LOW:HIGH  local ports for transfers\n"
    "  --music                start the MIDI music at once\n"
    "  --check-version        ask the version server for a newer program, then exit\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Options start with - or /, the letter in either case, the value glued to it.\n";

// 1 to 65535 in decimal digits only.
std::optional<std::uint16_t> portNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<PortRange> portRange(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    auto low = portNumber(text.substr(0, colon));
    auto high = portNumber(text.substr(colon + 1));
    if (!low || !high || *low > *high) {
        return std::nullopt;
    }
    return PortRange{*low, *high};
}

// The address index counts characters, not bytes: the code point of a UTF-8 sequence, or -1 for
// bytes that do not form one.
long firstCodePoint(std::string_view s) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t length;
    long cp;
    long smallest;  // anything below is an overlong form, which could smuggle in a digit
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
        smallest = 0x10000;
    } else {
        return -1;
    }
    if (s.size() < length) {
        return -1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return -1;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    return cp < smallest ? -1 : cp;
}

int addressChoice(std::string_view arg) {
    if (arg.size() < 3) {
        return -1;
    }
    long cp = firstCodePoint(arg.substr(2));
    if (cp < 0) {
        return -1;
    }
    long choice = cp - '0';
    return (choice < 0 || choice >= 512) ? -1 : static_cast<int>(choice);
}

}  // namespace

std::vector<std::string> ServerArguments(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    if (auto own = platform::ownProgramPath(); own && !args.empty()) {
        args[0] = std::move(*own);
    }
    return args;
}

CommandLineChoices ParseServerCommandLine(const std::vector<std::string>& args,
                                          ServerSettings& settings) {
    CommandLineChoices choices;
    if (args.empty()) {
        return choices;
    }
    settings.Location = args[0];

    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.starts_with("--")) {
            if (arg.starts_with(kListenOption)) {
                choices.listenAddress = std::string(arg.substr(kListenOption.size()));
            } else if (arg == kHeadlessOption) {
                choices.headless = true;
            } else if (arg == kCheckVersionOption) {
                choices.checkVersion = true;
            } else if (arg == kMusicOption) {
                choices.music = true;
            } else if (arg.starts_with(kConfigOption)) {
                if (arg.size() > kConfigOption.size()) {
                    choices.configFile = std::string(arg.substr(kConfigOption.size()));
                } else {
                    choices.invalidValues.emplace_back(arg);
                }
            } else if (arg.starts_with(kPortOption)) {
                if (auto port = portNumber(arg.substr(kPortOption.size()))) {
                    settings.Port = std::to_string(*port);
                    settings.PortFromCommandLine = true;
                } else {
                    choices.invalidValues.emplace_back(arg);
                }
            } else if (arg.starts_with(kPortRangeOption)) {
                if (auto range = portRange(arg.substr(kPortRangeOption.size()))) {
                    choices.transferPorts = range;
                } else {
                    choices.invalidValues.emplace_back(arg);
                }
            } else if (arg == kHelpOption) {
                choices.help = true;
            } else if (arg == kVersionOption) {
                choices.version = true;
            } else {
                choices.unknownLongOptions.emplace_back(arg);
            }
            continue;
        }
        if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) {
            continue;
        }
        switch (arg[1]) {
            case 'A':
            case 'a':
                choices.nAddressChoice = addressChoice(arg);
                break;
            case 'I':
            case 'i':
                settings.InPath = std::string(arg.substr(2));
                settings.InPathFromCommandLine = true;
                break;
            case 'O':
            case 'o':
                settings.OutPath = std::string(arg.substr(2));
                settings.OutPathFromCommandLine = true;
                break;
            default:
                break;
        }
    }
    return choices;
}

std::optional<int> AnswerBeforeStart(const CommandLineChoices& choices, std::FILE* out,
                                     std::FILE* err) {
    if (choices.help) {
        std::fprintf(out, "%.*s\n%.*s", static_cast<int>(kUsage.size()), kUsage.data(),
                     static_cast<int>(kHelp.size()), kHelp.data());
        return 0;
    }
    if (choices.version) {
        std::fputs("ravendockd " RAVEN_VERSION "\n", out);
        return 0;
    }
    if (choices.unknownLongOptions.empty() && choices.invalidValues.empty()) {
        return std::nullopt;
    }
    for (const std::string& option : choices.unknownLongOptions) {
        std::fprintf(err, "ravendockd: unknown option %s\n", option.c_str());
    }
    for (const std::string& option : choices.invalidValues) {
        std::fprintf(err, "ravendockd: invalid value in %s\n", option.c_str());
    }
    std::fprintf(err, "%.*s", static_cast<int>(kUsage.size()), kUsage.data());
    return 2;
}

std::string HivePath(const std::vector<std::string>& args) {
    ServerSettings unused;
    const CommandLineChoices choices = ParseServerCommandLine(args, unused);
    return choices.configFile ? *choices.configFile
                              : platform::RegistryHive::defaultPath("ravendockd");
}

}  // namespace server
