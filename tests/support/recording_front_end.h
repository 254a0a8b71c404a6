#pragma once

#include <string>
#include <vector>

#include "server/config/server_front_end.h"

namespace testsupport {

// A front end with a window that records what is asked of the tray icon.
class RecordingFrontEnd final : public server::ServerFrontEnd {
  public:
    bool createMainWindow(bool) override { return true; }
    void addTrayIcon() override { calls.push_back("add"); }
    void removeTrayIcon() override { calls.push_back("remove"); }
    std::vector<std::string> calls;
};

}  // namespace testsupport
