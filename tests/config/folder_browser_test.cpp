#include "server/config/folder_browser.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using server::FolderBrowser;
using server::MountTable;
using Strings = std::vector<std::string>;

namespace {

namespace fs = std::filesystem;

// Rows after "[..]", sorted, since the listing order is the file system's.
Strings folderRows(const FolderBrowser& browser) {
    Strings rows = browser.rows();
    if (!rows.empty() && rows.front() == "[..]") {
        rows.erase(rows.begin());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A private folder tree: data/ and usb/ are mount points of the fixture (usb/ with a volume
// label), ghost/ is a mount point that does not exist, the rest is the fixed root disk.
class FolderBrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "browse-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = fs::canonical(pattern).string();
        for (const char* folder :
             {"data/alpha", "data/beta/inner", "data/.hidden", "data/..odd", "usb/photos", "dev"}) {
            fs::create_directories(dir_ + "/" + folder);
        }
        std::ofstream(dir_ + "/data/file.txt") << "x";
        fs::create_directory_symlink(dir_ + "/data/alpha", dir_ + "/data/link");
        std::ofstream(dir_ + "/dev/sdz1") << "";
        mounts_ = MountTable::Parse(
            "/dev/sda1 / ext4 rw 0 0\n"
            "/dev/sda2 " +
            dir_ + "/data ext4 rw 0 0\n" + dir_ + "/dev/sdz1 " + dir_ +
            "/usb vfat rw 0 0\n"
            "/dev/sda3 " +
            dir_ +
            "/ghost ext4 rw 0 0\n"
            "proc /proc proc rw 0 0\n");
        labels_[dir_ + "/dev/sdz1"] = "HOLIDAYS";
        previous_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    FolderBrowser open(const std::string& start) { return FolderBrowser(start, mounts_, labels_); }
    std::string selectedRoot(const FolderBrowser& b) {
        return b.selectedDrive() ? b.drives()[*b.selectedDrive()].root : std::string("(none)");
    }
    std::size_t rowOf(const FolderBrowser& b, const std::string& name) {
        const auto it = std::find(b.rows().begin(), b.rows().end(), name);
        EXPECT_NE(it, b.rows().end()) << name;
        return static_cast<std::size_t>(it - b.rows().begin());
    }

    std::string dir_;
    fs::path previous_;
    MountTable mounts_;
    std::map<std::string, std::string> labels_;
};

TEST_F(FolderBrowserTest, DriveListHoldsReachableRootsSortedWithLabels) {
    const FolderBrowser browser = open(dir_ + "/data/");
    Strings texts;
    for (const server::DriveEntry& d : browser.drives()) {
        texts.push_back(d.text);
    }
    EXPECT_EQ(texts, (Strings{"/ ", dir_ + "/data/ ", dir_ + "/usb/ HOLIDAYS"}));
    EXPECT_EQ(browser.drives()[2].root, dir_ + "/usb/");
    EXPECT_EQ(browser.drives()[2].label, "HOLIDAYS");
}

TEST_F(FolderBrowserTest, StartsInTheFolderHoldingTheLastComponent) {
    const FolderBrowser inside = open(dir_ + "\\data\\alpha\\readme");
    EXPECT_EQ(inside.path(), dir_ + "/data/alpha/");
    EXPECT_EQ(selectedRoot(inside), dir_ + "/data/");
    EXPECT_EQ(inside.rows(), Strings{"[..]"});

    // At a drive root there is no "[..]"; files, "." and names beginning with ".." are left
    // out, links to folders are kept.
    const FolderBrowser root = open(dir_ + "/data/");
    EXPECT_EQ(root.path(), dir_ + "/data/");
    EXPECT_EQ(std::count(root.rows().begin(), root.rows().end(), "[..]"), 0);
    EXPECT_EQ(folderRows(root), (Strings{".hidden", "alpha", "beta", "link"}));

    // A folder that cannot be listed shows only the way up.
    const FolderBrowser missing = open(dir_ + "/data/missing/");
    EXPECT_EQ(missing.path(), dir_ + "/data/missing/");
    EXPECT_EQ(missing.rows(), Strings{"[..]"});
}

TEST_F(FolderBrowserTest, RowsAndDrivesMoveTheWorkingPath) {
    FolderBrowser browser = open(dir_ + "/data/alpha/");
    browser.OpenRow(rowOf(browser, "[..]"));
    EXPECT_EQ(browser.path(), dir_ + "/data/");
    browser.OpenRow(rowOf(browser, "beta"));
    EXPECT_EQ(browser.path(), dir_ + "/data/beta/");
    EXPECT_EQ(browser.rows(), (Strings{"[..]", "inner"}));
    browser.OpenRow(rowOf(browser, "inner"));
    EXPECT_EQ(browser.path(), dir_ + "/data/beta/inner/");

    browser.ChooseDrive(2);
    EXPECT_EQ(browser.path(), dir_ + "/usb/");
    EXPECT_EQ(browser.rows(), Strings{"photos"});
    EXPECT_EQ(selectedRoot(browser), dir_ + "/usb/");

    // Below the root disk's drive the parent row climbs to "/", where it ends.
    browser.ChooseDrive(0);
    EXPECT_EQ(browser.path(), "/");
    EXPECT_EQ(std::count(browser.rows().begin(), browser.rows().end(), "[..]"), 0);
}

TEST_F(FolderBrowserTest, WithoutAUsableStartItOpensAtTheCurrentDirectory) {
    fs::current_path(dir_ + "/data/beta");
    for (const std::string& start : {std::string(), dir_ + "/ghost/x", std::string("readme")}) {
        SCOPED_TRACE(start);
        const FolderBrowser browser = open(start);
        EXPECT_EQ(browser.path(), dir_ + "/data/beta/");
        EXPECT_EQ(selectedRoot(browser), dir_ + "/data/");
        EXPECT_EQ(browser.rows(), (Strings{"[..]", "inner"}));
    }
    // A relative folder is taken from the current directory.
    EXPECT_EQ(open("inner/readme").path(), dir_ + "/data/beta/inner/");
}

TEST_F(FolderBrowserTest, BrowseReturnsThePathOnOkAndNothingOnCancel) {
    struct ScriptedView final : server::FolderBrowserView {
        bool ok = true;
        bool run(FolderBrowser& browser) override {
            browser.OpenRow(0);  // "[..]"
            return ok;
        }
    } view;
    EXPECT_EQ(server::BrowseForFolder(dir_ + "/data/alpha/x", view, mounts_, labels_),
              dir_ + "/data/");
    view.ok = false;
    EXPECT_EQ(server::BrowseForFolder(dir_ + "/data/alpha/x", view, mounts_, labels_),
              std::nullopt);
}

}  // namespace
