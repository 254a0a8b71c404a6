#include "client/command_line.h"

#include "client/client_settings.h"

namespace client {

namespace {

constexpr std::string_view kBlockSizeOption = "--blksize=";
constexpr std::string_view kTimeoutOption = "--timeout=";
constexpr std::string_view kSendTimeoutOption = "--send-timeout";
constexpr std::string_view kHeadlessOption = "--headless";
constexpr std::string_view kWindowSizeOption = "--windowsize=";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";

void parseLongOption(std::string_view arg, ClientCommandLine& result) {
    if (arg.starts_with(kBlockSizeOption)) {
        result.blockSize = std::string(arg.substr(kBlockSizeOption.size()));
    } else if (arg.starts_with(kTimeoutOption)) {
        result.timeout = std::string(arg.substr(kTimeoutOption.size()));
    } else if (arg == kSendTimeoutOption) {
        result.sendTimeout = true;
    } else if (arg.starts_with(kWindowSizeOption)) {
        result.windowSize = std::string(arg.substr(kWindowSizeOption.size()));
    } else if (arg == kHeadlessOption) {
        result.headless = true;
    } else if (arg == kHelpOption) {
        result.help = true;
    } else if (arg == kVersionOption) {
        result.version = true;
    } else {
        result.unknownLongOptions.emplace_back(arg);
    }
}

}  // namespace

ClientCommandLine ParseClientCommandLine(const std::vector<std::string>& args) {
    ClientCommandLine result;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.starts_with("--")) {
            parseLongOption(arg, result);
            continue;
        }
        if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) {
            result.strayArguments.emplace_back(arg);
            continue;
        }
        // The value ends at a blank, which only quoting can have put there.
        std::string value(arg.substr(2, arg.find_first_of(" \t", 2) - 2));
        const char letter = static_cast<char>(arg[1] & ~0x20);
        if (value.empty() && std::string_view("HGPRO").find(letter) != std::string_view::npos) {
            result.emptySwitches += letter;
        }
        switch (arg[1]) {
            case 'A':
            case 'a':
                result.binary = false;
                break;
            case 'B':
            case 'b':
                result.binary = true;
                break;
            case 'G':
            case 'g':
                result.getPath = std::move(value);
                break;
            case 'H':
            case 'h':
                result.host = std::move(value);
                break;
            case 'O':
            case 'o':
                result.port = std::move(value);
                break;
            case 'P':
            case 'p':
                result.putPath = std::move(value);
                break;
            case 'R':
            case 'r':
                result.remoteName = std::move(value);
                break;
            default:
                break;
        }
    }
    return result;
}

std::string CommandLineProblem(const ClientCommandLine& c) {
    if (!c.unknownLongOptions.empty()) {
        return "unknown option " + c.unknownLongOptions.front();
    }
    const bool asked = !c.host.empty() || !c.getPath.empty() || !c.putPath.empty() ||
                       c.emptySwitches.find_first_of("HGP") != std::string::npos;
    if (!asked) {
        return {};
    }
    if (!c.emptySwitches.empty()) {
        const char letter = c.emptySwitches.front();
        std::string text = std::string("-") + letter + " has no value: write it right after -" +
                           letter + ", without a blank (as in -" + letter;
        text += letter == 'H' ? "10.0.0.1)" : letter == 'O' ? "69)" : "file.bin)";
        return text;
    }
    if (!c.strayArguments.empty()) {
        return "unexpected argument \"" + c.strayArguments.front() +
               "\": every value goes right after its switch";
    }
    if (c.host.empty()) {
        return "no server address: give it with -Hip";
    }
    if (c.getPath.empty() && c.putPath.empty()) {
        return "no file: give one to get with -Gfile or to send with -Pfile";
    }
    return {};
}

const std::array<std::string_view, 7>& CommandLineHelpTexts() {
    static constexpr std::array<std::string_view, 7> kTexts = {
        "-Hip\tWhere ip is the Dotted Decimal Notation\n\tI.P. of the Target Host",
        "-Gfile\tWhere file is the name of the file to\n\tGet from the host",
        "-Pfile\tWhere file is the fully qualified path of\n\tthe file to send to the host",
        "-Rfile\tWhere file is the name of the remote file \n\t(server end)",
        "-Oport\tWhere port is the decimal number of\n\tthe port at the remote end to use",
        "-B\tBinary Mode",
        "-A\tASCII Mode",
    };
    return kTexts;
}

const std::array<std::string_view, 7>& ExtensionHelpTexts() {
    static constexpr std::array<std::string_view, 7> kTexts = {
        "--blksize=N\tblock size of the transfer (64 to 65420)",
        "--timeout=N\ttime-out in seconds",
        "--send-timeout\tsend the time-out to the server",
        "--windowsize=N\tblocks sent before an ACK (1 to 65535; lock-step when the server does "
        "not\n"
        "\tanswer it)",
        "--headless\trun in the console, without a window",
        "--help\tthis text",
        "--version\tthe program's version",
    };
    return kTexts;
}

const std::array<std::string_view, 8>& ExitStatusHelpTexts() {
    static constexpr std::array<std::string_view, 8> kTexts = {
        "0\tthe transfer completed",
        "1\tthe server ended it with an ERROR",
        "2\tthe command line cannot start a transfer as written",
        "3\tthe local file could not be written or read",
        "4\tthe server sent a packet that has no place in the transfer",
        "7\tthe server refused the options, or chose a block size that cannot be used",
        "8\taborted, or the server answered options that were not asked for",
        "254\ttimed out, or the transfer did not start",
    };
    return kTexts;
}

SplitPath SplitAtLastSeparator(std::string_view path) {
    const std::size_t last = path.rfind(kDirectorySeparator);
    if (last == std::string_view::npos) {
        return SplitPath{{}, std::string(path)};
    }
    return SplitPath{std::string(path.substr(0, last + 1)), std::string(path.substr(last + 1))};
}

}  // namespace client
