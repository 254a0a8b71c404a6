#include "tests/server_qt/windowed_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <fstream>
#include <sstream>

#include "platform/udp_socket.h"
#include "server/engine/server_settings.h"

namespace qttest {

namespace {

std::uint16_t freePort() {
    platform::UdpSocket probe;
    probe.open(0x7f000001, 0);
    return probe.localEndpoint().port;
}

}  // namespace

WindowedServer::WindowedServer(std::uint32_t flags,
                               const std::function<void(platform::RegistryHive&)>& prepare)
    : root(dir.path().toStdString()) {
    QDir(dir.path()).mkpath("out");
    QDir(dir.path()).mkpath("in");
    port = freePort();
    hive = std::make_unique<platform::RegistryHive>(root + "/ravendockd.reg");
    hive->writeString(server::kSettingsKey, "OutPath", root + "/out/");
    hive->writeString(server::kSettingsKey, "InPath", root + "/in/");
    hive->writeString(server::kSettingsKey, "Port", std::to_string(port));
    hive->writeString(server::kSettingsKey, "LogFile", root + "/Ravendock.log");
    hive->writeDword(server::kSettingsKey, "bDelete", flags);
    if (prepare) {
        prepare(*hive);
    }
    hive->save();
    frontEnd = std::make_unique<server::QtFrontEnd>(*hive, dialogs);
    bridge = std::make_unique<qtcommon::EngineLoopBridge>(loop);
    program = std::make_unique<server::ServerProgram>(loop, clock, dialogs, *hive, *frontEnd);
    frontEnd->attach(program->app());
    started = program->InitInstance({root + "/ravendockd", "--listen=127.0.0.1"});
    if (started) {
        frontEnd->window()->onCloseRequested = [this] { ++closeRequests; };
        QTest::qWait(1);  // the window's first show
    }
}

WindowedServer::~WindowedServer() {
    frontEnd->closeDocument();
    frontEnd->destroyView();
    program->ExitInstance();
    frontEnd->destroyMainWindow();
    program.reset();
}

bool WindowedServer::pumpUntil(const std::function<bool()>& done,
                               std::initializer_list<TftpTestClient*> clients) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > 5000) {
            return false;
        }
        QTest::qWait(2);
        for (TftpTestClient* client : clients) {
            client->pump();
        }
    }
    return true;
}

void WindowedServer::writeOutFile(const std::string& name, std::size_t size) {
    std::ofstream out(root + "/out/" + name, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) {
        out.put(static_cast<char>('a' + i % 26));
    }
}

std::string WindowedServer::logText() const {
    std::ifstream in(root + "/Ravendock.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace qttest
