#include "server/services/music/music_player.h"

#include <utility>

#include "server/services/music/music_fluidsynth.h"

namespace server {

MusicPlayer::MusicPlayer(platform::EventLoop& loop, const ServerSettings& settings,
                         ServerDialogs& dialogs, MusicOptions options)
    : loop_(loop), settings_(settings), dialogs_(dialogs), options_(std::move(options)) {
    if (!options_.randomBit) {
        options_.randomBit = SystemRandomBit();
    }
    if (!options_.makeOutput) {
        options_.makeOutput = [] { return std::make_unique<AudioDriverOutput>(); };
    }
    if (!options_.fluidSynth) {
        options_.fluidSynth = &FluidSynthLibrary::Get;
    }
}

MusicPlayer::~MusicPlayer() {
    CloseDevice();
}

void MusicPlayer::ToggleMusic() {
    musicOn_ = !musicOn_;
    if (musicOn_) {
        PlayRandomMidi();
    } else {
        CloseDevice();
        // The sound font is large; it is loaded again when the music comes back.
        bank_.reset();
    }
}

void MusicPlayer::PlayRandomMidi() {
    const std::string path = PickRandomMidi(settings_.Location, dialogs_, options_.randomBit);
    if (path.empty()) {
        return;
    }
    if (!bank_) {
        const std::string font = options_.soundFont.empty() ? FindSoundFont() : options_.soundFont;
        // Without a font there is nothing to play, so FluidSynth is not worth loading.
        bank_ = font.empty() ? nullptr : SoundBank::Load(font, options_.fluidSynth());
        if (!bank_) {
            return;
        }
    }
    device_ = MidiDevice::Open(*bank_, path);
    if (!device_) {
        return;
    }
    currentFile_ = path;
    const std::uint64_t id = ++deviceId_;
    if (!device_->QueryOutputPort(options_.makeOutput())) {
        CloseDevice();
        return;
    }
    const bool started = device_->Play([this, id, alive = std::weak_ptr<int>(alive_)] {
        // On the device's thread: hand the notice to the main thread.
        loop_.post([this, id, alive] {
            if (alive.lock()) {
                OnPlayEnded(id);
            }
        });
    });
    if (!started) {
        CloseDevice();
        return;
    }
    ++filesStarted_;
}

void MusicPlayer::OnPlayEnded(std::uint64_t deviceId) {
    if (!device_ || deviceId != deviceId_) {
        return;
    }
    CloseDevice();
    if (musicOn_) {
        PlayRandomMidi();
    }
}

void MusicPlayer::CloseDevice() {
    device_.reset();
    currentFile_.clear();
}

}  // namespace server
