#include "server/engine/command_line.h"

#include <string_view>

#include "platform/program_path.h"

namespace server {
namespace {

constexpr std::string_view kListenOption = "--listen=";
constexpr std::string_view kHeadlessOption = "--headless";
constexpr std::string_view kCheckVersionOption = "--check-version";
constexpr std::string_view kMusicOption = "--music";

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

}  // namespace server
