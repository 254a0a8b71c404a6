#include "server/services/music/music_pick.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../support/message_recorder.h"

namespace {

namespace fs = std::filesystem;

using RecordingDialogs = testsupport::MessageRecorder;

// Hands out the given bits in order, then zeros, counting the draws.
struct ScriptedBits {
    std::vector<bool> bits;
    std::size_t drawn = 0;
    server::RandomBit source() {
        return [this] { return drawn < bits.size() ? bits[drawn++] : (++drawn, false); };
    }
};

class MusicPickTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "music-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        location_ = (dir_ / "ravendockd").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
    std::string folder() const { return dir_.string() + "/"; }

    fs::path dir_;
    std::string location_;
    RecordingDialogs dialogs_;
};

TEST(MusicFolderTest, FolderIsLocationUpToItsLastSlash) {
    EXPECT_EQ(server::MusicFolder("/opt/raven/ravendockd"), "/opt/raven/");
    EXPECT_EQ(server::MusicFolder("./ravendockd"), "./");
    // No slash, or only a leading one: the current directory.
    EXPECT_EQ(server::MusicFolder("ravendockd"), "");
    EXPECT_EQ(server::MusicFolder("/ravendockd"), "");
    EXPECT_EQ(server::MusicFolder(""), "");
}

TEST_F(MusicPickTest, ListsOnlyMidFilesInAnyCase) {
    touch("a.mid");
    touch("B.MID");
    touch("c.midi");
    touch("mid");
    touch(".mid");
    touch("notes.txt");
    fs::create_directory(dir_ / "folder.mid");
    fs::create_symlink(dir_ / "a.mid", dir_ / "link.mid");
    std::vector<std::string> names = server::ListMidiFiles(folder());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"B.MID", "a.mid", "link.mid"}));
}

TEST_F(MusicPickTest, WalkStopsAtTheFirstOneBitElseTakesTheLast) {
    touch("one.mid");
    touch("two.mid");
    touch("three.mid");
    const std::vector<std::string> order = server::ListMidiFiles(folder());
    ASSERT_EQ(order.size(), 3u);

    ScriptedBits first{{true}};
    EXPECT_EQ(server::PickRandomMidi(location_, dialogs_, first.source()), folder() + order[0]);
    EXPECT_EQ(first.drawn, 1u);

    ScriptedBits second{{false, true}};
    EXPECT_EQ(server::PickRandomMidi(location_, dialogs_, second.source()), folder() + order[1]);
    EXPECT_EQ(second.drawn, 2u);

    // A bit is drawn at the last entry too; the last is taken whatever it says.
    ScriptedBits none{{}};
    EXPECT_EQ(server::PickRandomMidi(location_, dialogs_, none.source()), folder() + order[2]);
    EXPECT_EQ(none.drawn, 3u);
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(MusicPickTest, SeededDrawGivesTheFirstFileHalfTheTime) {
    touch("one.mid");
    touch("two.mid");
    touch("three.mid");
    const std::vector<std::string> order = server::ListMidiFiles(folder());
    std::mt19937 engine(20240611);
    const server::RandomBit bit = [&engine] { return (engine() & 1u) != 0; };

    constexpr int kDraws = 4000;
    int counts[3] = {0, 0, 0};
    for (int i = 0; i < kDraws; ++i) {
        const std::string pick = server::PickRandomMidi(location_, dialogs_, bit);
        for (int k = 0; k < 3; ++k) {
            counts[k] += pick == folder() + order[static_cast<std::size_t>(k)] ? 1 : 0;
        }
    }
    EXPECT_EQ(counts[0] + counts[1] + counts[2], kDraws);
    // Halves and quarters, with a margin of about five standard deviations.
    EXPECT_NEAR(counts[0], kDraws / 2, 160);
    EXPECT_NEAR(counts[1], kDraws / 4, 140);
    EXPECT_NEAR(counts[2], kDraws / 4, 140);
}

TEST_F(MusicPickTest, NoFilesShowsTheFolderEveryTime) {
    touch("readme.txt");
    ScriptedBits bits{{true}};
    EXPECT_EQ(server::PickRandomMidi(location_, dialogs_, bits.source()), "");
    EXPECT_EQ(server::PickRandomMidi(location_, dialogs_, bits.source()), "");
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0], "Unable to locate any .mid files at\n" + folder());
    EXPECT_EQ(dialogs_.icons[0], server::MessageIcon::Information);
    EXPECT_EQ(bits.drawn, 0u);
}

TEST_F(MusicPickTest, BareProgramNameLooksInTheCurrentDirectory) {
    touch("tune.mid");
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    ScriptedBits bits{{true}};
    const std::string pick = server::PickRandomMidi("ravendockd", dialogs_, bits.source());
    fs::current_path(before);
    EXPECT_EQ(pick, "tune.mid");
}

}  // namespace
