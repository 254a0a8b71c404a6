#include "server/services/music/music_pick.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "platform/ascii_text.h"

namespace server {

namespace {

bool hasMidiExtension(std::string_view name) {
    constexpr std::string_view kExtension = ".mid";
    return name.size() > kExtension.size() && platform::EndsWithIgnoreCase(name, kExtension);
}

}  // namespace

RandomBit SystemRandomBit() {
    auto engine = std::make_shared<std::mt19937>(std::random_device{}());
    return [engine] { return ((*engine)() & 1u) != 0; };
}

std::string MusicFolder(std::string_view location) {
    const std::size_t slash = location.rfind('/');
    if (slash == std::string_view::npos || slash == 0) {
        return {};
    }
    return std::string(location.substr(0, slash + 1));
}

std::vector<std::string> ListMidiFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
    // Bounded by the listing itself; an entry that fails to advance ends the walk.
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (hasMidiExtension(name) && it->is_regular_file(typeError)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::string PickRandomMidi(std::string_view location, ServerDialogs& dialogs,
                           const RandomBit& randomBit) {
    const std::string folder = MusicFolder(location);
    const std::vector<std::string> names = ListMidiFiles(folder);
    if (names.empty()) {
        dialogs.messageBox(std::string(kNoMidiFilesText) + folder, MessageIcon::Information);
        return {};
    }
    std::size_t chosen = names.size() - 1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (randomBit()) {
            chosen = i;
            break;
        }
    }
    return folder + names[chosen];
}

}  // namespace server
