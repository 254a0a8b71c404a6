#include "server/engine/transfer_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    for (auto dots = path.find(".."); dots != std::string::npos; dots = path.find("..")) {
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

bool MakePath(const std::string& path) {
    auto last = path.rfind('/');
    if (last == std::string::npos) {
        return true;
    }
    for (auto slash = path.find('/'); slash != std::string::npos && slash <= last;
         slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash + 1);
        if (::mkdir(folder.c_str(), 0777) != 0 && errno == ENOENT) {
            return false;
        }
    }
    return true;
}

}  // namespace server
