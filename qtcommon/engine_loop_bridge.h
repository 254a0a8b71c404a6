#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace platform {
class EventLoop;
}

namespace qtcommon {

// Runs the engine's event loop inside Qt's: the engine's single descriptor is watched by a
// socket notifier, and once it is readable the engine runs its own loop for a slice of a few
// milliseconds before Qt's loop gets its turn again. Timers stay the engine's own. Nested Qt loops
// (modal dialogs) keep transfers going, because Qt delivers socket notifications there too.
class EngineLoopBridge final : public QObject {
  public:
    explicit EngineLoopBridge(platform::EventLoop& loop, QObject* parent = nullptr);

  private:
    void dispatch();

    platform::EventLoop& loop_;
    QSocketNotifier notifier_;
};

}  // namespace qtcommon
