#pragma once

// Only FluidSynth's declarations are used: the library itself is loaded at run time, so a
// server that never plays music does not map it and the many libraries it depends on.
#include <fluidsynth.h>

#include <initializer_list>
#include <memory>

namespace server {

// Every FluidSynth function the music calls; one list, so the table and its loading agree.
#define RAVEN_FLUIDSYNTH_FUNCTIONS(X) \
    X(fluid_set_log_function)         \
    X(new_fluid_settings)             \
    X(delete_fluid_settings)          \
    X(fluid_settings_getstr_default)  \
    X(fluid_settings_setstr)          \
    X(new_fluid_synth)                \
    X(delete_fluid_synth)             \
    X(fluid_synth_sfload)             \
    X(fluid_synth_write_float)        \
    X(fluid_synth_system_reset)       \
    X(new_fluid_audio_driver)         \
    X(delete_fluid_audio_driver)      \
    X(fluid_is_midifile)              \
    X(new_fluid_player)               \
    X(delete_fluid_player)            \
    X(fluid_player_add)               \
    X(fluid_player_play)              \
    X(fluid_player_stop)              \
    X(fluid_player_get_status)

// FluidSynth's functions, resolved from a library opened with dlopen. Each member has the type
// of the function of the same name, taken from the header, so a mismatch fails to compile.
struct FluidSynthLibrary {
#define RAVEN_FLUIDSYNTH_MEMBER(name) decltype(&::name) name = nullptr;
    RAVEN_FLUIDSYNTH_FUNCTIONS(RAVEN_FLUIDSYNTH_MEMBER)
#undef RAVEN_FLUIDSYNTH_MEMBER

    // The process's FluidSynth, loaded by the first call (libfluidsynth.so.3, else
    // libfluidsynth.so) with its log silenced, and kept until the process ends; nullptr, at
    // every call, when it cannot be loaded.
    static const FluidSynthLibrary* Get();

    // Opens the first of the names that loads and resolves every function; nullptr when none
    // does. A library that loads is never unloaded: FluidSynth leaves threads and handlers
    // behind that would outlive its code.
    static std::unique_ptr<const FluidSynthLibrary> Open(std::initializer_list<const char*> names);
};

}  // namespace server
