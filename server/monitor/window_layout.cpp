#include "server/monitor/window_layout.h"

#include <cstdint>
#include <string>

#include "platform/registry_hive.h"
#include "server/engine/server_settings.h"

namespace server {

namespace {

constexpr int kOffScreen = 2900;

// The registry stores DWORDs; the layout is signed.
int asSigned(std::uint32_t value) {
    return static_cast<int>(static_cast<std::int32_t>(value));
}

std::string columnName(int column) {
    return "Col" + std::to_string(column + 1);
}

}  // namespace

WindowLayout LoadWindowLayout(const platform::RegistryHive& hive) {
    WindowLayout layout;
    if (!hive.keyExists(kSettingsKey)) {
        return layout;
    }
    auto winLeft = hive.readDword(kSettingsKey, "WinLeft");
    if (!winLeft) {
        return layout;
    }
    // One buffer serves every read: a missing value leaves the previous one in place.
    std::uint32_t buffer = *winLeft;
    auto read = [&](const char* name) {
        if (auto value = hive.readDword(kSettingsKey, name)) {
            buffer = *value;
        }
        return buffer;
    };
    layout.haveRect = true;
    layout.rect.left = asSigned(buffer);
    layout.rect.top = asSigned(read("WinTop"));
    layout.rect.right = asSigned(read("WinRight"));
    layout.rect.bottom = asSigned(read("WinBottom"));

    auto col1 = hive.readDword(kSettingsKey, "Col1");
    // Width of the stored rectangle with 32-bit wrap-around, compared unsigned.
    const auto windowWidth = static_cast<std::uint32_t>(
        static_cast<std::int64_t>(layout.rect.right) - static_cast<std::int64_t>(layout.rect.left));
    if (col1 && *col1 < windowWidth) {
        buffer = *col1;
        layout.widths[0] = asSigned(buffer);
        for (int column = 1; column < kColumnCount; ++column) {
            layout.widths[static_cast<std::size_t>(column)] =
                asSigned(read(columnName(column).c_str()));
        }
    }
    return layout;
}

void SaveWindowLayout(platform::RegistryHive& hive, const WindowRect& rect,
                      const ColumnWidths& widths) {
    hive.reload();
    hive.createKey(kSettingsKey);
    hive.writeDword(kSettingsKey, "WinLeft", static_cast<std::uint32_t>(rect.left));
    hive.writeDword(kSettingsKey, "WinTop", static_cast<std::uint32_t>(rect.top));
    hive.writeDword(kSettingsKey, "WinRight", static_cast<std::uint32_t>(rect.right));
    hive.writeDword(kSettingsKey, "WinBottom", static_cast<std::uint32_t>(rect.bottom));
    if (widths[0] != -1 && widths[1] != -1) {
        for (int column = 0; column < kColumnCount; ++column) {
            hive.writeDword(kSettingsKey, columnName(column),
                            static_cast<std::uint32_t>(widths[static_cast<std::size_t>(column)]));
        }
    }
    hive.save();
}

std::optional<WindowPlacement> MainWindowPlacement(const WindowLayout& layout, bool minimised) {
    if (!layout.haveRect || minimised || layout.rect.top >= kOffScreen ||
        layout.rect.left >= kOffScreen) {
        return std::nullopt;
    }
    const WindowRect& r = layout.rect;
    // Stored values are arbitrary; differences wrap rather than overflow.
    auto span = [](int from, int to) {
        return static_cast<int>(static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from));
    };
    return WindowPlacement{r.left, r.top, span(r.left, r.right), span(r.top, r.bottom)};
}

}  // namespace server
