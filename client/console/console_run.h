#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "client/client_app.h"
#include "client/command_line.h"
#include "client/console/console_window.h"
#include "platform/event_loop.h"

namespace client {

// The program in console mode, from the command line to the exit status. Without -H, -G and -P
// (or with --help) it prints the command-line help on helpOut and ends with 0; a command line
// that asks for a transfer it cannot start as written ends with 2 and says why on errOut;
// otherwise it runs the automatic transfer to its end and returns its exit status
// (ExitStatusForEnd). No one can close a console run by hand, so an automatic transfer that
// never sent its request ends with 254 even when a check of the form refused it (a window would
// stay open instead).
// With stopSignals, SIGINT and SIGTERM during the transfer abort it as the Abort button does
// (ERROR 8 to the server, end code 8).
int RunConsole(CMerrowinApp& app, ConsoleWindow& window, platform::EventLoop& loop,
               const std::vector<std::string>& args, std::FILE* helpOut, std::FILE* errOut,
               bool stopSignals = false);

void PrintCommandLineHelp(std::FILE* out);

// What must happen before anything starts: --help or --version print on out and give 0; an
// unknown long option prints why and the usage line on err and gives 2. Nothing otherwise.
std::optional<int> AnswerBeforeStart(const ClientCommandLine& commandLine, std::FILE* out,
                                     std::FILE* err);

}  // namespace client
