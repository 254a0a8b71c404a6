#include "server/qt/display_probe.h"

#include <dlfcn.h>

#include <cstdlib>

namespace server {

namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Connects to the X server as Qt would, through libxcb (Qt's own display library, so it is
// there whenever Qt is), without taking Qt down when the connection fails.
std::string probeX11(const char* display) {
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) {
        return {};  // let Qt try
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    std::string why;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(display, nullptr);
        if (hasError(connection) != 0) {
            why = std::string("cannot open display ") + display;
        }
        disconnect(connection);
    }
    ::dlclose(xcb);
    return why;
}

}  // namespace

std::string WhyNoDisplay() {
    if (const char* platform = env("QT_QPA_PLATFORM")) {
        const std::string name(platform);
        if (name.rfind("offscreen", 0) == 0 || name.rfind("wayland", 0) == 0 ||
            name.rfind("vnc", 0) == 0) {
            return {};
        }
    }
    if (env("WAYLAND_DISPLAY") != nullptr) {
        return {};
    }
    const char* display = env("DISPLAY");
    if (display == nullptr) {
        return "no display (DISPLAY is not set)";
    }
    return probeX11(display);
}

}  // namespace server
