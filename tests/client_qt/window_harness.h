#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/client_app.h"
#include "client/ini_profile.h"
#include "client/qt/main_frame.h"
#include "client/qt/qt_client_dialogs.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "qtcommon/engine_loop_bridge.h"

namespace windowtest {

constexpr std::uint32_t kLoopback = 0x7f000001;

inline client::LocalHost loopbackHost() {
    client::LocalHost host;
    host.name = [] { return std::optional<std::string>("testhost"); };
    host.addresses = [] { return std::vector<std::uint32_t>{kLoopback}; };
    return host;
}

// A port the kernel just handed out and took back, for a server started by the test.
inline std::uint16_t freeUdpPort() {
    platform::UdpSocket probe;
    probe.open(kLoopback, 0);
    return probe.localEndpoint().port;
}

inline QByteArray pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    std::uint32_t x = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The built headless ravendockd on 127.0.0.1, serving out/ and storing into in/ of its folder.
class ServerProcess {
  public:
    ServerProcess() : port_(freeUdpPort()) {
        QDir(dir_.path()).mkpath("out");
        QDir(dir_.path()).mkpath("in");
        QDir(dir_.path()).mkpath("config");
        const QString reg = QString(
                                "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]\n"
                                "\"OutPath\"=\"%1/\"\n\"InPath\"=\"%2/\"\n\"Port\"=\"%3\"\n"
                                "\"Timeout\"=\"5\"\n\"bDelete\"=dword:0000070e\n"
                                "\"nSliders\"=dword:00000065\n")
                                .arg(outDir(), inDir())
                                .arg(port_);
        writeFile(dir_.filePath("config/ravendockd.reg"), reg.toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(dir_.path());
        process_.setReadChannel(QProcess::StandardError);
        process_.start(RAVENDOCKD_PATH, {"--headless", "--listen=127.0.0.1"});
        QByteArray err;
        for (int i = 0; i < 100 && !err.contains("listening on"); ++i) {
            process_.waitForReadyRead(100);
            err += process_.readAllStandardError();
        }
        ready_ = err.contains("listening on");
    }
    ~ServerProcess() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }
    bool ready() const { return ready_; }
    // A file of size patterned bytes in the served folder; returns its bytes.
    QByteArray offer(const QString& name, int size, int seed) const {
        const QByteArray bytes = pattern(size, seed);
        writeFile(outDir() + "/" + name, bytes);
        return bytes;
    }
    std::uint16_t port() const { return port_; }
    QString outDir() const { return dir_.filePath("out"); }
    QString inDir() const { return dir_.filePath("in"); }

  private:
    QTemporaryDir dir_;
    std::uint16_t port_;
    QProcess process_;
    bool ready_ = false;
};

// The window as the program runs it, with the profile in a folder of the test's own and the
// loopback address as the host's only one.
struct WindowRig {
    explicit WindowRig(std::vector<std::string> args = {"merrowinc"})
        : profile(dir.filePath("merrowinc.ini").toStdString()),
          app(loop, clock, dialogs, profile, loopbackHost()),
          bridge(loop),
          frame(app, profile) {
        dialogs.SetParentWidget(&frame);
        frame.show();
        frame.StartUp([&] { app.InitInstance(frame, args); });
    }
    // The folder with its trailing separator, as the settings hold folders.
    std::string folder(const QString& name) const {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name).toStdString() + "/";
    }
    void fill(std::uint16_t port, const QString& localName) {
        clientqt::FormPanel& form = *frame.form();
        form.host->setText("127.0.0.1");
        form.port->setText(QString::number(port));
        QTest::keyClicks(form.localName, localName);  // the remote name follows
    }

    QTemporaryDir dir;
    platform::EventLoop loop;
    platform::SystemClock clock;
    clientqt::QtClientDialogs dialogs;
    client::IniProfile profile;
    client::CMerrowinApp app;
    qtcommon::EngineLoopBridge bridge;
    clientqt::CMainFrame frame;
};

// Runs act on the next modal dialog of type T once it shows (bounded in time).
template <typename T>
void onModal(std::function<void(T&)> act) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, act] {
        if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        } else if (++*tries > 200) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

// Where screenshots go when RAVEN_SCREENSHOTS names a folder; nothing otherwise.
void screenshot(QWidget& widget, const QString& name);

}  // namespace windowtest
