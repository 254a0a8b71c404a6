#include "server/services/music/music_synth.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "server/services/music/music_fluidsynth.h"

namespace server {

struct SoundBank::Handles {
    explicit Handles(const FluidSynthLibrary& library) : fs(library) {}
    ~Handles() {
        if (synth != nullptr) {
            fs.delete_fluid_synth(synth);
        }
        if (settings != nullptr) {
            fs.delete_fluid_settings(settings);
        }
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    // Everything made from this bank calls FluidSynth through the table that made the bank.
    const FluidSynthLibrary& fs;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
};

struct FluidPlayer {
    FluidPlayer(const FluidSynthLibrary& library, fluid_player_t* made)
        : fs(library), player(made) {}
    ~FluidPlayer() { fs.delete_fluid_player(player); }
    FluidPlayer(const FluidPlayer&) = delete;
    FluidPlayer& operator=(const FluidPlayer&) = delete;
    const FluidSynthLibrary& fs;
    fluid_player_t* player;
};

struct FluidAudioDriver {
    FluidAudioDriver(const FluidSynthLibrary& library, fluid_audio_driver_t* made)
        : fs(library), driver(made) {}
    ~FluidAudioDriver() { fs.delete_fluid_audio_driver(driver); }
    FluidAudioDriver(const FluidAudioDriver&) = delete;
    FluidAudioDriver& operator=(const FluidAudioDriver&) = delete;
    const FluidSynthLibrary& fs;
    fluid_audio_driver_t* driver;
};

namespace {

constexpr std::array<const char*, 5> kSoundFontPaths = {
    "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/default.sf2",
    "/usr/share/soundfonts/FluidR3_GM.sf2",
};

// How often the device looks whether its file has ended; FluidSynth has no end callback.
constexpr std::chrono::milliseconds kEndPoll{20};
constexpr int kRenderBlockFrames = 512;

std::uint32_t bigEndian(const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// FluidSynth reads a file only once it plays it, and a damaged one then ends at once, which
// would start the next pick straight away, again and again. Checking that the header and every
// track it announces are complete refuses such a file at open, as a sequencer would.
bool hasCompleteTracks(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    in.seekg(0);
    std::array<unsigned char, 14> header{};
    if (!in.read(reinterpret_cast<char*>(header.data()), header.size()) ||
        std::memcmp(header.data(), "MThd", 4) != 0) {
        return false;
    }
    const std::uint32_t headerLength = bigEndian(&header[4], 4);
    const std::uint32_t tracks = bigEndian(&header[10], 2);
    std::streamoff at = 8 + static_cast<std::streamoff>(headerLength);
    if (headerLength < 6 || tracks == 0) {
        return false;
    }
    // Each chunk moves on by at least its 8-byte head, so the walk ends within the file.
    std::uint32_t found = 0;
    while (found < tracks) {
        std::array<unsigned char, 8> chunk{};
        if (at + 8 > size || !in.seekg(at) ||
            !in.read(reinterpret_cast<char*>(chunk.data()), chunk.size())) {
            return false;
        }
        at += 8 + static_cast<std::streamoff>(bigEndian(&chunk[4], 4));
        if (at > size) {
            return false;
        }
        found += std::memcmp(chunk.data(), "MTrk", 4) == 0 ? 1 : 0;
    }
    return true;
}

}  // namespace

std::string FindSoundFont() {
    if (const char* chosen = std::getenv(kSoundFontVariable); chosen != nullptr && *chosen) {
        return chosen;
    }
    for (const char* path : kSoundFontPaths) {
        if (::access(path, R_OK) == 0) {
            return path;
        }
    }
    return {};
}

SoundBank::SoundBank(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
SoundBank::~SoundBank() = default;

std::unique_ptr<SoundBank> SoundBank::Load(const std::string& soundFontPath,
                                           const FluidSynthLibrary* library) {
    if (library == nullptr || soundFontPath.empty()) {
        return nullptr;
    }
    const FluidSynthLibrary& fs = *library;
    auto handles = std::make_unique<Handles>(fs);
    handles->settings = fs.new_fluid_settings();
    if (handles->settings == nullptr) {
        return nullptr;
    }
    handles->synth = fs.new_fluid_synth(handles->settings);
    if (handles->synth == nullptr ||
        fs.fluid_synth_sfload(handles->synth, soundFontPath.c_str(), 1) == FLUID_FAILED) {
        return nullptr;
    }
    return std::unique_ptr<SoundBank>(new SoundBank(std::move(handles)));
}

void SoundBank::renderInterleaved(float* out, int frames) {
    handles_->fs.fluid_synth_write_float(handles_->synth, frames, out, 0, 2, out, 1, 2);
}

void SoundBank::reset() {
    handles_->fs.fluid_synth_system_reset(handles_->synth);
}

AudioDriverOutput::AudioDriverOutput(AudioDriverOptions options) : options_(std::move(options)) {}
AudioDriverOutput::~AudioDriverOutput() {
    stop();
}

bool AudioDriverOutput::start(SoundBank& bank) {
    stop();
    const FluidSynthLibrary& fs = bank.handles().fs;
    fluid_settings_t* settings = bank.handles().settings;
    std::string driver = options_.driver;
    if (driver.empty()) {
        char* standard = nullptr;
        if (fs.fluid_settings_getstr_default(settings, "audio.driver", &standard) != FLUID_OK ||
            standard == nullptr) {
            return false;
        }
        driver = standard;
    }
    if (fs.fluid_settings_setstr(settings, "audio.driver", driver.c_str()) != FLUID_OK) {
        return false;
    }
    if (!options_.fileName.empty() &&
        fs.fluid_settings_setstr(settings, "audio.file.name", options_.fileName.c_str()) !=
            FLUID_OK) {
        return false;
    }
    fluid_audio_driver_t* made = fs.new_fluid_audio_driver(settings, bank.handles().synth);
    if (made == nullptr) {
        return false;
    }
    driver_ = std::make_unique<FluidAudioDriver>(fs, made);
    return true;
}

void AudioDriverOutput::stop() {
    driver_.reset();
}

void RenderedAudio::append(const float* samples, std::size_t count) {
    const std::lock_guard lock(mutex_);
    samples_.insert(samples_.end(), samples, samples + count);
}

std::vector<float> RenderedAudio::samples() const {
    const std::lock_guard lock(mutex_);
    return samples_;
}

std::size_t RenderedAudio::frames() const {
    const std::lock_guard lock(mutex_);
    return samples_.size() / 2;
}

float RenderedAudio::peak() const {
    const std::lock_guard lock(mutex_);
    float peak = 0.0F;
    for (const float s : samples_) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

bool RenderToBufferOutput::start(SoundBank& bank) {
    stop();
    stopping_ = false;
    thread_ = std::thread([this, &bank] {
        std::array<float, 2 * kRenderBlockFrames> block{};
        std::size_t rendered = 0;
        std::unique_lock lock(mutex_);
        while (!stopping_ && rendered < maxFrames_) {
            lock.unlock();
            const int frames =
                static_cast<int>(std::min<std::size_t>(kRenderBlockFrames, maxFrames_ - rendered));
            bank.renderInterleaved(block.data(), frames);
            sink_->append(block.data(), 2 * static_cast<std::size_t>(frames));
            rendered += static_cast<std::size_t>(frames);
            lock.lock();
        }
        // Full: hold on until stopped, like a device that has gone quiet.
        wake_.wait(lock, [this] { return stopping_; });
    });
    return true;
}

void RenderToBufferOutput::stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

MidiDevice::MidiDevice(SoundBank& bank, std::unique_ptr<FluidPlayer> player)
    : bank_(bank), player_(std::move(player)) {}

std::unique_ptr<MidiDevice> MidiDevice::Open(SoundBank& bank, const std::string& path) {
    const FluidSynthLibrary& fs = bank.handles().fs;
    if (!fs.fluid_is_midifile(path.c_str()) || !hasCompleteTracks(path)) {
        return nullptr;
    }
    fluid_player_t* made = fs.new_fluid_player(bank.handles().synth);
    if (made == nullptr) {
        return nullptr;
    }
    auto player = std::make_unique<FluidPlayer>(fs, made);
    if (fs.fluid_player_add(made, path.c_str()) != FLUID_OK) {
        return nullptr;
    }
    return std::unique_ptr<MidiDevice>(new MidiDevice(bank, std::move(player)));
}

MidiDevice::~MidiDevice() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    player_->fs.fluid_player_stop(player_->player);
    if (watcher_.joinable()) {
        watcher_.join();
    }
    // The output's thread renders through the player: it must be gone before the player is.
    if (output_) {
        output_->stop();
    }
    player_.reset();
    bank_.reset();
}

bool MidiDevice::QueryOutputPort(std::unique_ptr<MidiOutput> output) {
    if (output_ || !output) {
        return false;
    }
    output_ = std::move(output);
    return output_->start(bank_);
}

bool MidiDevice::Play(std::function<void()> onEnded) {
    if (watcher_.joinable() || player_->fs.fluid_player_play(player_->player) != FLUID_OK) {
        return false;
    }
    watcher_ = std::thread([this, onEnded = std::move(onEnded)] { watch(onEnded); });
    return true;
}

void MidiDevice::watch(std::function<void()> onEnded) {
    std::unique_lock lock(mutex_);
    while (!closing_ &&
           player_->fs.fluid_player_get_status(player_->player) == FLUID_PLAYER_PLAYING) {
        wake_.wait_for(lock, kEndPoll);
    }
    if (!closing_) {
        lock.unlock();
        onEnded();
    }
}

}  // namespace server
