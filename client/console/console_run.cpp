#include "client/console/console_run.h"

#include <optional>

#include "client/command_line.h"
#include "platform/stop_signals.h"

namespace client {

namespace {

// Enough passes to deliver the notices posted by the transfer's last packets.
constexpr int kDrainPasses = 10;

}  // namespace

void PrintCommandLineHelp(std::FILE* out) {
    std::fputs(
        "Usage: merrowinc -Hip -Gfile|-Pfile [-Rfile] [-Oport] [-B|-A] [--blksize=N] "
        "[--timeout=N] [--send-timeout] [--headless] [--help]\n\n",
        out);
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
        // While the transfer runs, SIGINT and SIGTERM abort it as the Abort button does (a second
        // one, once it has ended, ends the run).
        std::optional<platform::StopSignals> signals;
        if (stopSignals) {
            signals.emplace();
            signals->watch(loop, [&app, &loop] {
                if (app.view().TransferActive()) {
                    app.view().OnAbort();
                } else {
                    loop.quit();
                }
            });
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
