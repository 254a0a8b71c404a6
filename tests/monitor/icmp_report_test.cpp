#include "server/monitor/icmp_report.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "server/engine/server_settings.h"
#include "server/monitor/client_list.h"
#include "server/monitor/icmp_monitor.h"
#include "server/services/icmp/icmp_socket.h"

namespace {

// 2026-12-08 14:05:09 UTC, a Tuesday.
constexpr std::int64_t kDec8At140509 = 1796738709;

// An ICMP message as a raw IPv4 socket delivers it: IPv4 header (with optional option words),
// then type, code, checksum, identifier and sequence.
std::vector<std::uint8_t> icmpDatagram(std::uint8_t type, std::array<std::uint8_t, 4> source,
                                       std::size_t optionWords = 0) {
    const std::size_t header = 20 + 4 * optionWords;
    std::vector<std::uint8_t> d(header + 8, 0);
    d[0] = static_cast<std::uint8_t>(0x40 | (header / 4));
    d[3] = static_cast<std::uint8_t>(d.size());
    d[8] = 64;  // TTL
    d[9] = 1;   // ICMP
    for (std::size_t i = 0; i < 4; ++i) {
        d[12 + i] = source[i];
        d[16 + i] = static_cast<std::uint8_t>(i == 0 ? 127 : (i == 3 ? 1 : 0));
    }
    for (std::size_t i = 20; i < header; ++i) {
        d[i] = 1;  // no-operation options
    }
    d[header] = type;
    return d;
}

// A sign and an index. Appended, not prepended: GCC 12 at -O3 warns falsely (restrict) about
// a literal put in front of a temporary string.
std::string mark(const char* sign, std::size_t index) {
    return std::string(sign).append(std::to_string(index));
}

// Records what a table model would be told, checking the begin/end pairing as it goes.
struct RecordingObserver : server::IcmpReportObserver {
    std::vector<std::string> events;
    void rowAboutToBeInserted(std::size_t index) override { events.push_back(mark("+?", index)); }
    void rowInserted(std::size_t index, const server::IcmpRow& row) override {
        events.push_back(mark("+", index) + " " + row.message);
    }
    void rowAboutToBeRemoved(std::size_t index, const server::IcmpRow& row) override {
        events.push_back(mark("-?", index) + " " + row.source);
    }
    void rowRemoved(std::size_t index) override { events.push_back(mark("-", index)); }
    void visibilityChanged(bool visible) override {
        events.push_back(visible ? "shown" : "hidden");
    }
};

class IcmpReportTest : public ::testing::Test {
  protected:
    IcmpReportTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    bool feed(std::uint8_t type, std::array<std::uint8_t, 4> source = {10, 0, 0, 1}) {
        return report.AddIcmpRow(icmpDatagram(type, source));
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& row : report.rows()) {
            out.push_back(row.message);
        }
        return out;
    }

    server::ServerSettings settings;
    platform::ManualClock clock{kDec8At140509};
    server::IcmpReport report{settings, clock};
};

TEST(IcmpStamp, LongDateAndTimeInEnglishWithZeroPaddedFields) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(server::FormatIcmpStamp(kDec8At140509), "Tuesday, December 08, 2026 14:05:09");
    EXPECT_EQ(server::FormatIcmpStamp(1798960089), "Sunday, January 03, 2027 07:08:09");
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(server::FormatIcmpStamp(kDec8At140509), "Tuesday, December 08, 2026 15:05:09")
        << "local time, not UTC";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

TEST(IcmpColumns, MessageColumnTakesTheRestButNeverLessThanNothing) {
    EXPECT_EQ(server::IcmpColumnWidth(2, 1000), 1000 - server::kIcmpFixedWidth);
    EXPECT_EQ(server::IcmpColumnWidth(2, 100), 0);
}

TEST(ClientTime, EnglishMonthAndZeroPaddedFieldsInLocalTime) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(server::FormatClientTime(kDec8At140509), "08 Dec, 14:05");
    EXPECT_EQ(server::FormatClientTime(1798960089), "03 Jan, 07:08");
}

TEST_F(IcmpReportTest, EchoRequestsAndRepliesAreListedNewestFirst) {
    settings.IcmpFlags = 0x11;
    RecordingObserver seen;
    report.addObserver(&seen);
    for (std::uint8_t i = 1; i <= 3; ++i) {
        clock.advance(1);
        EXPECT_TRUE(feed(8, {192, 168, 0, i}));
        EXPECT_TRUE(feed(0, {10, 1, 2, i}));
    }
    ASSERT_EQ(report.rows().size(), 6u);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Echo Reply", "Echo request", "Echo Reply",
                                                    "Echo request", "Echo Reply", "Echo request"}));
    const server::IcmpRow& newest = report.rows().front();
    EXPECT_EQ(newest.source, "10.1.2.3");
    EXPECT_EQ(newest.stamp, "Tuesday, December 08, 2026 14:05:12");
    EXPECT_EQ(report.rows().back().source, "192.168.0.1");
    EXPECT_EQ(report.rows().back().stamp, "Tuesday, December 08, 2026 14:05:10");
    ASSERT_EQ(seen.events.size(), 12u);
    EXPECT_EQ(seen.events[0], "+?0");
    EXPECT_EQ(seen.events[1], "+0 Echo request");
}

TEST_F(IcmpReportTest, FlagsSelectTheListedKindsAndApplyAtOnce) {
    settings.IcmpFlags = 0x1;
    EXPECT_FALSE(feed(8));
    EXPECT_FALSE(feed(3));
    EXPECT_TRUE(feed(0));
    EXPECT_EQ(messages(), std::vector<std::string>{"Echo Reply"});

    settings.IcmpFlags = 0;
    EXPECT_FALSE(feed(0)) << "IcmpFlags 0 lists nothing";

    // Every named type answers to its own bit only.
    for (const server::IcmpTypeName& known : server::kIcmpTypeNames) {
        settings.IcmpFlags = ~known.bit;
        EXPECT_FALSE(feed(known.type)) << int(known.type);
        settings.IcmpFlags = known.bit;
        EXPECT_TRUE(feed(known.type)) << int(known.type);
        EXPECT_EQ(report.rows().front().message, known.text);
    }
    EXPECT_EQ(report.rows().size(), 14u);
}

TEST_F(IcmpReportTest, TypesOutsideTheTableGoByTheUnknownMessagesBit) {
    settings.IcmpFlags = 0x1fff;  // every named kind, but not the unknown ones
    for (std::uint8_t type : {1, 2, 6, 7, 9, 10, 19, 200, 255}) {
        EXPECT_FALSE(feed(type)) << int(type);
    }
    settings.IcmpFlags = 0x2000;
    EXPECT_TRUE(feed(9));
    EXPECT_TRUE(feed(200));
    EXPECT_TRUE(feed(1));
    EXPECT_FALSE(feed(0)) << "a named type is not unknown";
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"Unassigned report (1)", "Unassigned report (C8)",
                                        "Unassigned report (9)"}));
}

TEST_F(IcmpReportTest, TheThousandAndFirstRowDropsTheOldest) {
    settings.IcmpFlags = 0x1;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(feed(
            0, {10, 0, static_cast<std::uint8_t>(i / 256), static_cast<std::uint8_t>(i % 256)}));
    }
    ASSERT_EQ(report.rows().size(), 1000u);
    RecordingObserver seen;
    report.addObserver(&seen);
    ASSERT_TRUE(feed(0, {172, 16, 0, 1}));
    EXPECT_EQ(report.rows().size(), 1000u);
    EXPECT_EQ(report.rows().front().source, "172.16.0.1");
    EXPECT_EQ(report.rows().back().source, "10.0.0.1") << "10.0.0.0 was the oldest";
    EXPECT_EQ(seen.events,
              (std::vector<std::string>{"+?0", "+0 Echo Reply", "-?1000 10.0.0.0", "-1000"}));
}

TEST_F(IcmpReportTest, ReadsTheFixedLayoutAndIgnoresShortDatagrams) {
    settings.IcmpFlags = 0x2011;
    platform::EventLoop loop;
    server::IcmpSocket socket(loop);
    auto reply = icmpDatagram(0, {1, 2, 3, 4});

    socket.onDatagram(reply);
    EXPECT_TRUE(report.rows().empty()) << "no report attached yet";
    socket.setSink([this](std::span<const std::uint8_t> d) { report.AddIcmpRow(d); });
    socket.onDatagram(std::span(reply).first(20));
    EXPECT_TRUE(report.rows().empty()) << "20 bytes hold no type";
    EXPECT_FALSE(report.AddIcmpRow({}));
    socket.onDatagram(std::span(reply).first(21));
    ASSERT_EQ(report.rows().size(), 1u);
    EXPECT_EQ(report.rows().front().source, "1.2.3.4");

    // The header length is not read: with options, byte 20 (here an option) is the type.
    socket.onDatagram(icmpDatagram(8, {5, 6, 7, 8}, 1));
    EXPECT_EQ(report.rows().front().message, "Unassigned report (1)");
}

TEST_F(IcmpReportTest, HiddenReportKeepsCollectingAndPrinterWritesOneLineARow) {
    settings.IcmpFlags = 0x1;
    RecordingObserver seen;
    report.addObserver(&seen);
    EXPECT_FALSE(report.visible());
    report.toggleVisible();
    report.hide();
    report.hide();
    EXPECT_TRUE(feed(0));
    EXPECT_EQ(report.rows().size(), 1u);
    EXPECT_EQ(seen.events.front(), "shown");
    EXPECT_EQ(seen.events[1], "hidden");
    EXPECT_EQ(seen.events.size(), 4u) << "hiding twice tells once";

    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    server::ConsoleIcmpPrinter printer(out);
    report.addObserver(&printer);
    EXPECT_TRUE(feed(0, {127, 0, 0, 1}));
    report.removeObserver(&printer);
    EXPECT_TRUE(feed(0));
    std::rewind(out);
    char line[200] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    EXPECT_STREQ(line, "icmp 127.0.0.1 Tuesday, December 08, 2026 14:05:09 Echo Reply\n");
    EXPECT_EQ(std::fgets(line, sizeof line, out), nullptr);
    std::fclose(out);
}

// Needs CAP_NET_RAW and ping; loopback echo requests and replies both reach a raw socket.
TEST(IcmpSocketLive, PingOfLoopbackListsRequestsAndReplies) {
    server::ServerSettings settings;
    settings.IcmpFlags = 0x11;
    platform::ManualClock clock;
    platform::EventLoop loop;
    server::IcmpMonitor monitor(loop, settings, clock);
    EXPECT_FALSE(monitor.start(1)) << "a sockets layer below 2.0 gives no report";
    EXPECT_EQ(monitor.report(), nullptr);
    if (!monitor.start()) {
        EXPECT_EQ(monitor.report(), nullptr);
        GTEST_SKIP() << "raw ICMP socket refused (no CAP_NET_RAW)";
    }
    ASSERT_NE(monitor.report(), nullptr);
    if (std::system("command -v ping >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ping is not installed";
    }
    // The replies queue in the socket while ping runs; -w bounds ping's own time.
    ASSERT_EQ(std::system("ping -n -q -c 3 -i 0.2 -w 5 127.0.0.1 >/dev/null 2>&1"), 0);
    const auto& rows = monitor.report()->rows();
    for (int pass = 0; pass < 200 && rows.size() < 6; ++pass) {
        loop.runOnce(10);
    }
    ASSERT_GE(rows.size(), 6u);
    int requests = 0;
    int replies = 0;
    for (const auto& row : rows) {
        if (row.source == "127.0.0.1") {
            requests += row.message == "Echo request";
            replies += row.message == "Echo Reply";
        }
    }
    EXPECT_GE(requests, 3);
    EXPECT_GE(replies, 3);
    EXPECT_EQ(rows.front().message, "Echo Reply") << "the last reply is the newest row";
}

}  // namespace
