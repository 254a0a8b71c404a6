#pragma once

#include <optional>

#include "server/monitor/client_row.h"

namespace platform {
class RegistryHive;
}

namespace server {

// Main window rectangle in screen pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct WindowLayout {
    bool haveRect = false;  // false: no stored rectangle, the platform places the window
    WindowRect rect;
    ColumnWidths widths = kDefaultColumnWidths;
};

// Widths that tell SaveWindowLayout to store the rectangle only.
inline constexpr ColumnWidths kNoColumnWidths{-1, -1, -1, -1, -1, -1};

// Reads "WinLeft".."WinBottom" and "Col1".."Col6" (DWORDs under kSettingsKey). A value missing
// after "WinLeft" or after "Col1" repeats the value read before it. The widths are taken only
// when "Col1", as unsigned, is below the stored width of the rectangle; else all six default.
WindowLayout LoadWindowLayout(const platform::RegistryHive& hive);

// Writes the rectangle and, unless the first two widths are -1, "Col1".."Col6", then saves the
// hive file at once (re-reading it first so other values on disk are kept). Failures are silent.
void SaveWindowLayout(platform::RegistryHive& hive, const WindowRect& rect,
                      const ColumnWidths& widths);

struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Where the main window goes at an initial update: nothing without a stored rectangle, while
// bMinimised is on, or when the stored top or left is at 2900 or beyond (an off-screen leftover).
std::optional<WindowPlacement> MainWindowPlacement(const WindowLayout& layout, bool minimised);

}  // namespace server
