#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;
using platform::AtomicWriteOptions;
using platform::ReplacedMode;
using platform::WriteFileAtomically;

namespace {

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::path(::testing::TempDir()) / "atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static unsigned modeOf(const std::string& file) {
        struct stat st {};
        EXPECT_EQ(::stat(file.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
    std::ptrdiff_t entries(const fs::path& folder) const {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }

    fs::path dir_;
};

TEST_F(AtomicFileTest, WritesAndReplacesContents) {
    const std::string file = path("data");
    ASSERT_TRUE(WriteFileAtomically(file, std::string_view("a\0b", 3)));
    EXPECT_EQ(read(file), std::string("a\0b", 3));
    ASSERT_TRUE(WriteFileAtomically(file, "second"));
    EXPECT_EQ(read(file), "second");
    EXPECT_EQ(entries(dir_), 1);
    EXPECT_FALSE(WriteFileAtomically("", "x"));
}

TEST_F(AtomicFileTest, ModeOfNewAndReplacedFiles) {
    const std::string file = path("data");
    ASSERT_TRUE(WriteFileAtomically(file, "x", {.newFileMode = 0600}));
    EXPECT_EQ(modeOf(file), 0600u);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(file, "y", {.newFileMode = 0600}));
    EXPECT_EQ(modeOf(file), 0640u);
    ASSERT_TRUE(WriteFileAtomically(file, "z",
                                    {.newFileMode = 0600, .replacedMode = ReplacedMode::Ignore}));
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(AtomicFileTest, FailureLeavesNoTemporaryFile) {
    fs::create_directory(dir_ / "folder");
    EXPECT_FALSE(WriteFileAtomically(path("folder"), "x"));
    EXPECT_EQ(entries(dir_), 1);
    EXPECT_EQ(entries(dir_ / "folder"), 0);
}

TEST_F(AtomicFileTest, CreatesFoldersOnlyWhenAsked) {
    const std::string nested = path("a/b/data");
    EXPECT_FALSE(WriteFileAtomically(nested, "x"));
    EXPECT_FALSE(fs::exists(dir_ / "a"));
    ASSERT_TRUE(WriteFileAtomically(nested, "x", {.createFolders = true, .folderMode = 0700}));
    EXPECT_EQ(read(nested), "x");
    EXPECT_EQ(modeOf(path("a")), 0700u);
    EXPECT_EQ(modeOf(path("a/b")), 0700u);

    // A folder that cannot exist (its parent is a file) fails without leaving anything behind.
    EXPECT_FALSE(WriteFileAtomically(nested + "/sub/data", "x", {.createFolders = true}));
    EXPECT_EQ(entries(dir_ / "a" / "b"), 1);
}

}  // namespace
