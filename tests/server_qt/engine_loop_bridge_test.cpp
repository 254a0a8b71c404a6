// The engine's loop under Qt's: a burst is taken in one activation, and a busy engine still
// leaves Qt its turn.
#include "qtcommon/engine_loop_bridge.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "tests/server_qt/qt_tests.h"

namespace qttest {

void EngineLoopBridgeTest::aBurstIsTakenInOneActivation() {
    platform::EventLoop loop;
    qtcommon::EngineLoopBridge bridge(loop);
    platform::UdpSocket receiver;
    platform::UdpSocket sender;
    QVERIFY(receiver.open(0x7f000001, 0));
    QVERIFY(sender.open(0x7f000001, 0));
    int received = 0;
    // One datagram per callback, as a transfer in lock-step takes them.
    QVERIFY(loop.watchReadable(receiver.fd(), [&] {
        char byte = 0;
        platform::Ipv4Endpoint from;
        if (receiver.receiveFrom(&byte, 1, from) >= 0) {
            ++received;
        }
    }));
    constexpr int kBurst = 40;
    for (int i = 0; i < kBurst; ++i) {
        const char byte = 'x';
        QVERIFY(sender.sendTo(&byte, 1, receiver.localEndpoint()));
    }
    QTimer wakeUp;  // so that no wait below can last
    wakeUp.start(100);
    QElapsedTimer waited;
    waited.start();
    while (received == 0 && waited.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCOMPARE(received, kBurst);
}

void EngineLoopBridgeTest::aBusyEngineLeavesQtItsTurn() {
    platform::EventLoop loop;
    qtcommon::EngineLoopBridge bridge(loop);
    bool qtRan = false;
    bool asked = false;
    // Always something due: the engine never runs out of work by itself. Qt's work is asked
    // for from inside the engine's, so it can only run once the engine hands back.
    const auto timer = loop.addTimer(std::chrono::milliseconds(1), [&] {
        if (!asked) {
            asked = true;
            QTimer::singleShot(0, [&] { qtRan = true; });
        }
    });
    QVERIFY(timer != 0);
    QTimer wakeUp;  // so that no wait below can last
    wakeUp.start(100);
    QElapsedTimer waited;
    waited.start();
    while (!qtRan && waited.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    loop.cancelTimer(timer);
    QVERIFY(qtRan);
    QVERIFY(waited.elapsed() < 500);
}

}  // namespace qttest
