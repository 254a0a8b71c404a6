#pragma once

#include <string>

namespace server {

// What start-up and shut-down ask of whatever shows the server: a window or the console.
class ServerFrontEnd {
  public:
    virtual ~ServerFrontEnd() = default;
    virtual void enableSplash() {}
    // Creates the document, main window and client list view; false when there is no window.
    virtual bool createMainWindow(bool minimised) = 0;
    virtual void addTrayIcon() {}
    virtual void removeTrayIcon() {}
    // The document closes: its client list goes to the log.
    virtual void closeDocument() {}
    virtual void closeAboutSheet() {}
    // At start, once the window is up: which folders are served (the window's status line, or
    // the console's error stream).
    virtual void showServedFolders(const std::string& /*text*/) {}
};

}  // namespace server
