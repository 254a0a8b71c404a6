#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// What a folder's drive is, in the numbering of the classic drive-type query.
enum class DriveType {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct Mount {
    std::string device;      // the mount's source, e.g. "/dev/sdb1" or "server:/export"
    std::string mountPoint;  // without a trailing '/', except the root "/"
    std::string fsType;      // e.g. "ext4", "iso9660", "nfs4"
    std::string majorMinor;  // "8:17" when the table gave it
};

// Whether a mount's device is a removable disk.
using RemovableProbe = std::function<bool(const Mount&)>;

// Looks the device up in /sys/block (a partition counts as its disk).
bool SysfsRemovable(const Mount& mount);

// The file systems mounted on this machine, standing in for drive letters: the mount holding a
// folder is its drive, and the mount points a user can browse are the drive roots.
class MountTable {
  public:
    // Lines of /proc/self/mountinfo or of /proc/mounts; lines of neither form are skipped.
    static MountTable Parse(std::string_view text, RemovableProbe removable = SysfsRemovable);
    // This process's mounts; empty when they cannot be read.
    static MountTable FromSystem();

    const std::vector<Mount>& mounts() const { return mounts_; }

    // The mount with the longest mount point that contains the absolute path (the last
    // mounted one when several share that point); nullptr when none does.
    const Mount* MountOf(std::string_view absolutePath) const;

    // The drive type of the mount that holds the folder, judged on its real path: iso9660 and
    // udf are CD-ROMs, network file systems remote, tmpfs and ramfs RAM disks, a removable
    // disk removable, other user-space file systems unknown, the rest fixed. Unknown when no
    // mount holds it.
    DriveType DriveTypeOf(std::string_view folder) const;

    // Mount points of real file systems outside /proc, /sys, /dev and /run (but with
    // /run/media), one per point, in table order.
    std::vector<Mount> BrowsableMounts() const;

  private:
    std::vector<Mount> mounts_;
    RemovableProbe removable_;
};

DriveType DriveTypeOfMount(const Mount& mount, const RemovableProbe& removable);

// Volume labels by device: the real path of each link's target in the folder (as udev keeps
// /dev/disk/by-label) mapped to its label, with udev's "\xHH" escapes decoded.
std::map<std::string, std::string> ReadVolumeLabels(
    const std::string& byLabelFolder = "/dev/disk/by-label");

// The label of a mount's device, empty when it has none.
std::string VolumeLabelOf(const Mount& mount, const std::map<std::string, std::string>& labels);

}  // namespace server
