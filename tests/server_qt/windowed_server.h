#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "qtcommon/engine_loop_bridge.h"
#include "server/config/server_program.h"
#include "server/qt/qt_front_end.h"
#include "server/qt/qt_server_dialogs.h"
#include "tests/server_qt/tftp_test_client.h"

namespace qttest {

// The settings word of the tests: the usual defaults, no splash.
inline constexpr std::uint32_t kTestFlags = 0x71e;

// The real program with its window on 127.0.0.1 and a free port, in a scratch folder that holds
// its hive, its log file and its outbound folder.
class WindowedServer {
  public:
    explicit WindowedServer(std::uint32_t flags = kTestFlags,
                            const std::function<void(platform::RegistryHive&)>& prepare = {});
    // Exit's order: the document closes, the view goes, the program ends.
    ~WindowedServer();

    // Pumps Qt (and so the engine) and the clients until done() or about five seconds.
    bool pumpUntil(const std::function<bool()>& done,
                   std::initializer_list<TftpTestClient*> clients = {});
    void writeOutFile(const std::string& name, std::size_t size);
    std::string logText() const;

    server::MainWindow& window() { return *frontEnd->window(); }
    server::CNewView& view() { return *frontEnd->view(); }
    server::ServerApplication& app() { return program->app(); }

    QTemporaryDir dir;
    std::string root;
    std::uint16_t port = 0;
    platform::EventLoop loop;
    platform::ManualClock clock{1'796'738'709};
    server::QtServerDialogs dialogs;
    std::unique_ptr<platform::RegistryHive> hive;
    std::unique_ptr<server::QtFrontEnd> frontEnd;
    std::unique_ptr<qtcommon::EngineLoopBridge> bridge;
    std::unique_ptr<server::ServerProgram> program;
    bool started = false;
    int closeRequests = 0;
};

}  // namespace qttest
