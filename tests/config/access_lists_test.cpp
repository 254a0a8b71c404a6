#include "server/config/access_lists.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <array>

#include "access_list_fixture.h"

using namespace std::string_literals;
using server::LoadAccessLists;
using server::SaveAccessLists;
using server::ServerSettings;
using Strings = std::vector<std::string>;

namespace {

std::string le(std::uint32_t value, int width) {
    std::string out;
    for (int k = 0; k < width; ++k) {
        out.push_back(static_cast<char>(value >> (8 * k)));
    }
    return out;
}

TEST(AccessPatternTest, FieldsNumbersWildcardsAndJunk) {
    struct Case {
        const char* pattern;
        std::array<std::uint8_t, 4> octets;
        bool match;
    };
    const Case cases[] = {
        {"*.*.*.*", {0, 0, 0, 0}, true},
        {"*.*.*.*", {255, 255, 255, 255}, true},
        // Unreached fields are 0.
        {"10.*", {10, 200, 0, 0}, true},
        {"10.*", {10, 0, 0, 1}, false},
        {"10.*", {10, 0, 1, 0}, false},
        {"10.*", {11, 0, 0, 0}, false},
        {"10.0.0.1", {10, 0, 0, 1}, true},
        {"10.0.0.1", {10, 0, 0, 10}, false},
        {"10.0.0.10", {10, 0, 0, 1}, false},
        {"10.*.0.1", {10, 77, 0, 1}, true},
        {"10.*.0.1", {10, 77, 1, 1}, false},
        {"", {0, 0, 0, 0}, false},
        {"...", {0, 0, 0, 0}, true},
        // Other characters are skipped; '*' anywhere in a field skips the rest of it.
        {" 1x0 .0-.0.1", {10, 0, 0, 1}, true},
        {"1*9.2.3.4", {200, 2, 3, 4}, true},
        {"1.2.3.4.5", {1, 2, 3, 4}, true},
        {"1.2.3.45", {1, 2, 3, 4}, false},
        // Big numbers never wrap round to an octet.
        {"266.0.0.0", {10, 0, 0, 0}, false},
        {"4294967306.0.0.0", {10, 0, 0, 0}, false},
        {"99999999999999999999999.0.0.0", {255, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(server::MatchPattern(c.pattern, c.octets.data()), c.match) << c.pattern;
    }
}

TEST(AccessPatternTest, AddressTextAgainstList) {
    using server::MatchAddressList;
    EXPECT_FALSE(MatchAddressList({}, "10.0.0.1"));
    EXPECT_FALSE(MatchAddressList({"10.0.0.1"}, "10.0.0.10"));
    EXPECT_TRUE(MatchAddressList({"192.168.*.*", "10.0.0.1"}, "10.0.0.1"));
    EXPECT_FALSE(MatchAddressList({"192.168.*.*", "10.0.0.1"}, "172.16.0.1"));
    EXPECT_FALSE(MatchAddressList({"44.0.0.0"}, "300.0.0.0"));
    EXPECT_TRUE(MatchAddressList({"*.0.0.0"}, "300.0.0.0"));
    // The fourth field runs to the end of the text.
    EXPECT_FALSE(MatchAddressList({"*.*.*.4"}, "1.2.3.4.5"));
}

class AccessListFileTest : public acl_test::ScratchTest {
  protected:
    ServerSettings loaded(const std::string& bytes) {
        writeBytes(pathOf("AllowDeny.dat"), bytes);
        ServerSettings s;
        s.ADData = pathOf("AllowDeny.dat");
        s.bAllow = s.bDeny = 1;
        LoadAccessLists(s);
        return s;
    }
    acl_test::MessageRecorder dialogs_;
};

TEST_F(AccessListFileTest, DefaultPathIsBesideTheProgram) {
    ServerSettings s;
    s.Location = "/opt/raven.d/bin/ravendockd";
    s.bAllow = s.bDeny = 1;
    LoadAccessLists(s);
    EXPECT_EQ(s.ADData, "/opt/raven.d/bin/AllowDeny.dat");
    // Missing file: both lists off and empty.
    EXPECT_EQ(s.bAllow, 0u);
    EXPECT_EQ(s.bDeny, 0u);
    EXPECT_TRUE(s.AllowList.empty() && s.DenyList.empty());

    s.ADData.clear();
    s.Location = "ravendockd";
    EXPECT_EQ(server::AccessListPath(s), "AllowDeny.dat");
    s.ADData = "/etc/raven/acl.dat";
    EXPECT_EQ(server::AccessListPath(s), "/etc/raven/acl.dat");

    // An installed program keeps the file beside its settings; a stored path still wins.
    s.AccessListFolder = "/var/lib/ravendockd/";
    EXPECT_EQ(server::AccessListPath(s), "/etc/raven/acl.dat");
    s.ADData.clear();
    EXPECT_EQ(server::AccessListPath(s), "/var/lib/ravendockd/AllowDeny.dat");
}

TEST_F(AccessListFileTest, ExampleFilesRoundTripByteForByte) {
    ServerSettings s;
    s.ADData = pathOf("AllowDeny.dat");
    ASSERT_TRUE(SaveAccessLists(s, dialogs_));
    EXPECT_EQ(readBytes(s.ADData), std::string(8, '\0'));
    ServerSettings empty = loaded(std::string(8, '\0'));
    EXPECT_TRUE(empty.AllowList.empty() && empty.DenyList.empty());
    EXPECT_EQ(empty.bAllow, 1u);

    s.AllowList = {"10.0.*.*"};
    ASSERT_TRUE(SaveAccessLists(s, dialogs_));
    const std::string bytes = readBytes(s.ADData);
    EXPECT_EQ(bytes, "\x01\0\0\0\x08"s + "10.0.*.*" + le(0, 4));
    EXPECT_EQ(bytes.size(), 17u);
    EXPECT_EQ(loaded(bytes).AllowList, s.AllowList);
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(AccessListFileTest, LengthPrefixFormsAtTheirLimits) {
    const std::string s254(254, 'a'), s255(255, 'b'), s65533(0xFFFD, 'c'), s65534(0xFFFE, 'd');
    const std::string expected = le(4, 4) + "\xFE" + s254 + "\xFF" + le(255, 2) + s255 + "\xFF" +
                                 le(0xFFFD, 2) + s65533 + "\xFF\xFF\xFF" + le(0xFFFE, 4) + s65534 +
                                 le(1, 4) + "\x00"s;
    ServerSettings s;
    s.ADData = pathOf("AllowDeny.dat");
    s.AllowList = {s254, s255, s65533, s65534};
    s.DenyList = {""};
    ASSERT_TRUE(SaveAccessLists(s, dialogs_));
    EXPECT_TRUE(readBytes(s.ADData) == expected);

    const ServerSettings back = loaded(expected);
    EXPECT_TRUE(back.AllowList == s.AllowList);
    EXPECT_EQ(back.DenyList, s.DenyList);
    // A writer may also use a longer form than needed.
    EXPECT_EQ(
        loaded(le(1, 4) + "\xFF" + le(3, 2) + "abc" + le(1, 4) + "\xFF\xFF\xFF" + le(2, 4) + "xy")
            .AllowList,
        Strings{"abc"});
}

TEST_F(AccessListFileTest, DamagedFilesKeepWhatWasReadBefore) {
    struct Case {
        const char* what;
        std::string bytes;
        Strings allow, deny;
    };
    const Case cases[] = {
        {"zero-length file", "", {}, {}},
        {"count cut short", "\x01\0"s, {}, {}},
        {"prefix past the end", le(2, 4) + "\x02" + "ab" + "\x09" + le(1, 4) + "\x01q", {"ab"}, {}},
        {"huge count", le(0xFFFFFFFF, 4) + "\x01" + "a" + "\x01" + "b", {"a", "b"}, {}},
        {"4 GiB length claim", le(1, 4) + "\xFF\xFF\xFF" + le(0xFFFFFFFF, 4) + "abc", {}, {}},
        {"16-bit length cut short", le(1, 4) + "\xFF\x01", {}, {}},
        {"deny list cut short", le(1, 4) + "\x01z" + le(3, 4) + "\x01y", {"z"}, {"y"}},
    };
    // Counts and lengths are checked against the file before anything is allocated: the peak
    // memory must not grow by the gigabytes claimed.
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    for (const Case& c : cases) {
        const ServerSettings s = loaded(c.bytes);
        EXPECT_EQ(s.AllowList, c.allow) << c.what;
        EXPECT_EQ(s.DenyList, c.deny) << c.what;
        EXPECT_EQ(s.bAllow + s.bDeny, 2u) << c.what;
    }
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024);  // kilobytes
}

TEST_F(AccessListFileTest, WriteFailureShowsThePathAndLeavesNoDebris) {
    ServerSettings s;
    s.AllowList = {"1.2.3.4"};
    s.ADData = pathOf("missing/AllowDeny.dat");
    EXPECT_FALSE(SaveAccessLists(s, dialogs_));
    // The target is a folder: the temporary file is made, the rename fails and it goes again.
    std::filesystem::create_directory(pathOf("taken"));
    s.ADData = pathOf("taken");
    EXPECT_FALSE(SaveAccessLists(s, dialogs_));
    EXPECT_EQ(dialogs_.messages,
              (Strings{"Unable to create/open file\n" + pathOf("missing/AllowDeny.dat"),
                       "Unable to create/open file\n" + pathOf("taken")}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(AccessListFileTest, ReplacingKeepsTheFileMode) {
    const std::string path = pathOf("AllowDeny.dat");
    writeBytes(path, "old contents, longer than the new");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ServerSettings s;
    s.ADData = path;
    ASSERT_TRUE(SaveAccessLists(s, dialogs_));
    EXPECT_EQ(readBytes(path), std::string(8, '\0'));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
