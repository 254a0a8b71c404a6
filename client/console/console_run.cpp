#include "client/console/console_run.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <optional>

#include "client/command_line.h"

namespace client {

namespace {

// Enough passes to deliver the notices posted by the transfer's last packets.
constexpr int kDrainPasses = 10;

// While it lives, SIGINT and SIGTERM arrive as a readable descriptor on the event loop, so the
// abort runs on the loop's thread like any other command.
class StopSignals {
  public:
    StopSignals(platform::EventLoop& loop, CMerrowinApp& app) : loop_(loop) {
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGINT);
        sigaddset(&mask, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &mask, &old_);
        fd_ = ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
        if (fd_ < 0) {
            return;
        }
        loop_.watchReadable(fd_, [this, &app] {
            signalfd_siginfo info{};
            while (::read(fd_, &info, sizeof info) == sizeof info) {
            }
            if (app.view().TransferActive()) {
                app.view().OnAbort();
            } else {
                loop_.quit();
            }
        });
    }
    ~StopSignals() {
        if (fd_ >= 0) {
            loop_.unwatch(fd_);
            ::close(fd_);
        }
        ::sigprocmask(SIG_SETMASK, &old_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    platform::EventLoop& loop_;
    sigset_t old_{};
    int fd_ = -1;
};

constexpr const char* kUsage =
    "Usage: merrowinc -Hip -Gfile|-Pfile [-Rfile] [-Oport] [-B|-A] [--blksize=N] "
    "[--timeout=N] [--send-timeout] [--headless] [--help] [--version]\n";

}  // namespace

void PrintCommandLineHelp(std::FILE* out) {
    std::fprintf(out, "%s\n", kUsage);
    for (std::string_view text : CommandLineHelpTexts()) {
        std::fprintf(out, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    std::fputs("\n", out);
    for (std::string_view text : ExtensionHelpTexts()) {
        std::fprintf(out, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    std::fputs("\nExit status:\n", out);
    for (std::string_view text : ExitStatusHelpTexts()) {
        std::fprintf(out, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    std::fflush(out);
}

std::optional<int> AnswerBeforeStart(const ClientCommandLine& commandLine, std::FILE* out,
                                     std::FILE* err) {
    if (commandLine.help) {
        PrintCommandLineHelp(out);
        return kExitCompleted;
    }
    if (commandLine.version) {
        std::fputs("merrowinc " RAVEN_VERSION "\n", out);
        return kExitCompleted;
    }
    if (commandLine.unknownLongOptions.empty()) {
        return std::nullopt;
    }
    for (const std::string& option : commandLine.unknownLongOptions) {
        std::fprintf(err, "merrowinc: unknown option %s\n", option.c_str());
    }
    std::fputs(kUsage, err);
    return kExitCommandLine;
}

int RunConsole(CMerrowinApp& app, ConsoleWindow& window, platform::EventLoop& loop,
               const std::vector<std::string>& args, std::FILE* helpOut, std::FILE* errOut,
               bool stopSignals) {
    const ClientCommandLine commandLine = ParseClientCommandLine(args);
    if (commandLine.help) {
        PrintCommandLineHelp(helpOut);
        return kExitCompleted;
    }
    // Checked before anything starts or is stored: a script learns at once what to mend.
    if (const std::string problem = CommandLineProblem(commandLine); !problem.empty()) {
        std::fprintf(errOut, "merrowinc: %s (see merrowinc --help)\n", problem.c_str());
        return kExitCommandLine;
    }
    app.InitInstance(window, args);
    if (!app.automatic) {
        PrintCommandLineHelp(helpOut);
        return app.ExitInstance();
    }
    if (app.automaticStart() == StartResult::Started) {
        std::optional<StopSignals> signals;
        if (stopSignals) {
            signals.emplace(loop, app);
        }
        loop.run();
    }
    for (int pass = 0; pass < kDrainPasses && loop.runOnce(0) > 0; ++pass) {
    }
    window.Finish();
    if (app.automaticStart() != StartResult::Started && app.exitCode == kExitCompleted) {
        app.exitCode = kExitNotCompleted;
    }
    return app.ExitInstance();
}

}  // namespace client
