#include "server/engine/transfer_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace server {

TransferPath BuildTransferPath(std::string_view base, std::string_view requestedName,
                               bool keepSubdirectories) {
    TransferPath result;
    std::string name(requestedName);
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    std::string path(base);
    path += name;
    if (!keepSubdirectories) {
        auto slash = path.rfind('/');
        if (slash != std::string::npos && slash > base.size()) {
            path = std::string(base) + path.substr(slash + 1);
            result.altered = true;
        }
    }
    // The base ends in '/', so the name starts right after it whatever the step above did.
    const std::size_t nameStart = std::min(base.size(), path.size());
    for (auto dots = path.find("..", nameStart); dots != std::string::npos;
         dots = path.find("..", nameStart)) {
        path.erase(dots, 2);
        result.altered = true;
    }
    for (auto twin = path.find("//"); twin != std::string::npos; twin = path.find("//")) {
        path.erase(twin, 1);
        result.altered = true;
    }
    result.path = std::move(path);
    return result;
}

namespace {

std::vector<std::string> normalisedComponents(std::string_view path) {
    std::string full;
    if (path.empty() || path.front() != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) != nullptr) {
            full = cwd;
        }
        full += '/';
    }
    full += path;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= full.size()) {
        auto end = full.find('/', start);
        if (end == std::string::npos) {
            end = full.size();
        }
        std::string part = full.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

bool IsInsideBase(std::string_view base, std::string_view path) {
    auto baseParts = normalisedComponents(base);
    auto pathParts = normalisedComponents(path);
    if (pathParts.size() <= baseParts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < baseParts.size(); ++i) {
        if (baseParts[i] != pathParts[i]) {
            return false;
        }
    }
    return true;
}

std::string DuplicateCandidate(const std::string& path, int n) {
    auto slash = path.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    auto dot = path.rfind('.');
    if (dot != std::string::npos && dot > nameStart) {
        return path.substr(0, dot + 1) + std::to_string(n) + "." + path.substr(dot + 1);
    }
    return path + "." + std::to_string(n);
}

namespace {

std::optional<std::string> resolved(const std::string& path) {
    char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (real == nullptr) {
        return std::nullopt;
    }
    std::string out(real);
    std::free(real);
    return out;
}

// Both resolved: folder is base or lies inside it.
bool withinFolder(const std::string& folder, const std::string& base) {
    if (folder == base || base == "/") {
        return true;
    }
    return folder.size() > base.size() && folder.compare(0, base.size(), base) == 0 &&
           folder[base.size()] == '/';
}

}  // namespace

bool MakePath(std::string_view base, const std::string& path) {
    const auto realBase = resolved(std::string(base));
    if (!realBase) {
        return false;
    }
    // The path holds the base with its doubled separators collapsed.
    std::size_t baseLength = base.size();
    for (std::size_t i = 1; i < base.size(); ++i) {
        baseLength -= base[i] == '/' && base[i - 1] == '/' ? 1 : 0;
    }
    auto last = path.rfind('/');
    if (last == std::string::npos) {
        return true;
    }
    for (auto slash = path.find('/'); slash != std::string::npos && slash <= last;
         slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash + 1);
        if (::mkdir(folder.c_str(), 0777) == 0) {
            continue;
        }
        if (errno == ENOENT) {
            return false;
        }
        // An existing level below the base must not lead out of it.
        if (folder.size() > baseLength) {
            if (auto real = resolved(folder); real && !withinFolder(*real, *realBase)) {
                return false;
            }
        }
    }
    return true;
}

std::optional<std::string> ResolveUploadFolder(std::string_view base, const std::string& path) {
    const auto slash = path.rfind('/');
    const auto folder = resolved(slash == std::string::npos ? "" : path.substr(0, slash + 1));
    const auto realBase = resolved(std::string(base));
    if (!folder || !realBase || !withinFolder(*folder, *realBase)) {
        return std::nullopt;
    }
    return *folder == "/" ? *folder : *folder + "/";
}

}  // namespace server
