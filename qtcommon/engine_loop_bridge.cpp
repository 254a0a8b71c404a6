#include "qtcommon/engine_loop_bridge.h"

#include <chrono>

#include "platform/event_loop.h"

namespace qtcommon {

namespace {
// While packets keep coming, the engine waits for the next one itself instead of going back
// through Qt's loop for each: one pass of Qt's dispatcher per datagram costs more than the
// datagram. Qt gets its turn after this much busy time, or as soon as the engine is idle.
constexpr auto kBusySlice = std::chrono::milliseconds(8);
// How long the engine waits for the next event before it hands back to Qt.
constexpr int kIdleWaitMs = 1;
}  // namespace

EngineLoopBridge::EngineLoopBridge(platform::EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.fd(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { dispatch(); });
}

void EngineLoopBridge::dispatch() {
    if (loop_.runOnce(0) == 0) {
        return;
    }
    const auto end = std::chrono::steady_clock::now() + kBusySlice;
    while (!loop_.quitRequested() && std::chrono::steady_clock::now() < end) {
        if (loop_.runOnce(kIdleWaitMs) == 0) {
            return;
        }
    }
}

}  // namespace qtcommon
