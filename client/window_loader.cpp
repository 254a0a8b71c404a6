#include "client/window_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>

namespace client {

namespace {

std::string programFolder() {
    std::array<char, 4096> path{};
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return ".";
    }
    std::string folder(path.data(), static_cast<std::size_t>(n));
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

}  // namespace

std::optional<int> RunWindowModule(int argc, char** argv, std::string& why) {
    const std::string folder = programFolder();
    for (const std::string& path :
         {folder + "/" + kWindowModuleName, folder + "/../lib/merrowinc/" + kWindowModuleName}) {
        if (::access(path.c_str(), R_OK) != 0) {
            continue;
        }
        // Never closed: Qt leaves threads and exit handlers behind.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* error = ::dlerror();
            why = error != nullptr ? error : path;
            return std::nullopt;
        }
        auto entry = reinterpret_cast<WindowEntry>(::dlsym(module, kWindowEntryName));
        if (entry == nullptr) {
            why = path + " has no " + kWindowEntryName;
            return std::nullopt;
        }
        return entry(argc, argv);
    }
    why = std::string(kWindowModuleName) + " not found beside the program";
    return std::nullopt;
}

}  // namespace client
