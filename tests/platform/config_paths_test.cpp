#include "platform/config_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace {

TEST(ConfigPaths, FolderOfKeepsTheLastSeparator) {
    EXPECT_EQ(platform::FolderOf("/var/lib/ravendockd/ravendockd.reg"), "/var/lib/ravendockd/");
    EXPECT_EQ(platform::FolderOf("ravendockd.reg"), "");
    EXPECT_EQ(platform::FolderOf("/x"), "/");
}

TEST(ConfigPaths, RunningFromComparesTheRealFolders) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    const std::string folder =
        platform::FolderOf(std::string(self, static_cast<std::size_t>(length)));
    EXPECT_TRUE(platform::RunningFrom(folder.c_str()));
    EXPECT_TRUE(platform::RunningFrom((folder + "./").c_str()));
    EXPECT_FALSE(platform::RunningFrom((folder + "..").c_str()));
    EXPECT_FALSE(platform::RunningFrom("/nonexistent-folder"));
}

}  // namespace
