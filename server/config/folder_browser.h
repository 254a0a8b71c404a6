#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/config/folder_mount_table.h"

namespace server {

inline constexpr std::string_view kFolderBrowserTitle = "Folder Browser";
inline constexpr std::string_view kParentFolderRow = "[..]";

struct DriveEntry {
    std::string root;   // the mount point with a '/' appended
    std::string label;  // the volume label, empty when the device has none
    std::string text;   // what the drive list shows: root, a space and the label
};

// What the "Folder Browser" dialog shows: a drive list (the mount points a user can browse),
// the folders of the working path and the working path itself, which always ends with '/'.
class FolderBrowser {
  public:
    // Opens at the folder that holds startPath's last component (startPath itself when it
    // ends with a separator); a relative path is taken from the current directory. When that
    // folder is on no listed drive, or startPath is empty, the current directory is used.
    FolderBrowser(std::string_view startPath, const MountTable& mounts,
                  const std::map<std::string, std::string>& volumeLabels);

    // Sorted by their text.
    const std::vector<DriveEntry>& drives() const { return drives_; }
    std::optional<std::size_t> selectedDrive() const { return selectedDrive_; }
    // kParentFolderRow first unless the path is a drive root or "/", then the sub-folders in
    // the order the listing gives them.
    const std::vector<std::string>& rows() const { return rows_; }
    const std::string& path() const { return path_; }

    // A double-click on a row: "[..]" goes to the parent folder, any other row into it.
    void OpenRow(std::size_t row);
    // Another drive chosen in the drive list: the path becomes its root.
    void ChooseDrive(std::size_t index);

  private:
    void fill();
    bool isDriveRoot(const std::string& folder) const;
    std::optional<std::size_t> driveHolding(const std::string& folder) const;

    MountTable mounts_;
    std::vector<DriveEntry> drives_;
    std::optional<std::size_t> selectedDrive_;
    std::vector<std::string> rows_;
    std::string path_;
};

// The dialog itself, implemented by the window: shows the browser, lets the user work it, and
// reports OK (true) or Cancel (false).
class FolderBrowserView {
  public:
    virtual ~FolderBrowserView() = default;
    virtual bool run(FolderBrowser& browser) = 0;
};

// The chosen folder on OK, nothing on Cancel.
std::optional<std::string> BrowseForFolder(std::string_view startPath, FolderBrowserView& view,
                                           const MountTable& mounts,
                                           const std::map<std::string, std::string>& labels);
// The same with this machine's mounts and volume labels.
std::optional<std::string> BrowseForFolder(std::string_view startPath, FolderBrowserView& view);

}  // namespace server
