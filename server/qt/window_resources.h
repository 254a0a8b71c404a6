#pragma once

namespace server {

// Registers the window's icons and pictures (they live in a static library, so the linker needs
// to be told); call once before the first window.
void InitWindowResources();

}  // namespace server
