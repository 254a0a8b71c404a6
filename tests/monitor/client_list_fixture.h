#pragma once

#include <stdlib.h>
#include <time.h>

#include <string>
#include <vector>

#include "server/monitor/client_list.h"
#include "tests/engine/engine_harness.h"

namespace uitest {

// 2023-12-06 14:05:00 UTC.
inline constexpr std::int64_t kDec6At1405 = 1701871500;

// A client list on a real application (no listener until listen()), in UTC, with a captured
// timer and a log file in the scratch folder.
class ClientListTest : public enginetest::EngineTest {
  protected:
    ClientListTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        clock.set(kDec6At1405);
        app.settings.LogFile = root() + "/Ravendock.log";
        app.setViewObserver(&list);
        list.hooks.createTimer = [this](std::chrono::milliseconds, std::function<void()> onTick) {
            tick = std::move(onTick);
            return platform::EventLoop::TimerId{7};
        };
    }
    ~ClientListTest() override { app.setViewObserver(nullptr); }

    void message(server::TransferEvent event, int id, std::string text = {}) {
        list.onTransferNotice({event, id, std::move(text)});
    }
    const std::string& cell(std::size_t row, int column) const {
        return list.rows().at(row).cells[static_cast<std::size_t>(column)];
    }
    std::vector<std::string> clients() const {
        std::vector<std::string> out;
        for (const auto& row : list.rows()) {
            out.push_back(row.cells[server::kColumnClient]);
        }
        return out;
    }
    std::string logText() const { return readFile(app.settings.LogFile); }

    server::CNewView list{app};
    std::function<void()> tick;
};

}  // namespace uitest
