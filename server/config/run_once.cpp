#include "server/config/run_once.h"

#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <string_view>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"
#include "platform/config_paths.h"
#include "platform/registry_hive.h"
#include "platform/text_input.h"
#include "server/engine/server_settings.h"

namespace server {

namespace {

// The autostart entry must work from any folder, while the stored value keeps the text the
// program was started with.
std::string absolutePath(std::string_view path) {
    if (!path.empty() && path.front() == '/') {
        return std::string(path);
    }
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) {
        return std::string(path);
    }
    return std::string(cwd) + "/" + std::string(path);
}

// Desktop entry Exec quoting: the path in double quotes, where ", `, $ and \ take a backslash;
// the file's own escaping then doubles every backslash, and % is written %%.
std::string quoteExec(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '\\') {
            out += "\\\\\\\\";
        } else if (c == '"' || c == '`' || c == '$') {
            out += "\\\\";
            out += c;
        } else if (c == '%') {
            out += "%%";
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::optional<std::string> execPathOf(const std::string& entryPath) {
    constexpr std::string_view kKey = "X-Ravendock-Program=";
    const std::string text = platform::ReadFileCapped(entryPath, 64 * 1024).value_or(std::string());
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view line = platform::NextLine(text, at);
        if (line.starts_with(kKey)) {
            return std::string(line.substr(kKey.size()));
        }
    }
    return std::nullopt;
}

bool samePath(const std::string& a, const std::string& b) {
    char ra[PATH_MAX];
    char rb[PATH_MAX];
    if (::realpath(a.c_str(), ra) != nullptr && ::realpath(b.c_str(), rb) != nullptr) {
        return std::string(ra) == rb;
    }
    return a == b;
}

}  // namespace

std::string AutostartEntryPath(std::string_view valueName) {
    std::string name(valueName);
    for (char& c : name) {
        c = platform::AsciiLower(c);
    }
    return platform::ConfigHome() + "/autostart/ravendockd-" + name + ".desktop";
}

void RegisterRunOnce(const ServerSettings& settings, platform::RegistryHive& hive,
                     std::string_view newerProgram) {
    if (settings.bPreventRestart) {
        return;
    }
    const std::string_view valueName = newerProgram.empty() ? kRunOnceSelf : kRunOnceNewer;
    const std::string program(newerProgram.empty() ? std::string_view(settings.Location)
                                                   : newerProgram);
    hive.reload();
    hive.createKey(kRunOnceKey);
    hive.writeString(kRunOnceKey, valueName, program);
    if (!hive.save()) {
        return;
    }
    const std::string absolute = absolutePath(program);
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Ravendock\n"
        "Comment=Runs once at the next logon\n"
        "NoDisplay=true\n"
        "Exec=" +
        quoteExec(absolute) +
        "\n"
        "X-Ravendock-Program=" +
        absolute + "\n";
    // Autostart folders are the user's own; the entry itself is readable like any desktop file.
    platform::WriteFileAtomically(AutostartEntryPath(valueName), entry,
                                  {.createFolders = true,
                                   .folderMode = 0700,
                                   .newFileMode = 0644,
                                   .replacedMode = platform::ReplacedMode::Ignore});
}

void ConsumeRunOnce(platform::RegistryHive& hive, std::string_view ownLocation) {
    const std::string own = absolutePath(ownLocation);
    bool changed = false;
    for (std::string_view valueName : {kRunOnceSelf, kRunOnceNewer}) {
        const std::string entryPath = AutostartEntryPath(valueName);
        auto program = execPathOf(entryPath);
        if (!program || !samePath(*program, own)) {
            continue;
        }
        ::unlink(entryPath.c_str());
        hive.deleteValue(kRunOnceKey, valueName);
        changed = true;
    }
    if (changed) {
        hive.save();
    }
}

}  // namespace server
