#include "platform/display_probe.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

namespace platform {

namespace {

const char* setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Opens and closes a connection through libxcb, which Qt's X11 platform loads anyway; dlopen
// keeps this library free of a link to it. Without libxcb, Qt is left to try.
bool xDisplayOpens(const char* display) {
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) {
        return true;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool opens = true;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(display, nullptr);
        opens = hasError(connection) == 0;
        disconnect(connection);
    }
    ::dlclose(xcb);
    return opens;
}

}  // namespace

std::string WhyNoDisplay() {
    if (const char* platform = setting("QT_QPA_PLATFORM")) {
        const std::string_view name(platform);
        if (name.starts_with("offscreen") || name.starts_with("vnc") ||
            name.starts_with("wayland")) {
            return {};
        }
    }
    if (setting("WAYLAND_DISPLAY") != nullptr) {
        return {};
    }
    const char* display = setting("DISPLAY");
    if (display == nullptr) {
        return "no display (DISPLAY is not set)";
    }
    return xDisplayOpens(display) ? std::string() : std::string("cannot open display ") + display;
}

}  // namespace platform
