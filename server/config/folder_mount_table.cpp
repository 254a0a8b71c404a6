#include "server/config/folder_mount_table.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/text_input.h"

namespace server {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 2> kCdRomTypes = {"iso9660", "udf"};
constexpr std::array<std::string_view, 2> kRamTypes = {"tmpfs", "ramfs"};
constexpr std::array<std::string_view, 21> kRemoteTypes = {
    "nfs",         "nfs4",           "cifs",           "smb3",       "smbfs",          "ncpfs",
    "afs",         "ceph",           "coda",           "9p",         "lustre",         "glusterfs",
    "davfs",       "sshfs",          "fuse.sshfs",     "fuse.davfs", "fuse.glusterfs", "fuse.s3fs",
    "fuse.rclone", "fuse.curlftpfs", "fuse.gvfsd-fuse"};
// Kernel interfaces and plumbing: nothing a user keeps files on.
constexpr std::array<std::string_view, 22> kPseudoTypes = {
    "proc",       "sysfs",   "cgroup",    "cgroup2",    "devpts",      "devtmpfs",
    "mqueue",     "debugfs", "tracefs",   "securityfs", "pstore",      "bpf",
    "configfs",   "fusectl", "hugetlbfs", "autofs",     "binfmt_misc", "efivarfs",
    "rpc_pipefs", "nsfs",    "selinuxfs", "nfsd"};

template <std::size_t N>
bool oneOf(std::string_view value, const std::array<std::string_view, N>& list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Mount tables write a space, tab, newline and backslash in a path as "\040" and the like.
std::string unescapeOctal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && text.size() - i >= 4) {
            const auto octal = [](char c) { return c >= '0' && c <= '7'; };
            if (octal(text[i + 1]) && octal(text[i + 2]) && octal(text[i + 3])) {
                out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) |
                                         (text[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool contains(std::string_view mountPoint, std::string_view path) {
    if (mountPoint == "/") {
        return path.starts_with('/');
    }
    return path.starts_with(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

bool underSystemFolder(std::string_view mountPoint) {
    for (const std::string_view folder : {"/proc", "/sys", "/dev", "/run"}) {
        if (contains(folder, mountPoint)) {
            return !contains("/run/media", mountPoint);
        }
    }
    return false;
}

std::string readFirstLine(const fs::path& path) {
    const std::string text = platform::ReadFileCapped(path.string(), 4096).value_or(std::string());
    return text.substr(0, text.find('\n'));
}

// The words of a line, split at blanks and tabs.
std::vector<std::string> fieldsOf(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r\v\f", at);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = line.find_first_of(" \t\r\v\f", start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        fields.emplace_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

}  // namespace

bool SysfsRemovable(const Mount& mount) {
    std::string majorMinor = mount.majorMinor;
    struct stat info {};
    if (mount.device.starts_with('/') && ::stat(mount.device.c_str(), &info) == 0 &&
        S_ISBLK(info.st_mode)) {
        majorMinor =
            std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
    }
    if (majorMinor.empty()) {
        return false;
    }
    std::error_code ec;
    fs::path block = fs::canonical(fs::path("/sys/dev/block") / majorMinor, ec);
    if (ec) {
        return false;
    }
    // A partition has no flag of its own; its disk is the folder above it.
    if (fs::exists(block / "partition", ec)) {
        block = block.parent_path();
    }
    return readFirstLine(block / "removable") == "1";
}

MountTable MountTable::Parse(std::string_view text, RemovableProbe removable) {
    MountTable table;
    table.removable_ = std::move(removable);
    for (std::size_t at = 0; at < text.size();) {
        const std::vector<std::string> fields = fieldsOf(platform::NextLine(text, at));
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        Mount mount;
        if (dash != fields.end() && dash - fields.begin() >= 6 && fields.end() - dash >= 3) {
            // mountinfo: id parent major:minor root mount-point options [tags] - type source ...
            mount.majorMinor = fields[2];
            mount.mountPoint = fields[4];
            mount.fsType = dash[1];
            mount.device = dash[2];
        } else if (fields.size() >= 3 && dash == fields.end()) {
            // mounts: source mount-point type options dump pass
            mount.device = fields[0];
            mount.mountPoint = fields[1];
            mount.fsType = fields[2];
        } else {
            continue;
        }
        mount.mountPoint = withoutTrailingSlash(unescapeOctal(mount.mountPoint));
        mount.device = unescapeOctal(mount.device);
        if (!mount.mountPoint.starts_with('/')) {
            continue;
        }
        table.mounts_.push_back(std::move(mount));
    }
    return table;
}

MountTable MountTable::FromSystem() {
    constexpr std::size_t kLimit = 16 * 1024 * 1024;
    std::optional<std::string> text = platform::ReadFileCapped("/proc/self/mountinfo", kLimit);
    if (!text) {
        text = platform::ReadFileCapped("/proc/mounts", kLimit);
    }
    return Parse(text.value_or(std::string()));
}

const Mount* MountTable::MountOf(std::string_view absolutePath) const {
    const std::string path = withoutTrailingSlash(std::string(absolutePath));
    const Mount* best = nullptr;
    for (const Mount& mount : mounts_) {
        if (contains(mount.mountPoint, path) &&
            (best == nullptr || mount.mountPoint.size() >= best->mountPoint.size())) {
            best = &mount;
        }
    }
    return best;
}

DriveType DriveTypeOfMount(const Mount& mount, const RemovableProbe& removable) {
    if (oneOf(mount.fsType, kCdRomTypes)) {
        return DriveType::CdRom;
    }
    if (oneOf(mount.fsType, kRemoteTypes)) {
        return DriveType::Remote;
    }
    if (oneOf(mount.fsType, kRamTypes)) {
        return DriveType::RamDisk;
    }
    if (removable && removable(mount)) {
        return DriveType::Removable;
    }
    if (mount.fsType == "fuse" || mount.fsType.starts_with("fuse.")) {
        return DriveType::Unknown;
    }
    return DriveType::Fixed;
}

DriveType MountTable::DriveTypeOf(std::string_view folder) const {
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::path(folder), ec);
    const fs::path real = ec ? fs::path() : fs::weakly_canonical(absolute, ec);
    const Mount* mount = ec ? nullptr : MountOf(real.string());
    return mount == nullptr ? DriveType::Unknown : DriveTypeOfMount(*mount, removable_);
}

std::vector<Mount> MountTable::BrowsableMounts() const {
    std::vector<Mount> result;
    for (const Mount& mount : mounts_) {
        if (oneOf(mount.fsType, kPseudoTypes) || underSystemFolder(mount.mountPoint)) {
            continue;
        }
        // A later mount on the same point hides the earlier one.
        std::erase_if(result, [&](const Mount& m) { return m.mountPoint == mount.mountPoint; });
        result.push_back(mount);
    }
    return result;
}

std::map<std::string, std::string> ReadVolumeLabels(const std::string& byLabelFolder) {
    std::map<std::string, std::string> labels;
    std::error_code ec;
    fs::directory_iterator it(byLabelFolder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code linkError;
        const fs::path device = fs::canonical(it->path(), linkError);
        if (linkError) {
            continue;
        }
        const std::string name = it->path().filename().string();
        std::string label;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size() &&
                std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
                std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
                label += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                label += name[i];
            }
        }
        labels[device.string()] = label;
    }
    return labels;
}

std::string VolumeLabelOf(const Mount& mount, const std::map<std::string, std::string>& labels) {
    if (!mount.device.starts_with('/')) {
        return {};
    }
    std::error_code ec;
    const fs::path device = fs::canonical(mount.device, ec);
    if (ec) {
        return {};
    }
    const auto found = labels.find(device.string());
    return found == labels.end() ? std::string() : found->second;
}

}  // namespace server
