#include "client/console/console_window.h"

#include "platform/ascii_text.h"
#include "platform/clock.h"

namespace client {

namespace {

constexpr int kBarWidth = 30;
constexpr std::int64_t kRedrawMilliseconds = 100;

// The texts every block brings; the one with " - Done" is the final one and stays a line.
bool isRunningText(std::string_view text) {
    if (text.starts_with("Received ")) {
        return !text.ends_with(" - Done");
    }
    return text.starts_with("Sent ") || text.starts_with("ReSent ");
}

}  // namespace

ConsoleWindow::ConsoleWindow(platform::EventLoop& loop, std::FILE* out, bool terminal)
    : loop_(loop), out_(out), terminal_(terminal) {}

void ConsoleWindow::BreakLine() {
    if (barShown_) {
        std::fputs("\n", out_);
        barShown_ = false;
    }
}

void ConsoleWindow::printLine(std::string_view text) {
    if (barShown_) {
        std::fputs("\r\033[K", out_);
        barShown_ = false;
    }
    const std::string line = platform::PrintableText(text);
    std::fprintf(out_, "merrowinc: %s\n", line.c_str());
    std::fflush(out_);
}

void ConsoleWindow::ShowStatus(std::string_view text) {
    if (isRunningText(text)) {
        running_.assign(text);
        if (terminal_) {
            drawBar(false);
        }
        return;
    }
    // The last running text says how far the transfer came, unless this line repeats it.
    if (!running_.empty() && !text.starts_with(running_)) {
        printLine(running_);
    }
    running_.clear();
    printLine(text);
}

void ConsoleWindow::SetProgress(int position) {
    position_ = position;
    if (terminal_) {
        drawBar(position >= 100);
    }
}

void ConsoleWindow::drawBar(bool force) {
    const std::int64_t now = platform::monotonicMilliseconds();
    if (!force && barShown_ && now - lastDraw_ < kRedrawMilliseconds) {
        return;
    }
    lastDraw_ = now;
    const int position = position_ < 0 ? 0 : (position_ > 100 ? 100 : position_);
    char bar[kBarWidth + 1];
    const int filled = position * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i) {
        bar[i] = i < filled ? '#' : '.';
    }
    bar[kBarWidth] = '\0';
    const std::string text = platform::PrintableText(running_);
    if (position_ >= 0) {
        std::fprintf(out_, "\r[%s] %3d%%  %s\033[K", bar, position, text.c_str());
    } else {
        std::fprintf(out_, "\r%s\033[K", text.c_str());
    }
    std::fflush(out_);
    barShown_ = true;
}

void ConsoleWindow::Finish() {
    if (!running_.empty()) {
        printLine(running_);
        running_.clear();
    }
    BreakLine();
}

void ConsoleWindow::Close() {
    loop_.quit();
}

}  // namespace client
