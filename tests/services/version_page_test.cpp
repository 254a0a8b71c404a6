#include "server/services/version/version_page.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry_hive.h"
#include "server/engine/server_settings.h"
#include "server/monitor/version_check.h"

namespace {

using server::ParseVersionPage;
using server::VersionValue;

TEST(VersionPage, TagsAreFoundInAnyCaseOrderAndPlace) {
    auto page = ParseVersionPage(
        "junk <b>bold</b><!SIZE=12x34><!note=first>text<!available from=/files/new.exe>"
        "<!Current VERSION=V3.70><!Note=second>");
    EXPECT_EQ(page.currentVersion, "V3.70");
    EXPECT_EQ(page.availableFrom, "/files/new.exe");
    EXPECT_EQ(page.size, 12u) << "digits up to the first non-digit";
    EXPECT_EQ(page.notes, (std::vector<std::string>{"first", "second"}));
}

TEST(VersionPage, LaterTagsReplaceAndValuesMayRunToTheEnd) {
    auto page = ParseVersionPage(
        "<!Size=500><!Current Version=V1.0><!Size=x><!Current Version=V2.0><!Available From=/a");
    EXPECT_EQ(page.currentVersion, "V2.0");
    EXPECT_EQ(page.size, 0u) << "each size tag starts again from 0";
    EXPECT_EQ(page.availableFrom, "/a") << "a value ends at the end of the data";

    EXPECT_TRUE(ParseVersionPage("").currentVersion.empty());
    EXPECT_TRUE(ParseVersionPage("<!Current Version").currentVersion.empty()) << "no '='";
    // A value runs to the next '>', swallowing a tag that starts inside it.
    page = ParseVersionPage("<!Current Version=V3<!Note=x>");
    EXPECT_EQ(page.currentVersion, "V3<!Note=x");
    EXPECT_TRUE(page.notes.empty());
    // Bytes after a zero are still scanned.
    EXPECT_EQ(ParseVersionPage(std::string_view("\0<!Size=7>", 10)).size, 7u);
}

TEST(VersionValue, DigitsAroundTheLastPoint) {
    EXPECT_DOUBLE_EQ(VersionValue(server::kRunningVersion), 3.6);
    EXPECT_EQ(VersionValue("V3.60"), VersionValue(server::kRunningVersion));
    EXPECT_LT(VersionValue("V3.5"), VersionValue(server::kRunningVersion));
    EXPECT_GT(VersionValue("V3.70"), VersionValue(server::kRunningVersion));
    EXPECT_GT(VersionValue("V3.601"), VersionValue(server::kRunningVersion));
    EXPECT_EQ(VersionValue("V4"), 0.0) << "no point counts as 0";
    EXPECT_DOUBLE_EQ(VersionValue("1.2.34"), 2.34) << "only the last point counts";
    EXPECT_DOUBLE_EQ(VersionValue("V12.5beta"), 12.5);
    EXPECT_DOUBLE_EQ(VersionValue(".7"), 0.7);
    EXPECT_DOUBLE_EQ(VersionValue("a1b.c"), 0.0);
}

TEST(VersionRequest, LineFormAndLengthLimit) {
    EXPECT_EQ(server::VersionRequestLine("/files/new.exe"), "GET /files/new.exe HTTP 1/1\r\n");
    EXPECT_EQ(server::VersionRequestLine(""), "GET  HTTP 1/1\r\n");
    const std::string line = server::VersionRequestLine(std::string(5000, 'a'));
    EXPECT_EQ(line.size() + server::kAcceptLines.size(), server::kVersionRequestSize - 1);
    EXPECT_TRUE(line.ends_with(" HTTP 1/1\r\n"));
    EXPECT_EQ(server::kVersionPageRequest.size() + server::kAcceptLines.size(), 43u);
}

TEST(VersionServer, HiveValuesWithDefaults) {
    platform::RegistryHive hive("/nonexistent/ravendockd.reg");
    auto server = server::ReadVersionServer(hive);
    EXPECT_EQ(server.host, server::kDefaultVersionHost);
    EXPECT_EQ(server.port, 80);

    hive.writeString(server::kSettingsKey, "versionhost", "10.1.2.3");
    hive.writeString(server::kSettingsKey, "VersionPort", "8080x");
    server = server::ReadVersionServer(hive);
    EXPECT_EQ(server.host, "10.1.2.3");
    EXPECT_EQ(server.port, 8080);
    hive.writeDword(server::kSettingsKey, "VersionPort", 70000);
    EXPECT_EQ(server::ReadVersionServer(hive).port, 80);
    hive.writeDword(server::kSettingsKey, "VersionPort", 0);
    EXPECT_EQ(server::ReadVersionServer(hive).port, 80);
}

}  // namespace
