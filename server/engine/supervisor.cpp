#include "server/engine/supervisor.h"

#include "platform/priority.h"
#include "server/engine/client_transfer.h"
#include "server/engine/manager.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"

namespace server {

namespace {
constexpr int kDefaultSpan = 30;
constexpr int kMaxRetries = 4;
}  // namespace

int Supervisor::globalSpanSeconds() {
    std::uint32_t span = leadingNumber(app_.settings.Timeout);
    if (span < 1 || span > 7200) {
        // Keep the stored text and the span in use in agreement from now on.
        app_.settings.Timeout = std::to_string(kDefaultSpan);
        return kDefaultSpan;
    }
    return static_cast<int>(span);
}

void Supervisor::Supervise() {
    const int globalSpan = globalSpanSeconds();
    CServerSocket* listener = app_.listener();
    std::lock_guard lock(app_.threadListMutex);
    if (listener == nullptr || listener->threads().empty()) {
        app_.CloseWaitDialogs();
        return;
    }
    const std::int64_t now = app_.clock().nowSeconds();
    auto& threads = listener->threads();
    for (auto it = threads.begin(); it != threads.end();) {
        CManager& manager = **it;
        ClientTransfer* transfer = manager.transfer();
        if (manager.stopMark() || transfer == nullptr) {
            it = threads.erase(it);
            continue;
        }
        const int span = transfer->timeout() != 0 ? transfer->timeout() : globalSpan;
        bool timedOut = false;
        if (transfer->active()) {
            if (now - transfer->lastActivity() <= span) {
                ++it;
                continue;
            }
            if (transfer->retries() > kMaxRetries) {
                timedOut = true;
            } else {
                transfer->setRetries(transfer->retries() + 1);
                transfer->setLastActivity(now);
                if (transfer->RetryTransfer()) {
                    ++it;
                    continue;
                }
            }
        }

        const int id = transfer->id();
        app_.NotifyView({TransferEvent::Finished, id, {}});
        std::string text = timedOut                          ? std::string("TimedOut")
                           : !transfer->resultText().empty() ? transfer->resultText()
                                                             : std::string("Finished");
        text += transfer->opcode() == 1 ? " : Sending" : " : Receiving";
        app_.NotifyView(
            {timedOut ? TransferEvent::TimedOut : TransferEvent::Result, id, std::move(text)});

        manager.StopTransfer();
        it = threads.erase(it);
    }
}

void Supervisor::AdjustPriorities() {
    CServerSocket* listener = app_.listener();
    const int count = listener != nullptr ? listener->clientCount() : 0;
    const std::uint32_t priority = app_.settings.nPriority;
    if (priority != lastPriority_ || count != lastClientCount_) {
        lastPriority_ = priority;
        lastClientCount_ = count;
        switch (priority) {
            case 0:
                platform::setCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
                break;
            case 1:
                platform::setCurrentThreadPriority(platform::ThreadPriority::Normal);
                break;
            case 2:
                platform::setCurrentThreadPriority(platform::ThreadPriority::AboveNormal);
                break;
            case 3:
                // Transfers have no threads of their own: all their work is the main thread's.
                if (count > 0) {
                    platform::setCurrentThreadPriority(platform::ThreadPriority::Normal);
                } else {
                    platform::setCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
                }
                break;
            default:
                break;
        }
    }
    if (count == 0 && app_.waitDialogOpen()) {
        app_.RestartListener(true);
    }
}

void SetProcessPriority(const ServerSettings& settings) {
    platform::setProcessPriorityHigh(settings.bRaisePriority);
}

}  // namespace server
