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

    // ".." goes from the requested name only: the operator's folder stays as given.
    auto baseDots = BuildTransferPath("/srv/v1..2/", "a..b", false);
    EXPECT_EQ(baseDots.path, "/srv/v1..2/ab");
    EXPECT_TRUE(baseDots.altered);
    EXPECT_FALSE(BuildTransferPath("/srv/v1..2/", "f", true).altered);

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

class UploadFolders : public ::testing::Test {
  protected:
    UploadFolders() {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "in/real");
        std::filesystem::create_directories(root_ / "elsewhere");
        std::filesystem::create_symlink(root_ / "elsewhere", root_ / "in/out-link");
        std::filesystem::create_symlink(root_ / "in/real", root_ / "in/in-link");
    }
    ~UploadFolders() override { std::filesystem::remove_all(root_); }
    std::string in() const { return (root_ / "in").string() + "/"; }
    std::filesystem::path root_ = std::filesystem::temp_directory_path() / "ravendock-upload";
};

TEST_F(UploadFolders, MakePathCreatesEachLevelButNeverThroughALinkOut) {
    EXPECT_TRUE(server::MakePath(in(), in() + "a/b/c/file"));
    EXPECT_TRUE(std::filesystem::is_directory(root_ / "in/a/b/c"));
    EXPECT_FALSE(std::filesystem::exists(root_ / "in/a/b/c/file"));
    EXPECT_TRUE(server::MakePath(in(), in() + "a/b/c/file")) << "existing folders pass";
    EXPECT_TRUE(server::MakePath(in(), in() + "in-link/new/file"));
    EXPECT_TRUE(std::filesystem::is_directory(root_ / "in/real/new"));
    EXPECT_FALSE(server::MakePath(in(), in() + "out-link/new/file"));
    EXPECT_FALSE(std::filesystem::exists(root_ / "elsewhere/new"));
}

TEST_F(UploadFolders, UploadFolderIsResolvedAndMustStayInside) {
    EXPECT_EQ(server::ResolveUploadFolder(in(), in() + "f"), in());
    EXPECT_EQ(server::ResolveUploadFolder(in(), in() + "in-link/f"), in() + "real/");
    EXPECT_FALSE(server::ResolveUploadFolder(in(), in() + "out-link/f"));
    EXPECT_FALSE(server::ResolveUploadFolder(in(), in() + "missing/f"));
    EXPECT_FALSE(server::ResolveUploadFolder(in(), (root_ / "elsewhere/f").string()));
}

}  // namespace
