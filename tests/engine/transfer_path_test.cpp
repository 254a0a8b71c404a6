#include "server/engine/transfer_path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using server::BuildTransferPath;

TEST(TransferPath, RewritingRules) {
    auto flat = BuildTransferPath("/srv/out/", "a/b/c.txt", false);
    EXPECT_EQ(flat.path, "/srv/out/c.txt");
    EXPECT_TRUE(flat.altered);

    auto kept = BuildTransferPath("/srv/out/", "a\\b\\c.txt", true);
    EXPECT_EQ(kept.path, "/srv/out/a/b/c.txt");
    EXPECT_FALSE(kept.altered);

    auto dots = BuildTransferPath("/srv/out/", "..\\x.txt", true);
    EXPECT_EQ(dots.path, "/srv/out/x.txt");
    EXPECT_TRUE(dots.altered);

    auto doubled = BuildTransferPath("//srv/out/", "f", false);
    EXPECT_EQ(doubled.path, "/srv/out/f");
    EXPECT_TRUE(doubled.altered);

    auto baseDots = BuildTransferPath("/srv/../out/", "f", false);
    EXPECT_EQ(baseDots.path, "/srv/out/f");
    EXPECT_TRUE(baseDots.altered);

    auto plain = BuildTransferPath("/srv/out/", "f", false);
    EXPECT_FALSE(plain.altered);
}

TEST(TransferPath, ContainmentIsJudgedOnNames) {
    EXPECT_TRUE(server::IsInsideBase("/srv/out/", "/srv/out/f"));
    EXPECT_TRUE(server::IsInsideBase("/srv/out/", "/srv/out/a/b"));
    EXPECT_FALSE(server::IsInsideBase("/srv/out/", "/srv/out/"));
    EXPECT_FALSE(server::IsInsideBase("/srv/out/", "/srv/outside"));
    EXPECT_FALSE(server::IsInsideBase("/srv/out/", "/srv/f"));
    EXPECT_FALSE(server::IsInsideBase("", "/etc/passwd"));
    EXPECT_TRUE(server::IsInsideBase("", "passwd"));
    EXPECT_FALSE(server::IsInsideBase("/srv/../out/", "/srv/out/f"));
}

TEST(TransferPath, DuplicateCandidates) {
    EXPECT_EQ(server::DuplicateCandidate("/in/report.txt", 1), "/in/report.1.txt");
    EXPECT_EQ(server::DuplicateCandidate("/in/report.txt", 2), "/in/report.2.txt");
    EXPECT_EQ(server::DuplicateCandidate("/in.d/report", 1), "/in.d/report.1");
    EXPECT_EQ(server::DuplicateCandidate("/in/.profile", 3), "/in/.profile.3");
}

TEST(TransferPath, MakePathCreatesEachLevel) {
    auto root = std::filesystem::temp_directory_path() / "ravendock-makepath";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    EXPECT_TRUE(server::MakePath(root.string() + "/a/b/c/file"));
    EXPECT_TRUE(std::filesystem::is_directory(root / "a/b/c"));
    EXPECT_FALSE(std::filesystem::exists(root / "a/b/c/file"));
    EXPECT_TRUE(server::MakePath(root.string() + "/a/b/c/file")) << "existing folders pass";
    std::filesystem::remove_all(root);
}

}  // namespace
