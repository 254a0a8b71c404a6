#include "server/config/served_folders.h"

#include <filesystem>
#include <system_error>

#include "server/engine/server_settings.h"

namespace server {

namespace {

std::string shown(const std::string& folder, const char* kind) {
    std::error_code ec;
    std::string full =
        std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal().string();
    if (ec) {
        full = folder;
    }
    if (full.empty() || full.back() != '/') {
        full += '/';
    }
    if (folder.empty()) {
        full += std::string(" (the current folder: no ") + kind + " folder is set)";
    }
    return full;
}

}  // namespace

std::string ServedFoldersText(const ServerSettings& settings) {
    return "Serving reads from " + shown(settings.OutPath, "outbound") + " and writes into " +
           shown(settings.InPath, "inbound");
}

}  // namespace server
