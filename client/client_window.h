#pragma once

#include <string_view>

namespace client {

// The window as the program's logic sees it. A desktop window implements it with its controls;
// console mode with lines and a progress bar on stderr. Everything is called on the event
// loop's thread.
class ClientWindow {
  public:
    virtual ~ClientWindow() = default;
    // The first pane of the status bar.
    virtual void ShowStatus(std::string_view text) = 0;
    // The progress bar, range 0 to 100.
    virtual void SetProgress(int position) = 0;
    // The document's title; the frame shows it, " - " and the program's title.
    virtual void SetTitle(std::string_view documentTitle) = 0;
    // The program changed fields of the transfer form (a shortened remote name, a block size).
    virtual void FormChanged() = 0;
    // Every transfer's end, automatic or not, before the program's own handling of it.
    virtual void TransferEnded(int /*code*/) {}
    // Closing the main window ends the program.
    virtual void Close() = 0;
};

}  // namespace client
