// The entry of the window module, which merrowinc loads only when it opens its window: the
// console mode then never maps Qt and its libraries.

#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "client/client_app.h"
#include "client/qt/window_run.h"
#include "client/window_loader.h"

extern "C" __attribute__((visibility("default"))) int merrowinc_window_main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv, argv + argc);
        return clientqt::RunWindowProgram(argc, argv, args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "merrowinc: %s\n", e.what());
        return client::kExitNotCompleted;
    }
}

static_assert(std::is_same_v<decltype(&merrowinc_window_main), client::WindowEntry>);
