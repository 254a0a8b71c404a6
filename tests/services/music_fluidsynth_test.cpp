#include "server/services/music/music_fluidsynth.h"

#include <gtest/gtest.h>

#include <string>

#include "server/services/music/music_synth.h"

namespace {

TEST(FluidSynthLibraryTest, LoadsOnceWithEveryFunction) {
    const server::FluidSynthLibrary* library = server::FluidSynthLibrary::Get();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(server::FluidSynthLibrary::Get(), library);
#define RAVEN_EXPECT_RESOLVED(name) EXPECT_NE(library->name, nullptr) << #name;
    RAVEN_FLUIDSYNTH_FUNCTIONS(RAVEN_EXPECT_RESOLVED)
#undef RAVEN_EXPECT_RESOLVED
}

TEST(FluidSynthLibraryTest, MissingLibraryOrFunctionsGiveNothing) {
    EXPECT_EQ(server::FluidSynthLibrary::Open({}), nullptr);
    EXPECT_EQ(server::FluidSynthLibrary::Open({"libravendock-no-such-library.so.0"}), nullptr);
    // Loads, but is not FluidSynth.
    EXPECT_EQ(server::FluidSynthLibrary::Open({"libm.so.6"}), nullptr);
    // The names are tried in order until one serves.
    EXPECT_NE(server::FluidSynthLibrary::Open(
                  {"libravendock-no-such-library.so.0", "libm.so.6", "libfluidsynth.so.3"}),
              nullptr);
}

TEST(FluidSynthLibraryTest, NoBankWithoutTheLibrary) {
    const std::string soundFont = server::FindSoundFont();
    ASSERT_FALSE(soundFont.empty()) << "no General MIDI sound font installed";
    EXPECT_EQ(server::SoundBank::Load(soundFont, nullptr), nullptr);
    EXPECT_NE(server::SoundBank::Load(soundFont, server::FluidSynthLibrary::Get()), nullptr);
}

}  // namespace
