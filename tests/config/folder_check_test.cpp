#include "server/config/folder_check.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../support/message_recorder.h"

using server::DriveType;
using server::FolderApply;
using server::FolderKind;
using server::MountTable;

namespace {

namespace fs = std::filesystem;

const std::string kRisky =
    "Warning : Specified drive is either removeable, a network drive, or an unknown type.\n"
    "Use at your own peril !";

using RecordingDialogs = testsupport::MessageRecorder;

// Real folders under a private temporary folder, each given a file system by a mount-table
// fixture; the rest of the machine is one fixed disk.
class FolderCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "folders-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = fs::canonical(pattern).string();
        for (const char* name : {"fixed", "cd", "net", "usb", "ram", "fuse"}) {
            fs::create_directory(dir_ + "/" + name);
        }
        std::ofstream(dir_ + "/fixed/file.txt") << "x";
        fs::create_directory_symlink(dir_ + "/cd", dir_ + "/fixed/to-cd");
        mounts_ = MountTable::Parse(
            "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
            "2 1 11:0 / " +
                dir_ +
                "/cd ro - iso9660 /dev/sr0 ro\n"
                "3 1 0:50 / " +
                dir_ +
                "/net rw - nfs4 server:/export rw\n"
                "4 1 8:17 / " +
                dir_ +
                "/usb rw - vfat /dev/sdb1 rw\n"
                "5 1 0:30 / " +
                dir_ +
                "/ram rw - tmpfs tmpfs rw\n"
                "6 1 0:60 / " +
                dir_ + "/fuse rw - fuse.encfs encfs rw\n",
            [](const server::Mount& m) { return m.device == "/dev/sdb1"; });
        previous_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    std::string validate(const std::string& path, bool inbound) {
        return server::ValidateFolderPath(path, inbound, dialogs_, mounts_);
    }

    std::string dir_;
    fs::path previous_;
    MountTable mounts_;
    RecordingDialogs dialogs_;
};

TEST(NormaliseFolderPathTest, SeparatorsBecomeSlashesAndOneEndsThePath) {
    EXPECT_EQ(server::NormaliseFolderPath("/srv/tftp"), "/srv/tftp/");
    EXPECT_EQ(server::NormaliseFolderPath("/srv/tftp/"), "/srv/tftp/");
    EXPECT_EQ(server::NormaliseFolderPath("\\srv\\tftp"), "/srv/tftp/");
    EXPECT_EQ(server::NormaliseFolderPath("srv\\tftp/"), "srv/tftp/");
    EXPECT_EQ(server::NormaliseFolderPath("/"), "/");
}

TEST_F(FolderCheckTest, ExistingFolderIsNormalisedWithoutAMessage) {
    std::string backslashed = dir_ + "/fixed";
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_EQ(validate(backslashed, true), dir_ + "/fixed/");
    EXPECT_EQ(validate(dir_ + "/ram", true), dir_ + "/ram/");
    EXPECT_EQ(validate("", true), "");
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(FolderCheckTest, MissingFolderOrAFileIsRefusedWithTheNormalisedPath) {
    EXPECT_EQ(validate(dir_ + "\\fixed\\missing", false), "");
    EXPECT_EQ(validate(dir_ + "/fixed/file.txt", true), "");
    EXPECT_EQ(dialogs_.messages, (std::vector<std::string>{
                                     "Error in path definition for " + dir_ + "/fixed/missing/",
                                     "Error in path definition for " + dir_ + "/fixed/file.txt/"}));
}

TEST_F(FolderCheckTest, DriveTypesDecideBetweenRefusalWarningAndSilence) {
    struct Case {
        const char* folder;
        bool inbound;
        bool accepted;
        std::string message;  // empty: none
    };
    const std::vector<Case> cases = {
        {"cd", true, false, "Inbound path specifies a CD-ROM Device"},
        {"cd", false, true, kRisky},
        // The folder's real path decides: a link on a fixed disk into the CD is the CD.
        {"fixed/to-cd", true, false, "Inbound path specifies a CD-ROM Device"},
        {"net", true, true, kRisky},
        {"usb", true, true, kRisky},
        {"fuse", false, true, kRisky},
        {"ram", true, true, ""},
        {"fixed", false, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + (c.inbound ? " inbound" : " outbound"));
        dialogs_.messages.clear();
        const std::string result = validate(dir_ + "/" + c.folder, c.inbound);
        EXPECT_EQ(result, c.accepted ? dir_ + "/" + c.folder + "/" : "");
        EXPECT_EQ(dialogs_.messages, c.message.empty() ? std::vector<std::string>{}
                                                       : std::vector<std::string>{c.message});
    }
    // A folder on no mount at all cannot be classified.
    dialogs_.messages.clear();
    const MountTable empty = MountTable::Parse("");
    EXPECT_EQ(server::ValidateFolderPath(dir_ + "/fixed", true, dialogs_, empty), dir_ + "/fixed/");
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{kRisky});
}

TEST_F(FolderCheckTest, ApplyStoresTheCheckedPathOrNothing) {
    server::ServerSettings settings;
    settings.InPath = "/old/in/";
    settings.OutPath = "/old/out/";
    int questions = 0;
    const server::AskYesNo countQuestions = [&](std::string_view) {
        ++questions;
        return true;
    };

    std::string field = dir_ + "\\fixed";
    EXPECT_EQ(server::ApplyFolderPage(FolderKind::Inbound, field, settings, dialogs_,
                                      countQuestions, mounts_),
              FolderApply::Applied);
    EXPECT_EQ(field, dir_ + "/fixed/");
    EXPECT_EQ(settings.InPath, dir_ + "/fixed/");

    // A refusal empties the field and keeps the setting.
    field = dir_ + "/cd";
    EXPECT_EQ(server::ApplyFolderPage(FolderKind::Inbound, field, settings, dialogs_,
                                      countQuestions, mounts_),
              FolderApply::Refused);
    EXPECT_EQ(field, "");
    EXPECT_EQ(settings.InPath, dir_ + "/fixed/");

    // The outbound page takes the same folder with only the warning.
    field = dir_ + "/cd";
    EXPECT_EQ(server::ApplyFolderPage(FolderKind::Outbound, field, settings, dialogs_,
                                      countQuestions, mounts_),
              FolderApply::Applied);
    EXPECT_EQ(settings.OutPath, dir_ + "/cd/");
    EXPECT_EQ(settings.InPath, dir_ + "/fixed/");
    EXPECT_EQ(dialogs_.messages,
              (std::vector<std::string>{"Inbound path specifies a CD-ROM Device", kRisky}));
    EXPECT_EQ(questions, 0);
}

TEST_F(FolderCheckTest, ApplyLeavesACommandLinePathAlone) {
    server::ServerSettings settings;
    settings.OutPath = "/from/command/line/";
    settings.OutPathFromCommandLine = true;
    std::string field = dir_ + "/missing";
    const server::AskYesNo ask = [](std::string_view) { return true; };
    EXPECT_EQ(
        server::ApplyFolderPage(FolderKind::Outbound, field, settings, dialogs_, ask, mounts_),
        FolderApply::Applied);
    EXPECT_EQ(settings.OutPath, "/from/command/line/");
    EXPECT_EQ(field, dir_ + "/missing");
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(FolderCheckTest, EmptyFieldAsksForTheCurrentDirectory) {
    server::ServerSettings settings;
    settings.InPath = "/old/in/";
    settings.OutPath = "/old/out/";
    std::vector<std::string> asked;
    bool answer = false;
    const server::AskYesNo ask = [&](std::string_view question) {
        asked.emplace_back(question);
        return answer;
    };

    // No: the path becomes empty, which the server then uses as it is.
    std::string field;
    EXPECT_EQ(server::ApplyFolderPage(FolderKind::Inbound, field, settings, dialogs_, ask, mounts_),
              FolderApply::Applied);
    EXPECT_EQ(settings.InPath, "");

    // Yes: the current directory, taken without the check (here it is on the CD).
    answer = true;
    fs::current_path(dir_ + "/cd");
    EXPECT_EQ(
        server::ApplyFolderPage(FolderKind::Outbound, field, settings, dialogs_, ask, mounts_),
        FolderApply::Applied);
    EXPECT_EQ(settings.OutPath, dir_ + "/cd/");
    field.clear();
    EXPECT_EQ(server::ApplyFolderPage(FolderKind::Inbound, field, settings, dialogs_, ask, mounts_),
              FolderApply::Applied);
    EXPECT_EQ(settings.InPath, dir_ + "/cd/");
    EXPECT_EQ(field, dir_ + "/cd/");

    EXPECT_EQ(asked,
              (std::vector<std::string>{
                  "Do you want the Inbound Directory set to the\ncurrent application path ?",
                  "Do you want the Outbound Directory set to the\ncurrent application path ?",
                  "Do you want the Inbound Directory set to the\ncurrent application path ?"}));
    EXPECT_TRUE(dialogs_.messages.empty());
}

}  // namespace
