#pragma once

#include <cstdio>
#include <memory>

#include "server/config/server_front_end.h"
#include "server/headless/console_client_list_printer.h"
#include "server/monitor/client_list.h"
#include "server/monitor/icmp_monitor.h"
#include "server/monitor/icmp_report.h"
#include "server/services/icmp/icmp_socket.h"

namespace platform {
class RegistryHive;
}

namespace server {

class ServerApplication;

// Without a window the client list model is the view, and every change of a row is a line on
// stdout. The application must stop using the view before this is destroyed.
class HeadlessFrontEnd final : public ServerFrontEnd {
  public:
    // Rows go to out; notes for the operator to err.
    HeadlessFrontEnd(std::FILE* out, std::FILE* err, const platform::RegistryHive& hive)
        : out_(out), err_(err), hive_(hive) {}

    // Must be called before start-up creates the main window.
    void attach(ServerApplication& app) { app_ = &app; }

    bool createMainWindow(bool minimised) override;
    void closeDocument() override;
    void showServedFolders(const std::string& text) override;

    CNewView* view() { return view_.get(); }
    // The window goes before the application: the view still uses the application's loop.
    void destroyMainWindow();

  private:
    std::FILE* out_;
    std::FILE* err_;
    const platform::RegistryHive& hive_;
    ServerApplication* app_ = nullptr;
    std::unique_ptr<ConsoleClientListPrinter> printer_;
    std::unique_ptr<CNewView> view_;
    std::unique_ptr<ConsoleIcmpPrinter> icmpPrinter_;
    std::unique_ptr<IcmpMonitor> icmp_;
};

}  // namespace server
