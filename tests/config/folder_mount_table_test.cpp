#include "server/config/folder_mount_table.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using server::DriveType;
using server::Mount;
using server::MountTable;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> mountPoints(const std::vector<Mount>& mounts) {
    std::vector<std::string> points;
    for (const Mount& m : mounts) {
        points.push_back(m.mountPoint);
    }
    return points;
}

TEST(MountTableParseTest, ReadsMountinfoAndMountsLines) {
    const MountTable table = MountTable::Parse(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/user/MY\\040STICK/ rw master:3 - vfat /dev/sdb1 rw\n"
        "server:/export /mnt/share nfs4 rw,vers=4.2 0 0\n"
        "garbage\n"
        "\n"
        "41 22 0:50 / relative/point rw - tmpfs tmpfs rw\n");
    ASSERT_EQ(table.mounts().size(), 3u);
    const Mount& stick = table.mounts()[1];
    EXPECT_EQ(stick.mountPoint, "/media/user/MY STICK");
    EXPECT_EQ(stick.fsType, "vfat");
    EXPECT_EQ(stick.device, "/dev/sdb1");
    EXPECT_EQ(stick.majorMinor, "8:17");
    const Mount& share = table.mounts()[2];
    EXPECT_EQ(share.mountPoint, "/mnt/share");
    EXPECT_EQ(share.fsType, "nfs4");
    EXPECT_EQ(share.device, "server:/export");
    EXPECT_EQ(share.majorMinor, "");
    EXPECT_EQ(table.mounts()[0].mountPoint, "/");
}

TEST(MountTableParseTest, LongestMountPointWinsAndTheLastOfAStack) {
    const MountTable table = MountTable::Parse(
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sda2 /srv/a ext4 rw 0 0\n"
        "/dev/sr0 /srv/ab iso9660 ro 0 0\n"
        "/dev/sda3 /srv/a/deep xfs rw 0 0\n"
        "tmpfs /srv/a/deep tmpfs rw 0 0\n");
    EXPECT_EQ(table.MountOf("/srv/a")->device, "/dev/sda2");
    EXPECT_EQ(table.MountOf("/srv/a/")->device, "/dev/sda2");
    // A name that merely begins like a mount point is not inside it.
    EXPECT_EQ(table.MountOf("/srv/abc/x")->device, "/dev/sda1");
    EXPECT_EQ(table.MountOf("/srv/ab/x")->device, "/dev/sr0");
    EXPECT_EQ(table.MountOf("/srv/a/deep/er")->device, "tmpfs");
    EXPECT_EQ(MountTable::Parse("/dev/sdb1 /data ext4 rw 0 0\n").MountOf("/etc"), nullptr);
}

TEST(MountTableParseTest, DriveTypesFollowTheFileSystemAndDevice) {
    const server::RemovableProbe removable = [](const Mount& m) { return m.device == "/dev/sdb1"; };
    const auto type = [&](std::string fsType, std::string device = "/dev/sda1") {
        return server::DriveTypeOfMount(Mount{device, "/x", fsType, ""}, removable);
    };
    EXPECT_EQ(type("ext4"), DriveType::Fixed);
    EXPECT_EQ(type("overlay", "overlay"), DriveType::Fixed);
    EXPECT_EQ(type("iso9660"), DriveType::CdRom);
    EXPECT_EQ(type("udf"), DriveType::CdRom);
    // A CD in a removable drive is still a CD-ROM.
    EXPECT_EQ(type("iso9660", "/dev/sdb1"), DriveType::CdRom);
    EXPECT_EQ(type("nfs", "host:/e"), DriveType::Remote);
    EXPECT_EQ(type("cifs", "//host/share"), DriveType::Remote);
    EXPECT_EQ(type("fuse.sshfs", "me@host:"), DriveType::Remote);
    EXPECT_EQ(type("tmpfs", "tmpfs"), DriveType::RamDisk);
    EXPECT_EQ(type("ramfs", "ramfs"), DriveType::RamDisk);
    EXPECT_EQ(type("vfat", "/dev/sdb1"), DriveType::Removable);
    EXPECT_EQ(type("fuseblk", "/dev/sdb1"), DriveType::Removable);
    EXPECT_EQ(type("fuse.encfs", "encfs"), DriveType::Unknown);
}

TEST(MountTableParseTest, BrowsableMountsLeaveOutKernelAndSystemMounts) {
    const MountTable table = MountTable::Parse(
        "overlay / overlay rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "devpts /dev/pts devpts rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "tmpfs /run/user/1000 tmpfs rw 0 0\n"
        "/dev/sdb1 /run/media/me/STICK vfat rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "/dev/sda3 /home xfs rw 0 0\n"
        "/dev/sda4 /device ext4 rw 0 0\n");
    const std::vector<Mount> roots = table.BrowsableMounts();
    EXPECT_EQ(mountPoints(roots),
              (std::vector<std::string>{"/", "/run/media/me/STICK", "/tmp", "/home", "/device"}));
    // The later of two mounts on one point is the one that shows.
    EXPECT_EQ(roots[3].device, "/dev/sda3");
}

class VolumeLabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "labels-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = fs::canonical(pattern);
        fs::create_directories(dir_ / "dev");
        fs::create_directories(dir_ / "by-label");
        std::ofstream(dir_ / "dev" / "sdz1") << "";
        std::ofstream(dir_ / "dev" / "sdz2") << "";
        fs::create_symlink(dir_ / "dev" / "sdz1", dir_ / "dev" / "alias");
        fs::create_symlink("../dev/sdz1", dir_ / "by-label" / "MY\\x20DISK");
        fs::create_symlink("../dev/sdz2", dir_ / "by-label" / "BOOT");
        fs::create_symlink("../dev/gone", dir_ / "by-label" / "DANGLING");
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(VolumeLabelTest, LabelsAreFoundThroughTheDeviceTheyLinkTo) {
    const auto labels = server::ReadVolumeLabels((dir_ / "by-label").string());
    EXPECT_EQ(labels.size(), 2u);
    const auto labelOf = [&](const std::string& device) {
        return server::VolumeLabelOf(Mount{device, "/m", "ext4", ""}, labels);
    };
    EXPECT_EQ(labelOf((dir_ / "dev" / "sdz1").string()), "MY DISK");
    EXPECT_EQ(labelOf((dir_ / "dev" / "alias").string()), "MY DISK");
    EXPECT_EQ(labelOf((dir_ / "dev" / "sdz2").string()), "BOOT");
    EXPECT_EQ(labelOf("tmpfs"), "");
    EXPECT_EQ(labelOf((dir_ / "dev" / "none").string()), "");
    EXPECT_TRUE(server::ReadVolumeLabels((dir_ / "missing").string()).empty());
}

TEST(MountTableSystemTest, ThisMachineHasARootDrive) {
    const MountTable table = MountTable::FromSystem();
    ASSERT_NE(table.MountOf("/"), nullptr);
    EXPECT_NE(table.DriveTypeOf("/"), DriveType::Unknown);
    const std::vector<Mount> roots = table.BrowsableMounts();
    EXPECT_FALSE(roots.empty());
    for (const Mount& m : roots) {
        EXPECT_NE(m.fsType, "proc") << m.mountPoint;
    }
}

}  // namespace
