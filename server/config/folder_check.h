#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "server/config/folder_mount_table.h"
#include "server/engine/server_dialogs.h"
#include "server/engine/server_settings.h"

namespace server {

inline constexpr std::string_view kPathErrorText = "Error in path definition for ";
inline constexpr std::string_view kInboundCdRomText = "Inbound path specifies a CD-ROM Device";
inline constexpr std::string_view kRiskyDriveText =
    "Warning : Specified drive is either removeable, a network drive, or an unknown "
    "type.\nUse at your own peril !";
inline constexpr std::string_view kInboundCurrentDirectoryQuestion =
    "Do you want the Inbound Directory set to the\ncurrent application path ?";
inline constexpr std::string_view kOutboundCurrentDirectoryQuestion =
    "Do you want the Outbound Directory set to the\ncurrent application path ?";

enum class FolderKind { Inbound, Outbound };

// Backslashes become '/', and a '/' is appended unless the path ends with one.
std::string NormaliseFolderPath(std::string_view path);

// The checked form of a folder typed on the Inbound or Outbound page: the normalised path, or
// an empty text when it is refused (a missing folder, or an inbound folder on a CD-ROM). Shows
// its own messages; an empty path gives an empty result without one. Changes no setting.
std::string ValidateFolderPath(std::string_view path, bool inbound, ServerDialogs& dialogs,
                               const MountTable& mounts);
// The same against this machine's mounts.
std::string ValidateFolderPath(std::string_view path, bool inbound, ServerDialogs& dialogs);

// A Yes/No question with a question icon; true for Yes.
using AskYesNo = std::function<bool(std::string_view question)>;

enum class FolderApply {
    Applied,  // the page goes on to apply its check boxes
    Refused,  // nothing of the page is applied and the sheet shows it again
};

// Applies the path of the Inbound or Outbound page. `field` is the page's path field: it
// receives the checked path (empty after a refusal), or the current directory when the user
// answers Yes to the question about an empty field. A path given on the command line is left
// alone.
FolderApply ApplyFolderPage(FolderKind kind, std::string& field, ServerSettings& settings,
                            ServerDialogs& dialogs, const AskYesNo& askYesNo,
                            const MountTable& mounts);

}  // namespace server
