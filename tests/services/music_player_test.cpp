#include "server/services/music/music_player.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "../support/message_recorder.h"
#include "server/services/music/music_synth.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using RecordingDialogs = testsupport::MessageRecorder;

void put16(std::string& out, unsigned v) {
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

// A format-0 Standard MIDI File: a C major chord held for `ticks` at 96 ticks a quarter note
// (120 beats a minute, so 48 ticks last a quarter of a second). FluidSynth reports the end
// about three seconds after the last event.
std::string chordMidi(unsigned char program, unsigned ticks) {
    std::string track;
    const auto event = [&track](std::initializer_list<unsigned char> bytes) {
        track.append(bytes.begin(), bytes.end());
    };
    event({0x00, 0xC0, program});
    event({0x00, 0x90, 60, 100});
    event({0x00, 0x90, 64, 100});
    event({0x00, 0x90, 67, 100});
    // The delta time as a variable-length quantity of two bytes (ticks < 16384).
    event({static_cast<unsigned char>(0x80 | ((ticks >> 7) & 0x7F)),
           static_cast<unsigned char>(ticks & 0x7F), 0x80, 60, 64});
    event({0x00, 0x80, 64, 64});
    event({0x00, 0x80, 67, 64});
    event({0x00, 0xFF, 0x2F, 0x00});

    std::string file = "MThd";
    put32(file, 6);
    put16(file, 0);
    put16(file, 1);
    put16(file, 96);
    file += "MTrk";
    put32(file, static_cast<std::uint32_t>(track.size()));
    return file + track;
}

// The loudest 16-bit sample of the data chunk of a WAV file, 0 when there is none.
int wavPeak(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t data = bytes.find("data");
    int peak = 0;
    if (data == std::string::npos) {
        return 0;
    }
    for (std::size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
        std::int16_t sample = 0;
        std::memcpy(&sample, bytes.data() + i, sizeof sample);
        peak = std::max(peak, sample < 0 ? -static_cast<int>(sample) : static_cast<int>(sample));
    }
    return peak;
}

class MusicPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "music-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        settings_.Location = (dir_ / "ravendockd").string();
        soundFont_ = server::FindSoundFont();
        ASSERT_FALSE(soundFont_.empty()) << "no General MIDI sound font installed";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string writeMidi(const std::string& name, unsigned char program, unsigned ticks = 48) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << chordMidi(program, ticks);
        return path.string();
    }

    // Outputs that render into buffers the test keeps; caps_[i] limits the i-th output (the
    // last cap repeats), and a cap shorter than a file keeps that file from ever ending.
    server::MusicOptions bufferOptions() {
        server::MusicOptions options;
        options.soundFont = soundFont_;
        options.makeOutput = [this]() -> std::unique_ptr<server::MidiOutput> {
            const std::size_t cap = caps_[std::min(sinks_.size(), caps_.size() - 1)];
            sinks_.push_back(std::make_shared<server::RenderedAudio>());
            return std::make_unique<server::RenderToBufferOutput>(sinks_.back(), cap);
        };
        options.randomBit = [] { return true; };
        return options;
    }

    // Runs the loop until done() or a few seconds have passed; the count bounds it as well.
    template <typename Done>
    bool runUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(10)) {
        const auto deadline = Clock::now() + limit;
        for (int i = 0; i < 1000 && !done() && Clock::now() < deadline; ++i) {
            loop_.runOnce(50);
        }
        return done();
    }

    // Waits until something has been posted to the loop, without running it.
    bool waitForPost(int limitMs = 5000) {
        pollfd p{loop_.fd(), POLLIN, 0};
        return ::poll(&p, 1, limitMs) == 1;
    }

    fs::path dir_;
    server::ServerSettings settings_;
    std::string soundFont_;
    platform::EventLoop loop_;
    RecordingDialogs dialogs_;
    std::vector<std::size_t> caps_{44100 * 6};
    std::vector<std::shared_ptr<server::RenderedAudio>> sinks_;
};

TEST_F(MusicPlayerTest, RendersTheFileAndStartsAnotherWhenItEnds) {
    writeMidi("first.mid", 0);
    writeMidi("second.mid", 40);
    std::vector<bool> bits{true, false, true, false};  // first.mid, then second.mid's turn...
    std::size_t drawn = 0;
    server::MusicOptions options = bufferOptions();
    options.randomBit = [&] { return bits[drawn++ % bits.size()]; };
    server::MusicPlayer music(loop_, settings_, dialogs_, options);

    music.ToggleMusic();
    ASSERT_TRUE(music.musicOn());
    ASSERT_TRUE(music.playing());
    EXPECT_EQ(music.filesStarted(), 1u);
    const std::string firstFile = music.currentFile();

    ASSERT_TRUE(runUntil([&] { return music.filesStarted() >= 2; }));
    EXPECT_TRUE(music.playing());
    EXPECT_NE(music.currentFile(), firstFile);
    ASSERT_GE(sinks_.size(), 2u);
    // The first file was played to its end: its chord sounds, and then the voices die away
    // well before the cap.
    EXPECT_GT(sinks_[0]->peak(), 0.01F);
    EXPECT_GT(sinks_[0]->frames(), 44100u / 4);
    EXPECT_TRUE(dialogs_.messages.empty());

    music.ToggleMusic();
    EXPECT_FALSE(music.musicOn());
    EXPECT_FALSE(music.playing());
    EXPECT_EQ(music.currentFile(), "");
}

TEST_F(MusicPlayerTest, OneFileIsPlayedAgainAndAgain) {
    const std::string only = writeMidi("only.mid", 0);
    server::MusicPlayer music(loop_, settings_, dialogs_, bufferOptions());
    std::set<std::string> played;
    music.ToggleMusic();
    played.insert(music.currentFile());
    for (std::uint64_t n = 2; n <= 3; ++n) {
        ASSERT_TRUE(runUntil([&] { return music.filesStarted() >= n; }));
        played.insert(music.currentFile());
    }
    EXPECT_EQ(played, std::set<std::string>{only});
    for (const auto& sink : sinks_) {
        if (sink != sinks_.back()) {
            EXPECT_GT(sink->peak(), 0.01F);
        }
    }
}

TEST_F(MusicPlayerTest, F12TwiceStartsAndStopsAndALateEndNoticeIsIgnored) {
    writeMidi("tune.mid", 0);
    // The first file ends at once; the second never ends (its output stops short).
    caps_ = {44100 * 6, 64};
    server::MusicPlayer music(loop_, settings_, dialogs_, bufferOptions());

    music.ToggleMusic();
    ASSERT_TRUE(music.playing());
    // The first file's end is posted but not yet handled when F12 is pressed twice.
    ASSERT_TRUE(waitForPost());
    music.ToggleMusic();
    EXPECT_FALSE(music.musicOn());
    EXPECT_FALSE(music.playing());
    const std::size_t framesAtClose = sinks_[0]->frames();

    music.ToggleMusic();
    ASSERT_TRUE(music.playing());
    EXPECT_EQ(music.filesStarted(), 2u);
    // The stale notice of the closed device must not close the new one or start another.
    for (int i = 0; i < 5; ++i) {
        loop_.runOnce(0);
    }
    EXPECT_TRUE(music.playing());
    EXPECT_EQ(music.filesStarted(), 2u);
    EXPECT_EQ(sinks_.size(), 2u);
    // A closed device renders nothing more.
    EXPECT_EQ(sinks_[0]->frames(), framesAtClose);

    music.ToggleMusic();
    EXPECT_FALSE(music.playing());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MusicPlayerTest, NoFileLeavesTheFlagOnAndComplainsAtEachStart) {
    server::MusicPlayer music(loop_, settings_, dialogs_, bufferOptions());
    music.ToggleMusic();
    EXPECT_TRUE(music.musicOn());
    EXPECT_FALSE(music.playing());
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0], "Unable to locate any .mid files at\n" + dir_.string() + "/");
    EXPECT_EQ(dialogs_.icons[0], server::MessageIcon::Information);

    music.ToggleMusic();
    EXPECT_FALSE(music.musicOn());
    EXPECT_EQ(dialogs_.messages.size(), 1u);
    music.ToggleMusic();
    EXPECT_EQ(dialogs_.messages.size(), 2u);
}

TEST_F(MusicPlayerTest, FailedOpenPortOrSoundFontIsSilent) {
    writeMidi("good.mid", 0);

    // The audio driver cannot start, as on a machine without a sound device.
    server::MusicOptions noDevice = bufferOptions();
    noDevice.makeOutput = [] {
        return std::make_unique<server::AudioDriverOutput>(
            server::AudioDriverOptions{.driver = "no-such-driver", .fileName = {}});
    };
    // The sound font is missing.
    server::MusicOptions noFont = bufferOptions();
    noFont.soundFont = (dir_ / "missing.sf2").string();

    for (server::MusicOptions* options : {&noDevice, &noFont}) {
        server::MusicPlayer music(loop_, settings_, dialogs_, *options);
        music.ToggleMusic();
        EXPECT_TRUE(music.musicOn());
        EXPECT_FALSE(music.playing());
        EXPECT_EQ(music.filesStarted(), 0u);
        music.ToggleMusic();
        EXPECT_FALSE(music.musicOn());
    }

    // A ".mid" file that holds no MIDI, or whose track is cut short, cannot be opened.
    fs::remove(dir_ / "good.mid");
    const std::string whole = chordMidi(0, 48);
    for (const std::string& bytes : {std::string("not a MIDI file"), whole.substr(0, 30)}) {
        std::ofstream(dir_ / "bad.mid", std::ios::binary) << bytes;
        server::MusicPlayer music(loop_, settings_, dialogs_, bufferOptions());
        music.ToggleMusic();
        EXPECT_TRUE(music.musicOn());
        EXPECT_FALSE(music.playing());
    }
    EXPECT_TRUE(sinks_.empty());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MusicPlayerTest, MissingFluidSynthIsSilentLikeAMissingDevice) {
    writeMidi("good.mid", 0);
    int asked = 0;
    server::MusicOptions options = bufferOptions();
    options.fluidSynth = [&asked]() -> const server::FluidSynthLibrary* {
        ++asked;
        return nullptr;
    };
    server::MusicPlayer music(loop_, settings_, dialogs_, options);
    for (int round = 0; round < 2; ++round) {
        music.ToggleMusic();
        EXPECT_TRUE(music.musicOn());
        EXPECT_FALSE(music.playing());
        EXPECT_EQ(music.currentFile(), "");
        EXPECT_EQ(music.filesStarted(), 0u);
        music.ToggleMusic();
        EXPECT_FALSE(music.musicOn());
    }
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(sinks_.empty());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MusicPlayerTest, AudioDriverPlaysInRealTimeAndReportsTheEnd) {
    writeMidi("short.mid", 0, 24);
    int made = 0;
    server::MusicOptions options = bufferOptions();
    options.makeOutput = [this, &made] {
        const std::string wav = (dir_ / ("out" + std::to_string(made++) + ".wav")).string();
        return std::make_unique<server::AudioDriverOutput>(
            server::AudioDriverOptions{.driver = "file", .fileName = wav});
    };
    server::MusicPlayer music(loop_, settings_, dialogs_, options);
    music.ToggleMusic();
    ASSERT_TRUE(music.playing());
    ASSERT_TRUE(runUntil([&] { return music.filesStarted() >= 2; }));
    music.ToggleMusic();
    EXPECT_FALSE(music.playing());
    EXPECT_GT(wavPeak((dir_ / "out0.wav").string()), 300);
}

}  // namespace
