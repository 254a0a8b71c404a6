#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine/server_dialogs.h"

namespace server {

inline constexpr std::string_view kNoMidiFilesText = "Unable to locate any .mid files at\n";

// One pseudo-random bit per call.
using RandomBit = std::function<bool()>;

// A bit source seeded from the system's entropy.
RandomBit SystemRandomBit();

// The program's folder: Location up to and including its last '/', empty when it has none or
// that '/' is its first character (the empty folder is the current directory).
std::string MusicFolder(std::string_view location);

// The ".mid" files of a folder (the extension in any case, regular files and links to them), in
// the order the directory listing gives them.
std::vector<std::string> ListMidiFiles(const std::string& folder);

// Walks the folder's ".mid" files, stopping at the first for which randomBit() is true, else
// taking the last, and returns folder + its name. Without files it shows kNoMidiFilesText +
// folder and returns an empty text.
std::string PickRandomMidi(std::string_view location, ServerDialogs& dialogs,
                           const RandomBit& randomBit);

}  // namespace server
