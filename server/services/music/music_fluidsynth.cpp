#include "server/services/music/music_fluidsynth.h"

#include <dlfcn.h>

namespace server {

namespace {

template <typename Function>
bool resolve(void* library, const char* name, Function& slot) {
    void* address = ::dlsym(library, name);
    if (address == nullptr) {
        return false;
    }
    slot = reinterpret_cast<Function>(address);
    return true;
}

}  // namespace

std::unique_ptr<const FluidSynthLibrary> FluidSynthLibrary::Open(
    std::initializer_list<const char*> names) {
    for (const char* name : names) {
        void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            continue;
        }
        auto table = std::make_unique<FluidSynthLibrary>();
        bool complete = true;
#define RAVEN_FLUIDSYNTH_RESOLVE(function) \
    complete = complete && resolve(library, #function, table->function);
        RAVEN_FLUIDSYNTH_FUNCTIONS(RAVEN_FLUIDSYNTH_RESOLVE)
#undef RAVEN_FLUIDSYNTH_RESOLVE
        if (complete) {
            return table;
        }
        // Too old or not FluidSynth at all: nothing of it was called, so it can go.
        ::dlclose(library);
    }
    return nullptr;
}

const FluidSynthLibrary* FluidSynthLibrary::Get() {
    // Released on purpose: the table must stay valid for threads still running at exit.
    static const FluidSynthLibrary* const loaded = [] {
        std::unique_ptr<const FluidSynthLibrary> opened =
            Open({"libfluidsynth.so.3", "libfluidsynth.so"});
        if (opened) {
            // The server keeps no diagnostic log, and a failed open is meant to stay silent.
            for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
                opened->fluid_set_log_function(level, nullptr, nullptr);
            }
        }
        return opened.release();
    }();
    return loaded;
}

}  // namespace server
