#include "server/headless/headless_version_check.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/event_loop.h"
#include "platform/text_input.h"
#include "server/monitor/version_check.h"

namespace server {

namespace {

// The exchange has no time-out of its own; a script must not hang on a silent server.
constexpr auto kExchangeLimit = std::chrono::seconds(120);

class ConsoleVersionView final : public VersionCheckView {
  public:
    explicit ConsoleVersionView(platform::EventLoop& loop) : loop_(loop) {}

    void addLine(std::string_view text) override {
        std::fprintf(stdout, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    void setDownloadEnabled(bool enabled) override { downloadEnabled = enabled; }
    bool askYesNo(std::string_view question, bool) override {
        if (question == "Are you connected to the Internet ?") {
            return true;
        }
        std::fprintf(stderr, "%.*s [y/N] ", static_cast<int>(question.size()), question.data());
        if (::isatty(STDIN_FILENO) != 1) {
            std::fprintf(stderr, "N\n");
            return false;
        }
        const std::optional<std::string> line = platform::ReadLine(stdin);
        return line && !line->empty() && ((*line)[0] == 'y' || (*line)[0] == 'Y');
    }
    void messageBox(std::string_view text) override {
        std::fprintf(stderr, "ravendockd: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    void finished(bool completed) override {
        finishedCount += 1;
        lastCompleted = completed;
        loop_.post([this] { loop_.quit(); });
    }

    bool downloadEnabled = false;
    int finishedCount = 0;
    bool lastCompleted = false;

  private:
    platform::EventLoop& loop_;
};

}  // namespace

int RunHeadlessVersionCheck(platform::EventLoop& loop, const ServerSettings& settings,
                            platform::RegistryHive& hive) {
    ConsoleVersionView view(loop);
    VersionCheckDialog dialog(loop, settings, hive, view);
    bool timedOut = false;
    loop.addTimer(
        kExchangeLimit,
        [&] {
            timedOut = true;
            loop.quit();
        },
        false);
    if (!dialog.checkVersionCommand()) {
        return 1;
    }
    loop.run();
    if (!timedOut && view.lastCompleted && view.downloadEnabled && dialog.download()) {
        // The newer program: fetch it as the Download button would.
        loop.run();
    }
    dialog.close();
    if (timedOut) {
        std::fprintf(stderr, "ravendockd: the version server did not finish in time\n");
        return 1;
    }
    return view.lastCompleted ? 0 : 1;
}

}  // namespace server
