#include "server/headless/console_view.h"

#include "platform/clock.h"

namespace server {

void ConsoleView::onViewMessage(int message, int id, StatusReport& report) {
    switch (message) {
        case WM_CLIENTNEW:
            std::fprintf(out_, "%d new %s\n", id, report.text.c_str());
            break;
        case WM_CLIENTFILE:
            std::fprintf(out_, "%d file %s\n", id, report.text.c_str());
            break;
        case WM_CLIENTSTATUS: {
            if (report.total != 0) {
                const std::int64_t now = platform::monotonicMilliseconds();
                auto [it, fresh] = lastProgress_.try_emplace(id, now);
                const bool due = fresh || now - it->second >= 1000;
                if (due) {
                    it->second = now;
                    std::fprintf(out_, "%d progress %lld%% %lld\n", id,
                                 static_cast<long long>(report.done * 100 / report.total),
                                 static_cast<long long>(report.done));
                }
                report.total = 0;
            } else {
                std::fprintf(out_, "%d status %s\n", id, report.text.c_str());
            }
            break;
        }
        case WM_CLIENTRESULT:
            std::fprintf(out_, "%d result %s\n", id, report.text.c_str());
            break;
        case WM_CLIENTFINISHED:
            lastProgress_.erase(id);
            std::fprintf(out_, "%d finished\n", id);
            break;
        default:
            break;
    }
}

}  // namespace server
