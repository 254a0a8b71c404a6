#include "server/headless/headless_dialogs.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/text_input.h"

namespace server {

namespace {

bool interactive() {
    return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
}

std::optional<std::string> readLine() {
    return platform::ReadLine(stdin);
}

}  // namespace

void HeadlessDialogs::messageBox(std::string_view text, MessageIcon icon) {
    const char* label = icon == MessageIcon::Error     ? "error"
                        : icon == MessageIcon::Warning ? "warning"
                                                       : "info";
    std::string flat(text);
    for (char& c : flat) {
        if (c == '\n') {
            c = ' ';
        }
    }
    std::fprintf(stderr, "ravendockd: %s: %s\n", label, flat.c_str());
}

std::optional<std::string> HeadlessDialogs::askListeningAddress() {
    if (!interactive()) {
        return std::nullopt;
    }
    std::fprintf(stderr,
                 "Listening Address\nServer I.P. Address (dotted decimal, empty to cancel): ");
    auto line = readLine();
    if (!line || line->empty()) {
        return std::nullopt;
    }
    return line;
}

MultihomedAnswer HeadlessDialogs::chooseHostAddress(const std::vector<std::string>& addresses,
                                                    bool doNotShowTicked) {
    MultihomedAnswer answer;
    if (!interactive()) {
        return answer;  // as if closed: the first address
    }
    std::fprintf(stderr, "Multihomed Host - Please select Servers Host Address\n");
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::fprintf(stderr, "  %zu) %s\n", i + 1, addresses[i].c_str());
    }
    std::fprintf(stderr, "Number [1]: ");
    auto line = readLine();
    if (!line) {
        return answer;
    }
    answer.ok = true;
    try {
        answer.index = line->empty() ? 0 : std::stoi(*line) - 1;
    } catch (...) {
        answer.index = 0;
    }
    std::fprintf(stderr, "Do not show this box again? [%s]: ", doNotShowTicked ? "Y/n" : "y/N");
    auto again = readLine();
    answer.doNotShowAgain =
        again && !again->empty() ? ((*again)[0] == 'y' || (*again)[0] == 'Y') : doNotShowTicked;
    return answer;
}

void HeadlessDialogs::showWaitDialog(WaitDialogKind kind, std::function<void()>,
                                     std::function<void()>) {
    WaitDialogTexts texts = waitDialogTexts(kind);
    std::fprintf(stderr, "ravendockd: %.*s %.*s\n", static_cast<int>(texts.title.size()),
                 texts.title.data(), static_cast<int>(texts.wait.size()), texts.wait.data());
}

void HeadlessDialogs::closeWaitDialog(WaitDialogKind) {}

void HeadlessDialogs::showServerInfo(const ServerInfo& info) {
    std::fprintf(stderr,
                 "Local Server Info\nHost Name: %s\nHost I.P.: %s\nAdaptors: %d\n"
                 "Sockets Version: %s\nMax. UDP: %d\nMax. Sockets: %d\n",
                 info.hostName.c_str(), info.hostIp.c_str(), info.adaptors,
                 info.socketsVersion.c_str(), info.maxUdp, info.maxSockets);
}

}  // namespace server
