#include "server/config/folder_browser.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace server {

namespace fs = std::filesystem;

namespace {

// Stands for reading a drive's volume information: the root is a folder whose file system
// answers.
bool driveAnswers(const std::string& root) {
    struct stat info {};
    struct statvfs volume {};
    return ::stat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::statvfs(root.c_str(), &volume) == 0;
}

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

std::string currentDirectory() {
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    return ec ? std::string("/") : withSlash(current.string());
}

}  // namespace

FolderBrowser::FolderBrowser(std::string_view startPath, const MountTable& mounts,
                             const std::map<std::string, std::string>& volumeLabels)
    : mounts_(mounts) {
    path_ = std::string(startPath);
    std::replace(path_.begin(), path_.end(), '\\', '/');
    if (!path_.empty() && path_.back() != '/') {
        const std::size_t slash = path_.rfind('/');
        path_ = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    }
    if (!path_.empty() && path_.front() != '/') {
        path_ = currentDirectory() + path_;
    }

    for (const Mount& mount : mounts.BrowsableMounts()) {
        DriveEntry entry;
        entry.root = withSlash(mount.mountPoint);
        if (!driveAnswers(entry.root)) {
            continue;
        }
        entry.label = VolumeLabelOf(mount, volumeLabels);
        entry.text = entry.root + " " + entry.label;
        drives_.push_back(std::move(entry));
    }
    std::sort(drives_.begin(), drives_.end(),
              [](const DriveEntry& a, const DriveEntry& b) { return a.text < b.text; });

    selectedDrive_ = path_.empty() ? std::nullopt : driveHolding(path_);
    if (!selectedDrive_) {
        path_ = currentDirectory();
        selectedDrive_ = driveHolding(path_);
    }
    fill();
}

std::optional<std::size_t> FolderBrowser::driveHolding(const std::string& folder) const {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(folder, ec);
    const Mount* mount = ec ? nullptr : mounts_.MountOf(real.string());
    if (mount == nullptr) {
        return std::nullopt;
    }
    const std::string root = withSlash(mount->mountPoint);
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        if (drives_[i].root == root) {
            return i;
        }
    }
    return std::nullopt;
}

bool FolderBrowser::isDriveRoot(const std::string& folder) const {
    return folder == "/" || std::any_of(drives_.begin(), drives_.end(),
                                        [&](const DriveEntry& d) { return d.root == folder; });
}

void FolderBrowser::fill() {
    rows_.clear();
    if (!isDriveRoot(path_)) {
        rows_.emplace_back(kParentFolderRow);
    }
    std::error_code ec;
    fs::directory_iterator it(path_, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name != "." && !name.starts_with("..") && it->is_directory(typeError)) {
            rows_.push_back(std::move(name));
        }
    }
}

void FolderBrowser::OpenRow(std::size_t row) {
    if (row >= rows_.size()) {
        return;
    }
    if (rows_[row] == kParentFolderRow) {
        const std::string trimmed = path_.substr(0, path_.size() - 1);
        const std::size_t slash = trimmed.rfind('/');
        path_ = slash == std::string::npos ? std::string("/") : trimmed.substr(0, slash + 1);
    } else {
        path_ += rows_[row] + "/";
    }
    fill();
}

void FolderBrowser::ChooseDrive(std::size_t index) {
    if (index >= drives_.size()) {
        return;
    }
    selectedDrive_ = index;
    path_ = drives_[index].root;
    fill();
}

std::optional<std::string> BrowseForFolder(std::string_view startPath, FolderBrowserView& view,
                                           const MountTable& mounts,
                                           const std::map<std::string, std::string>& labels) {
    FolderBrowser browser(startPath, mounts, labels);
    if (!view.run(browser)) {
        return std::nullopt;
    }
    return browser.path();
}

std::optional<std::string> BrowseForFolder(std::string_view startPath, FolderBrowserView& view) {
    return BrowseForFolder(startPath, view, MountTable::FromSystem(), ReadVolumeLabels());
}

}  // namespace server
