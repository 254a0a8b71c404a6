#include "qtcommon/engine_loop_bridge.h"

#include <chrono>

#include "platform/event_loop.h"

namespace qtcommon {

namespace {
// Once the engine has work, it waits for its next event itself for this long instead of going
// back through Qt's loop after each: one pass of Qt's dispatcher per datagram costs more than
// the datagram. Qt's own events (input, painting) wait at most this long.
constexpr auto kEngineSlice = std::chrono::milliseconds(8);
}  // namespace

EngineLoopBridge::EngineLoopBridge(platform::EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.fd(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { dispatch(); });
}

void EngineLoopBridge::dispatch() {
    // The loop outlives this bridge, which a callback may delete.
    platform::EventLoop& loop = loop_;
    if (loop.runOnce(0) == 0) {
        return;
    }
    // One timer per slice rather than a time-out per wait: arming a time-out for every
    // datagram costs as much as the rest of the wait.
    bool sliceOver = false;
    const auto timer = loop.addTimer(
        kEngineSlice, [&sliceOver] { sliceOver = true; }, false);
    if (timer == 0) {
        return;
    }
    while (!sliceOver && !loop.quitRequested()) {
        loop.runOnce(-1);
    }
    loop.cancelTimer(timer);
}

}  // namespace qtcommon
