#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace platform {

// Which permissions a file takes over from the one it replaces.
enum class ReplacedMode {
    Ignore,         // none: it gets newFileMode, as if nothing had been there
    Keep,           // those of whatever the path named
    KeepIfRegular,  // those of a regular file only
};

struct AtomicWriteOptions {
    // Creates the missing folders above the file (mkdir -p) with folderMode, under the umask.
    bool createFolders = false;
    mode_t folderMode = 0777;
    // A new file is created with this mode, under the umask.
    mode_t newFileMode = 0666;
    ReplacedMode replacedMode = ReplacedMode::KeepIfRegular;
};

// Replaces the file at path with data so that a crash or a full disk leaves either the old file
// or the new one, never a half-written one: a temporary file in the same folder is written,
// synced and renamed over the target, and the folder is synced. On failure the temporary file
// is removed and the target is left as it was.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         AtomicWriteOptions options = {});

}  // namespace platform
