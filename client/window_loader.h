#pragma once

#include <optional>
#include <string>

namespace client {

// The window lives in a module of its own beside the program (or in ../lib/merrowinc/), so that
// console mode does not load Qt. The module's one entry takes the program's arguments and
// returns the end code, as the console run does.
inline constexpr const char* kWindowModuleName = "merrowinc-window.so";
inline constexpr const char* kWindowEntryName = "merrowinc_window_main";
using WindowEntry = int (*)(int argc, char** argv);

// Runs the window; nullopt when the module could not be loaded, with the reason in why.
std::optional<int> RunWindowModule(int argc, char** argv, std::string& why);

}  // namespace client
