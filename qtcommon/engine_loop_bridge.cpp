#include "qtcommon/engine_loop_bridge.h"

#include "platform/event_loop.h"

namespace qtcommon {

EngineLoopBridge::EngineLoopBridge(platform::EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.fd(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { dispatch(); });
}

void EngineLoopBridge::dispatch() {
    loop_.runOnce(0);
}

}  // namespace qtcommon
