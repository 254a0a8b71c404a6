#include "server/monitor/window_layout.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/registry_hive.h"
#include "server/engine/server_settings.h"

namespace {

using namespace server;

class WindowLayoutTest : public ::testing::Test {
  protected:
    void store(std::initializer_list<std::pair<const char*, int>> values) {
        for (auto [name, value] : values) {
            hive.writeDword(kSettingsKey, name, static_cast<std::uint32_t>(value));
        }
    }
    platform::RegistryHive hive{"/nonexistent/unused.reg"};
};

TEST_F(WindowLayoutTest, PlacementNeedsAnOnScreenRectangleAndNotMinimised) {
    store({{"Col1", 40}});
    const WindowLayout layout = LoadWindowLayout(hive);
    EXPECT_FALSE(layout.haveRect);
    EXPECT_EQ(layout.widths, kDefaultColumnWidths);
    EXPECT_FALSE(MainWindowPlacement(layout, false));

    WindowLayout stored;
    stored.haveRect = true;
    stored.rect = {2899, -30, 3299, 270};
    EXPECT_TRUE(MainWindowPlacement(stored, false));
    EXPECT_FALSE(MainWindowPlacement(stored, true)) << "bMinimised";
    stored.rect.left = 2900;
    EXPECT_FALSE(MainWindowPlacement(stored, false));
    stored.rect = {0, 2900, 100, 3000};
    EXPECT_FALSE(MainWindowPlacement(stored, false));
}

TEST_F(WindowLayoutTest, SaveAndLoadRoundTripThroughTheFile) {
    char pattern[] = "/tmp/ravendock-layout-XXXXXX";
    const std::string path = std::string(::mkdtemp(pattern)) + "/ravendockd.reg";
    platform::RegistryHive saved(path);
    const ColumnWidths widths{100, 101, 102, 103, 104, 105};
    SaveWindowLayout(saved, {-8, 20, 792, 620}, widths);
    // The end-of-session save stores the rectangle only.
    SaveWindowLayout(saved, {10, 20, 810, 620}, kNoColumnWidths);

    const WindowLayout layout = LoadWindowLayout(platform::RegistryHive(path));
    EXPECT_EQ(layout.widths, widths);
    auto placed = MainWindowPlacement(layout, false);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->x, 10);
    EXPECT_EQ(placed->y, 20);
    EXPECT_EQ(placed->width, 800);
    EXPECT_EQ(placed->height, 600);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

TEST_F(WindowLayoutTest, MissingValuesRepeatThePreviousRead) {
    store({{"WinLeft", 50}, {"WinRight", 650}, {"Col1", 70}, {"Col2", 80}, {"Col4", 90}});
    const WindowLayout layout = LoadWindowLayout(hive);
    EXPECT_EQ(layout.rect.top, 50);
    EXPECT_EQ(layout.rect.bottom, 650);
    EXPECT_EQ(layout.widths, (ColumnWidths{70, 80, 80, 90, 90, 90}));
}

TEST_F(WindowLayoutTest, FirstWidthMustBeBelowWindowWidth) {
    store({{"WinLeft", 0}, {"WinTop", 0}, {"WinRight", 600}, {"WinBottom", 400}, {"Col2", 5}});
    store({{"Col1", 5000}});
    EXPECT_EQ(LoadWindowLayout(hive).widths, kDefaultColumnWidths);
    store({{"Col1", 600}});
    EXPECT_EQ(LoadWindowLayout(hive).widths, kDefaultColumnWidths);
    store({{"Col1", 599}});
    EXPECT_EQ(LoadWindowLayout(hive).widths[1], 5);
}

}  // namespace
