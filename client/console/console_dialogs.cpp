#include "client/console/console_dialogs.h"

#include <string>

#include "client/console/console_window.h"
#include "client/transfer_form.h"
#include "platform/ascii_text.h"

namespace client {

namespace {

bool startsWithYes(const std::string& answer) {
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// The text with its own line breaks; other control characters are not safe on a terminal.
std::string printableLines(std::string_view text) {
    std::string out;
    for (;;) {
        const std::size_t nl = text.find('\n');
        out += platform::PrintableText(text.substr(0, nl));
        if (nl == std::string_view::npos) {
            return out;
        }
        out += '\n';
        text.remove_prefix(nl + 1);
    }
}

}  // namespace

ConsoleDialogs::ConsoleDialogs(std::FILE* out, std::istream& in, bool interactive)
    : out_(out), in_(in), interactive_(interactive) {}

void ConsoleDialogs::print(std::string_view text) {
    if (beforeOutput) {
        beforeOutput();
    }
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

std::optional<std::string> ConsoleDialogs::readLine() {
    std::string line;
    if (!std::getline(in_, line)) {
        return std::nullopt;
    }
    return line;
}

void ConsoleDialogs::MessageBox(std::string_view text, std::string_view caption) {
    std::string line = "merrowinc: ";
    if (caption != kProgramCaption) {
        line.append(caption);
        line += ": ";
    }
    line += printableLines(text);
    line += '\n';
    print(line);
}

bool ConsoleDialogs::AskYesNo(std::string_view text) {
    const std::string question = "merrowinc: " + printableLines(text);
    if (!interactive_) {
        print(question + " No\n");
        return false;
    }
    print(question + " [y/N] ");
    auto answer = readLine();
    return answer && startsWithYes(*answer);
}

MultihomedAnswer ConsoleDialogs::ChooseLocalAddress(const std::vector<std::string>& addresses,
                                                    bool showAgain) {
    MultihomedAnswer answer;
    if (!interactive_) {
        return answer;  // as if closed: the first address
    }
    std::string text(kMultihomedTitle);
    text += '\n';
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        text += "  " + std::to_string(i + 1) + ") " + addresses[i] + "\n";
    }
    text += "Address [1]: ";
    print(text);
    auto line = readLine();
    if (!line) {
        return answer;
    }
    const auto number = LeadingDecimal(*line, addresses.size() + 1);
    answer.ok = true;
    answer.row = number >= 1 && number <= addresses.size() ? number - 1 : 0;
    print(std::string(kShowAgainLabel) + (showAgain ? "? [Y/n] " : "? [y/N] "));
    auto again = readLine();
    answer.showAgain = again && !again->empty() ? startsWithYes(*again) : showAgain;
    return answer;
}

std::optional<std::string> ConsoleDialogs::AskLocalAddress() {
    if (!interactive_) {
        return std::nullopt;  // Cancel
    }
    std::string text(kListeningAddressTitle);
    text += '\n';
    text.append(kListeningAddressText1);
    text += '\n';
    text.append(kListeningAddressText2);
    text += '\n';
    text.append(kListeningAddressLabel);
    text += " (empty to cancel): ";
    print(text);
    auto line = readLine();
    if (!line || line->empty()) {
        return std::nullopt;
    }
    return line;
}

}  // namespace client
