#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../support/message_recorder.h"
#include "../support/recording_front_end.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "qtcommon/engine_loop_bridge.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"

namespace setupqt {

using RecordingFrontEnd = testsupport::RecordingFrontEnd;

// Processes Qt events (and so the engine's loop through the bridge) until done() or about two
// seconds have passed.
inline bool pumpUntil(const std::function<bool()>& done, int milliseconds = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Saves a picture of the widget when RAVEN_SCREENSHOT_DIR names a folder.
inline void snap(QWidget* widget, const char* name) {
    const char* dir = std::getenv("RAVEN_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0') {
        return;
    }
    QApplication::processEvents();
    widget->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QLatin1String(name) +
                        QStringLiteral(".png"));
}

// A server on 127.0.0.1 with scratch in/out folders, its loop driven from Qt's.
class TestServer {
  public:
    TestServer() : bridge(loop) {
        char pattern[] = "/tmp/ravendock-setupqt-XXXXXX";
        root = ::mkdtemp(pattern);
        std::filesystem::create_directories(root + "/out");
        std::filesystem::create_directories(root + "/in");
        app.settings.OutPath = root + "/out/";
        app.settings.InPath = root + "/in/";
        app.settings.ADData = root + "/AllowDeny.dat";
        app.listenAddress = "127.0.0.1";
    }
    ~TestServer() {
        app.DestroyListener();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    // Listens on a port the kernel reports free.
    bool listen() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            platform::UdpSocket probe;
            if (!probe.open(0x7f000001, 0)) {
                return false;
            }
            app.settings.Port = std::to_string(probe.localEndpoint().port);
            probe.close();
            if (app.CreateListener()) {
                return true;
            }
        }
        return false;
    }
    static std::uint16_t freePort() {
        platform::UdpSocket probe;
        probe.open(0x7f000001, 0);
        return probe.localEndpoint().port;
    }

    platform::EventLoop loop;
    platform::ManualClock clock;
    testsupport::MessageRecorder dialogs;
    server::ServerApplication app{loop, clock, dialogs};
    qtcommon::EngineLoopBridge bridge;
    RecordingFrontEnd frontEnd;
    std::string root;
};

// Answers the message boxes that open from now on, in order: each is pictured, then the button
// with the given text is clicked.
class BoxAnswerer {
  public:
    struct Answer {
        QString button;
        const char* screenshot;
    };
    explicit BoxAnswerer(std::deque<Answer> answers) : answers_(std::move(answers)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    std::vector<QString> texts;
    bool done() const { return answers_.empty(); }

  private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || answers_.empty()) {
            return;
        }
        const Answer answer = answers_.front();
        answers_.pop_front();
        texts.push_back(box->text());
        snap(box, answer.screenshot);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')) == answer.button) {
                button->click();
                return;
            }
        }
        box->reject();
    }
    std::deque<Answer> answers_;
    QTimer timer_;
};

// A version server on 127.0.0.1 that answers each connection with the next body and closes.
class LocalHttpServer {
  public:
    LocalHttpServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LocalHttpServer() { ::close(fd_); }

    // Serves one connection with body, pumping Qt meanwhile. False when nobody came in time.
    bool serve(const std::string& body) {
        int peer = -1;
        if (!pumpUntil([&] { return (peer = ::accept(fd_, nullptr, nullptr)) >= 0; })) {
            return false;
        }
        std::string request;
        char buffer[256];
        pumpUntil([&] {
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                request.append(buffer, static_cast<std::size_t>(n));
            }
            return request.find("\r\n\r\n") != std::string::npos;
        });
        requests.push_back(request);
        ::send(peer, body.data(), body.size(), MSG_NOSIGNAL);
        ::close(peer);
        return true;
    }

    std::uint16_t port = 0;
    std::vector<std::string> requests;

  private:
    int fd_ = -1;
};

}  // namespace setupqt
