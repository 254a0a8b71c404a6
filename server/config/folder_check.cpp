#include "server/config/folder_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace server {

namespace {

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where a drive letter would be made the current drive: the path names a mount point a user
// can browse and the process may enter it. The current directory is not actually changed,
// since every thread of the process shares it.
bool isUsableDriveRoot(const std::string& normalised, const MountTable& mounts) {
    const std::string point =
        normalised.size() > 1 ? normalised.substr(0, normalised.size() - 1) : normalised;
    const std::vector<Mount> roots = mounts.BrowsableMounts();
    const bool root = std::any_of(roots.begin(), roots.end(),
                                  [&](const Mount& m) { return m.mountPoint == point; });
    return root && ::access(normalised.c_str(), X_OK) == 0;
}

std::string currentDirectoryWithSlash() {
    std::error_code ec;
    std::string current = std::filesystem::current_path(ec).string();
    if (ec || current.empty()) {
        return {};
    }
    if (current.back() != '/') {
        current += '/';
    }
    return current;
}

}  // namespace

std::string NormaliseFolderPath(std::string_view path) {
    std::string normalised(path);
    std::replace(normalised.begin(), normalised.end(), '\\', '/');
    if (normalised.empty() || normalised.back() != '/') {
        normalised += '/';
    }
    return normalised;
}

std::string ValidateFolderPath(std::string_view path, bool inbound, ServerDialogs& dialogs,
                               const MountTable& mounts) {
    if (path.empty()) {
        return {};
    }
    const std::string normalised = NormaliseFolderPath(path);
    if (!isDirectory(normalised + ".") && !isUsableDriveRoot(normalised, mounts)) {
        dialogs.messageBox(std::string(kPathErrorText) + normalised, MessageIcon::Error);
        return {};
    }
    switch (mounts.DriveTypeOf(normalised)) {
        case DriveType::CdRom:
            if (inbound) {
                dialogs.messageBox(kInboundCdRomText, MessageIcon::Error);
                return {};
            }
            [[fallthrough]];
        case DriveType::Removable:
        case DriveType::Remote:
        case DriveType::Unknown:
            dialogs.messageBox(kRiskyDriveText, MessageIcon::Warning);
            return normalised;
        case DriveType::NoRootDir:
        case DriveType::Fixed:
        case DriveType::RamDisk:
            break;
    }
    return normalised;
}

std::string ValidateFolderPath(std::string_view path, bool inbound, ServerDialogs& dialogs) {
    return ValidateFolderPath(path, inbound, dialogs, MountTable::FromSystem());
}

FolderApply ApplyFolderPage(FolderKind kind, std::string& field, ServerSettings& settings,
                            ServerDialogs& dialogs, const AskYesNo& askYesNo,
                            const MountTable& mounts) {
    const bool inbound = kind == FolderKind::Inbound;
    if (inbound ? settings.InPathFromCommandLine : settings.OutPathFromCommandLine) {
        return FolderApply::Applied;
    }
    if (!field.empty()) {
        field = ValidateFolderPath(field, inbound, dialogs, mounts);
        if (field.empty()) {
            return FolderApply::Refused;
        }
    } else if (askYesNo(inbound ? kInboundCurrentDirectoryQuestion
                                : kOutboundCurrentDirectoryQuestion)) {
        field = currentDirectoryWithSlash();
    }
    (inbound ? settings.InPath : settings.OutPath) = field;
    return FolderApply::Applied;
}

}  // namespace server
