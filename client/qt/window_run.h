#pragma once

#include <string>
#include <vector>

#include "client/client_app.h"
#include "client/ini_profile.h"
#include "client/qt/qt_client_dialogs.h"
#include "platform/event_loop.h"

namespace clientqt {

// The program with its window, from the command line to the exit status (exitCode of the
// application): the window shows the stored values, the command line may start the automatic
// transfer, and the program ends when the window closes, by the user or at the end of that
// transfer. A QApplication must exist.
int RunWindow(client::CMerrowinApp& app, platform::EventLoop& loop, client::IniProfile& profile,
              QtClientDialogs& dialogs, const std::vector<std::string>& args);

// The whole program in window mode: the Qt application, the settings and the system's addresses.
int RunWindowProgram(int argc, char** argv, const std::vector<std::string>& args);

}  // namespace clientqt
