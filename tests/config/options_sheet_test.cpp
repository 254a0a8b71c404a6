#include "server/config/options_sheet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../engine/engine_harness.h"
#include "../support/recording_front_end.h"

using server::OptionsPageId;
using server::OptionsSheet;

namespace {

using RecordingFrontEnd = testsupport::RecordingFrontEnd;

class OptionsSheetTest : public enginetest::EngineTest {
  protected:
    OptionsSheetTest() {
        app.settings.ADData = root() + "/AllowDeny.dat";
        context.mounts = server::MountTable::Parse("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
        context.askYesNo = [this](std::string_view question) {
            questions.emplace_back(question);
            return false;
        };
    }

    OptionsSheet makeSheet() { return OptionsSheet(app, frontEnd, context); }

    // Starts a read transfer that stays active until its block is acknowledged.
    void startRead() {
        writeFile(outPath("small.txt"), "hello");
        sendToListener(enginetest::request(1, "small.txt", "octet"));
        ASSERT_TRUE(receive());
        ASSERT_EQ(clientCount(), 1);
    }

    RecordingFrontEnd frontEnd;
    server::OptionsContext context;
    std::vector<std::string> questions;
};

TEST_F(OptionsSheetTest, OnlyOpenedPagesAreAppliedAndCancelStillFollowsTheTrayFlag) {
    app.settings.nPriority = 255;
    app.settings.IcmpFlags = 0xC001;
    app.settings.bUseTaskbar = true;
    {
        OptionsSheet sheet = makeSheet();
        EXPECT_FALSE(sheet.applyEnabled());
        sheet.showPage(OptionsPageId::Other);
        sheet.other().timeout = "45";
        sheet.other().setModified();
        EXPECT_TRUE(sheet.applyEnabled());
        ASSERT_TRUE(sheet.ok());
        EXPECT_FALSE(sheet.applyEnabled());
        sheet.closed();
    }
    EXPECT_EQ(app.settings.Timeout, "45");
    // Never shown: neither the priorities, the ICMP bits nor the access-list file were touched.
    EXPECT_EQ(app.settings.nPriority, 255U);
    EXPECT_EQ(app.settings.IcmpFlags, 0xC001U);
    EXPECT_FALSE(std::filesystem::exists(app.settings.ADData));
    EXPECT_EQ(frontEnd.calls, std::vector<std::string>{"add"});

    // Applied untouched: "Automatic Priority Changes" and the page's fourteen bits only.
    {
        OptionsSheet sheet = makeSheet();
        sheet.showPage(OptionsPageId::Threads);
        EXPECT_EQ(sheet.threads().priority, 3);
        sheet.showPage(OptionsPageId::Icmp);
        ASSERT_TRUE(sheet.apply());
        // Cancel after Apply: what Apply stored stays; the tray follows the flag again.
        sheet.other().useTaskbar = false;
        app.settings.bUseTaskbar = false;
        sheet.closed();
    }
    EXPECT_EQ(app.settings.nPriority, 3U);
    EXPECT_EQ(app.settings.IcmpFlags, 0x1U);
    EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"add", "remove"}));
}

TEST_F(OptionsSheetTest, CancelChangesNoSetting) {
    const server::ServerSettings before = app.settings;
    OptionsSheet sheet = makeSheet();
    for (std::size_t i = 0; i < server::kOptionsPageCount; ++i) {
        sheet.showPage(static_cast<OptionsPageId>(i));
    }
    sheet.inbound().inPaths = true;
    sheet.other().port = "7000";
    sheet.clients().setPositions(5, 0);
    sheet.threads().priority = 0;
    sheet.closed();
    EXPECT_EQ(app.settings.bInPaths, before.bInPaths);
    EXPECT_EQ(app.settings.Port, before.Port);
    EXPECT_EQ(app.settings.nClientLimit, before.nClientLimit);
    EXPECT_EQ(app.settings.nPriority, before.nPriority);
    EXPECT_EQ(frontEnd.calls, std::vector<std::string>{"remove"});
}

TEST_F(OptionsSheetTest, PortChangeMovesAnIdleListenerAtOnce) {
    listen();
    const std::uint16_t old = listenPort;
    OptionsSheet sheet = makeSheet();
    sheet.showPage(OptionsPageId::Other);
    sheet.other().port = std::to_string(old == 65535 ? old - 1 : old + 1);
    ASSERT_TRUE(sheet.apply());
    ASSERT_NE(app.listener(), nullptr);
    EXPECT_EQ(std::to_string(app.listener()->port()), sheet.other().port);
    EXPECT_TRUE(dialogs.shown.empty());

    // The same text again is no change.
    const auto* listener = app.listener();
    ASSERT_TRUE(sheet.apply());
    EXPECT_EQ(app.listener(), listener);
}

TEST_F(OptionsSheetTest, PortChangeWithAClientWaitsInOneDialogAndMovesWhenTheClientHasGone) {
    listen();
    startRead();
    const std::uint16_t old = listenPort;
    std::string latest;
    {
        OptionsSheet sheet = makeSheet();
        sheet.showPage(OptionsPageId::Other);
        for (int step = 1; step <= 2; ++step) {
            latest = std::to_string(old > 60000 ? old - step : old + step);
            sheet.other().port = latest;
            ASSERT_TRUE(sheet.apply());
        }
        EXPECT_EQ(app.listener()->port(), old);
        EXPECT_EQ(dialogs.shown,
                  std::vector<server::WaitDialogKind>{server::WaitDialogKind::PortChange});

        // The transfer ends and the pass removes it; closing the sheet adjusts priorities,
        // which moves the waiting listener.
        sendToTransfer(enginetest::ack(1));
        pump();
        app.supervisor().Supervise();
        ASSERT_EQ(clientCount(), 0);
        sheet.closed();
    }
    ASSERT_NE(app.listener(), nullptr);
    EXPECT_EQ(std::to_string(app.listener()->port()), latest);
    EXPECT_EQ(dialogs.closed,
              std::vector<server::WaitDialogKind>{server::WaitDialogKind::PortChange});
}

TEST_F(OptionsSheetTest, RefusedFolderLeavesItsPageUnappliedAndTurnsTheSheetToIt) {
    const std::string inPath = app.settings.InPath;
    OptionsSheet sheet = makeSheet();
    sheet.inbound().path = root() + "/missing";
    sheet.inbound().inPaths = true;
    sheet.inbound().setModified();
    sheet.showPage(OptionsPageId::Other);
    sheet.other().skipRetry = true;
    EXPECT_FALSE(sheet.ok());
    EXPECT_EQ(sheet.currentPage(), OptionsPageId::Inbound);
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"Error in path definition for " + root() + "/missing/"});
    EXPECT_EQ(app.settings.InPath, inPath);
    EXPECT_FALSE(app.settings.bInPaths);
    EXPECT_TRUE(sheet.inbound().modified());
    // The other pages are applied all the same.
    EXPECT_TRUE(app.settings.bSkipRetry);

    // An emptied field asks about the current directory; No keeps the path empty.
    sheet.inbound().path.clear();
    EXPECT_TRUE(sheet.ok());
    EXPECT_EQ(questions.size(), 1U);
    EXPECT_EQ(app.settings.InPath, "");
    EXPECT_TRUE(app.settings.bInPaths);
}

TEST_F(OptionsSheetTest, CommandLinePathsAreLeftAloneAndTheirFieldsDisabled) {
    app.settings.OutPathFromCommandLine = true;
    app.settings.OutPath = root() + "/not-checked";
    OptionsSheet sheet = makeSheet();
    sheet.showPage(OptionsPageId::Outbound);
    EXPECT_TRUE(sheet.inbound().pathEnabled());
    EXPECT_FALSE(sheet.outbound().pathEnabled());
    sheet.outbound().force = true;
    sheet.outbound().forceFile = "boot.img";
    EXPECT_TRUE(sheet.ok());
    EXPECT_EQ(app.settings.OutPath, root() + "/not-checked");
    EXPECT_EQ(app.settings.bForce, 1U);
    EXPECT_EQ(app.settings.ForceFile, "boot.img");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(OptionsSheetTest, OptionsPageRules) {
    app.settings.bAskAddress = true;
    app.settings.bNoSplash = false;
    {
        OptionsSheet sheet = makeSheet();
        sheet.showPage(OptionsPageId::Other);
        // One host address: the multihomed box shows unchecked, disabled, and is not applied.
        EXPECT_FALSE(sheet.other().multihomedBoxEnabled());
        sheet.other().noMultihomedBox = true;
        // Minimised start forces the splash off whatever its box shows.
        sheet.other().setMinimised(true);
        EXPECT_FALSE(sheet.other().noSplashEnabled());
        sheet.other().noSplash = false;
        ASSERT_TRUE(sheet.ok());
    }
    EXPECT_TRUE(app.settings.bAskAddress);
    EXPECT_TRUE(app.settings.bMinimised);
    EXPECT_TRUE(app.settings.bNoSplash);

    context.multihomed = true;
    OptionsSheet sheet = makeSheet();
    sheet.showPage(OptionsPageId::Other);
    EXPECT_FALSE(sheet.other().noMultihomedBox);
    sheet.other().noMultihomedBox = true;
    ASSERT_TRUE(sheet.ok());
    EXPECT_FALSE(app.settings.bAskAddress);
}

TEST_F(OptionsSheetTest, ClientLimitsShowOutOfRangeValuesAndAreModifiedOnlyByARealMove) {
    app.settings.nClientLimit = 9;
    app.settings.nDisplayLimit = 12;
    OptionsSheet sheet = makeSheet();
    sheet.showPage(OptionsPageId::Clients);
    EXPECT_EQ(sheet.clients().clientPosition(), 1);
    EXPECT_EQ(sheet.clients().displayPosition(), 6);
    sheet.clients().setPositions(1, 6);
    EXPECT_FALSE(sheet.applyEnabled());
    sheet.clients().setPositions(2, 6);
    sheet.clients().setPositions(1, 6);  // moved back: still modified
    EXPECT_TRUE(sheet.applyEnabled());
    ASSERT_TRUE(sheet.apply());
    EXPECT_EQ(app.settings.nClientLimit, 1U);
    EXPECT_EQ(app.settings.nDisplayLimit, 6U);

    // Turning back to the page remembers the positions afresh.
    sheet.showPage(OptionsPageId::Other);
    sheet.showPage(OptionsPageId::Clients);
    sheet.clients().setPositions(1, 6);
    EXPECT_FALSE(sheet.applyEnabled());
}

TEST_F(OptionsSheetTest, PriorityRadioButtonsMapToTheStoredNumber) {
    for (std::uint32_t stored : {0U, 1U, 2U, 3U, 4U, 255U}) {
        app.settings.nPriority = stored;
        OptionsSheet sheet = makeSheet();
        sheet.showPage(OptionsPageId::Threads);
        EXPECT_EQ(sheet.threads().priority, stored <= 2 ? static_cast<int>(stored) : 3);
    }
    OptionsSheet sheet = makeSheet();
    sheet.showPage(OptionsPageId::Threads);
    sheet.threads().priority.reset();
    sheet.threads().logFile = "other.log";
    ASSERT_TRUE(sheet.apply());
    EXPECT_EQ(app.settings.nPriority, 0U);
    EXPECT_EQ(app.settings.LogFile, "other.log");
}

TEST_F(OptionsSheetTest, AccessListPageWritesTheFileWhenApplied) {
    OptionsSheet sheet = makeSheet();
    sheet.showPage(OptionsPageId::Allow);
    EXPECT_TRUE(sheet.allow().add({127, 0, 0, 1}).added);
    EXPECT_EQ(sheet.allow().add({127, 0, 0, 1}).message, "Entry already exists");
    EXPECT_TRUE(sheet.allow().add({10, std::nullopt, 255, 255}).added);
    sheet.allow().setChecked(true);
    ASSERT_TRUE(sheet.apply());
    EXPECT_EQ(app.settings.bAllow, 1U);
    EXPECT_EQ(app.settings.AllowList, (std::vector<std::string>{"127.0.0.1", "10.0.*.*"}));
    EXPECT_EQ(readFile(app.settings.ADData), std::string("\2\0\0\0\x09"
                                                         "127.0.0.1\x08"
                                                         "10.0.*.*\0\0\0\0",
                                                         27));
}

}  // namespace
