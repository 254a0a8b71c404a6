#include "server/engine/command_line.h"

#include <gtest/gtest.h>

using server::ParseServerCommandLine;
using server::ServerSettings;

namespace {

int addressChoiceOf(const std::string& arg) {
    ServerSettings s;
    return ParseServerCommandLine({"ravendockd", arg}, s).nAddressChoice;
}

TEST(ServerCommandLine, AddressChoiceIsTheThirdCharacterMinusZero) {
    EXPECT_EQ(addressChoiceOf("-A2"), 2);
    EXPECT_EQ(addressChoiceOf("/a0"), 0);
    EXPECT_EQ(addressChoiceOf("-A25"), 2);  // only one character counts
    EXPECT_EQ(addressChoiceOf("-a"), -1);
    EXPECT_EQ(addressChoiceOf("-A/"), -1);
    EXPECT_EQ(addressChoiceOf("-AA"), 17);
    EXPECT_EQ(addressChoiceOf("-A\xC3\xA9"), 0xE9 - '0');  // a character, not a byte
    EXPECT_EQ(addressChoiceOf("-A\xE2\x82\xAC"), -1);      // U+20AC is past 511
    EXPECT_EQ(addressChoiceOf("-A\xC0\xB2"), -1);          // overlong "2"
    EXPECT_EQ(addressChoiceOf("-A\xC3"), -1);              // cut-off sequence
    EXPECT_EQ(addressChoiceOf("-A\xFF"), -1);
}

TEST(ServerCommandLine, FoldersAreTakenVerbatimAndMarked) {
    ServerSettings s;
    s.OutPath = "C:\\kept\\";
    auto choices = ParseServerCommandLine({"./bin/ravendockd", "/i/srv/in/"}, s);
    EXPECT_EQ(s.Location, "./bin/ravendockd");
    EXPECT_EQ(s.InPath, "/srv/in/");
    EXPECT_TRUE(s.InPathFromCommandLine);
    EXPECT_EQ(s.OutPath, "C:\\kept\\");
    EXPECT_FALSE(s.OutPathFromCommandLine);
    EXPECT_EQ(choices.nAddressChoice, -1);

    ParseServerCommandLine({"x", "-O", "-o D:\\out"}, s);
    EXPECT_EQ(s.OutPath, " D:\\out");
    EXPECT_TRUE(s.OutPathFromCommandLine);
}

TEST(ServerCommandLine, LaterOptionsOverrideAndOtherArgumentsAreIgnored) {
    ServerSettings s;
    auto choices = ParseServerCommandLine(
        {"ravendockd", "-A1", "-Ifirst", "plain", "/tmp/x", "-", "-Z9", "-a3", "-isecond"}, s);
    EXPECT_EQ(choices.nAddressChoice, 3);
    EXPECT_EQ(s.InPath, "second");
    EXPECT_FALSE(s.OutPathFromCommandLine);
    EXPECT_TRUE(choices.unknownLongOptions.empty());
    EXPECT_FALSE(choices.listenAddress.has_value());
    EXPECT_FALSE(choices.headless);
}

TEST(ServerCommandLine, LongOptionsAreNotShortOnes) {
    ServerSettings s;
    auto choices = ParseServerCommandLine({"ravendockd", "--listen=10.0.0.1", "--Ignored",
                                           "--headless", "--listen=127.0.0.1", "--inpath=/x", "--"},
                                          s);
    EXPECT_EQ(choices.listenAddress, "127.0.0.1");
    EXPECT_TRUE(choices.headless);
    EXPECT_EQ(choices.unknownLongOptions,
              (std::vector<std::string>{"--Ignored", "--inpath=/x", "--"}));
    EXPECT_FALSE(s.InPathFromCommandLine);
    EXPECT_EQ(choices.nAddressChoice, -1);
}

}  // namespace
