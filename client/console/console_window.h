#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "client/client_window.h"
#include "platform/event_loop.h"

namespace client {

// The window of console mode, on stderr. Messages and status texts are lines. The texts that
// follow every block are not: on a terminal they ride on a progress bar line redrawn a few times
// a second; otherwise only the last one is printed, when the next line comes or at the end.
class ConsoleWindow final : public ClientWindow {
  public:
    ConsoleWindow(platform::EventLoop& loop, std::FILE* out, bool terminal);

    void ShowStatus(std::string_view text) override;
    void SetProgress(int position) override;
    void SetTitle(std::string_view) override {}
    void FormChanged() override {}
    void Close() override;

    // Ends the bar's line, so the next output starts on a line of its own.
    void BreakLine();
    // Prints the last running text, if it was not printed yet.
    void Finish();

  private:
    void printLine(std::string_view text);
    void drawBar(bool force);

    platform::EventLoop& loop_;
    std::FILE* out_;
    bool terminal_;
    std::string running_;
    int position_ = -1;
    bool barShown_ = false;
    std::int64_t lastDraw_ = 0;
};

}  // namespace client
