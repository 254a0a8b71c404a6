#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/event_loop.h"
#include "server/engine/server_dialogs.h"
#include "server/engine/server_settings.h"
#include "server/services/music/music_pick.h"
#include "server/services/music/music_synth.h"

namespace server {

inline constexpr std::string_view kMusicMenuText = "&Music\tF12";

struct MusicOptions {
    std::string soundFont;  // empty: FindSoundFont() at each open
    // A fresh output for each file; empty: the desktop's sound through FluidSynth's default
    // audio driver.
    std::function<std::unique_ptr<MidiOutput>()> makeOutput;
    RandomBit randomBit;  // empty: SystemRandomBit()
    // The FluidSynth to play through, asked for when a sound bank is loaded; nullptr: it cannot
    // be loaded. Empty: FluidSynthLibrary::Get(), which loads it at its first call.
    std::function<const FluidSynthLibrary*()> fluidSynth;
};

// The main window's background music (F12): random ".mid" files from the program's folder, one
// after another while the music flag is on. Lives on the main thread; the end of each file
// arrives there through the event loop.
class MusicPlayer {
  public:
    MusicPlayer(platform::EventLoop& loop, const ServerSettings& settings, ServerDialogs& dialogs,
                MusicOptions options = {});
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Flips the flag: turning on starts a random file, turning off closes the device.
    void ToggleMusic();

    bool musicOn() const { return musicOn_; }
    // A device is open (a file plays).
    bool playing() const { return device_ != nullptr; }
    // The file of the open device, empty when none.
    const std::string& currentFile() const { return currentFile_; }
    // Files that reached playing, counted since construction.
    std::uint64_t filesStarted() const { return filesStarted_; }

  private:
    void PlayRandomMidi();
    void OnPlayEnded(std::uint64_t deviceId);
    void CloseDevice();

    platform::EventLoop& loop_;
    const ServerSettings& settings_;
    ServerDialogs& dialogs_;
    MusicOptions options_;
    bool musicOn_ = false;
    std::unique_ptr<SoundBank> bank_;
    std::unique_ptr<MidiDevice> device_;
    std::string currentFile_;
    // Tells a late end notice of a closed device from one of the device now open.
    std::uint64_t deviceId_ = 0;
    std::uint64_t filesStarted_ = 0;
    // Posted notices hold it weakly, so none runs after the player is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace server
