#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace server {

// FluidSynth objects, complete only where FluidSynth is included.
struct FluidPlayer;
struct FluidAudioDriver;
struct FluidSynthLibrary;

// Overrides the sound font search when set.
inline constexpr const char* kSoundFontVariable = "RAVEN_SOUNDFONT";

// The General MIDI sound font to play with: RAVEN_SOUNDFONT when set, else the first of the
// usual Debian locations that exists, else an empty text.
std::string FindSoundFont();

// A synthesiser with one sound font loaded. Loading takes a noticeable moment, so one bank
// serves every file played while the music is on.
class SoundBank {
  public:
    // Made and played through the given FluidSynth; nullptr when that is nullptr (it could not
    // be loaded) or the sound font cannot be loaded.
    static std::unique_ptr<SoundBank> Load(const std::string& soundFontPath,
                                           const FluidSynthLibrary* library);
    ~SoundBank();
    SoundBank(const SoundBank&) = delete;
    SoundBank& operator=(const SoundBank&) = delete;

    // Renders frames of interleaved stereo into out (2 * frames values); this also advances
    // the file being played.
    void renderInterleaved(float* out, int frames);
    // Silences every voice and restores the default programs, ready for another file.
    void reset();

    // FluidSynth's settings and synthesiser, for the outputs and devices that drive them.
    struct Handles;
    Handles& handles() { return *handles_; }

  private:
    explicit SoundBank(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
};

// Where the synthesiser's sound goes. start() begins pulling audio from the bank on a thread
// of its own; stop() ends that before the device lets go of the file.
class MidiOutput {
  public:
    virtual ~MidiOutput() = default;
    // False when no output can be had (no sound device, for instance).
    virtual bool start(SoundBank& bank) = 0;
    virtual void stop() = 0;
};

struct AudioDriverOptions {
    std::string driver;    // empty: FluidSynth's default, the desktop's sound system
    std::string fileName;  // where the "file" driver writes
};

// A FluidSynth audio driver, paced by the sound device.
class AudioDriverOutput final : public MidiOutput {
  public:
    explicit AudioDriverOutput(AudioDriverOptions options = {});
    ~AudioDriverOutput() override;
    bool start(SoundBank& bank) override;
    void stop() override;

  private:
    AudioDriverOptions options_;
    std::unique_ptr<FluidAudioDriver> driver_;
};

// Interleaved stereo samples rendered by RenderToBufferOutput.
class RenderedAudio {
  public:
    void append(const float* samples, std::size_t count);
    std::vector<float> samples() const;
    std::size_t frames() const;
    float peak() const;

  private:
    mutable std::mutex mutex_;
    std::vector<float> samples_;
};

// Renders as fast as the processor allows into a RenderedAudio, up to maxFrames; for machines
// without sound and for checking what was played.
class RenderToBufferOutput final : public MidiOutput {
  public:
    RenderToBufferOutput(std::shared_ptr<RenderedAudio> sink, std::size_t maxFrames)
        : sink_(std::move(sink)), maxFrames_(maxFrames) {}
    ~RenderToBufferOutput() override { stop(); }
    bool start(SoundBank& bank) override;
    void stop() override;

  private:
    std::shared_ptr<RenderedAudio> sink_;
    std::size_t maxFrames_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

// One MIDI file opened for playing: the sequence is Open, QueryOutputPort, Play; destroying it
// closes it.
class MidiDevice {
  public:
    // nullptr when the file is no complete Standard MIDI File.
    static std::unique_ptr<MidiDevice> Open(SoundBank& bank, const std::string& path);
    ~MidiDevice();
    MidiDevice(const MidiDevice&) = delete;
    MidiDevice& operator=(const MidiDevice&) = delete;

    // Takes the output and starts it; false when it cannot start.
    bool QueryOutputPort(std::unique_ptr<MidiOutput> output);
    // Starts playing; onEnded runs once, on a thread of the device, when playing has ended by
    // itself (not when the device is closed first).
    bool Play(std::function<void()> onEnded);

  private:
    MidiDevice(SoundBank& bank, std::unique_ptr<FluidPlayer> player);
    void watch(std::function<void()> onEnded);

    SoundBank& bank_;
    std::unique_ptr<FluidPlayer> player_;
    std::unique_ptr<MidiOutput> output_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool closing_ = false;
    std::thread watcher_;
};

}  // namespace server
