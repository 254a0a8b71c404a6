#include "server/engine/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

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

TEST(ServerCommandLine, ServiceOptionsAndTheirBadValues) {
    ServerSettings s;
    const std::vector<std::string> args{"ravendockd",
                                        "--config=/var/lib/r/r.reg",
                                        "--port=6969",
                                        "--port-range=40000:40100",
                                        "--port=0",
                                        "--port-range=9:8",
                                        "--port-range=1:65536",
                                        "--port=12x",
                                        "--config="};
    auto choices = ParseServerCommandLine(args, s);
    EXPECT_EQ(server::HivePath(args), "/var/lib/r/r.reg");
    EXPECT_EQ(s.Port, "6969");
    EXPECT_TRUE(s.PortFromCommandLine);
    ASSERT_TRUE(choices.transferPorts);
    EXPECT_EQ(choices.transferPorts->low, 40000);
    EXPECT_EQ(choices.transferPorts->high, 40100);
    EXPECT_EQ(choices.invalidValues,
              (std::vector<std::string>{"--port=0", "--port-range=9:8", "--port-range=1:65536",
                                        "--port=12x", "--config="}));

    EXPECT_NE(server::HivePath({"ravendockd"}).find("/ravendockd.reg"), std::string::npos);
}

// Output captured through a memory stream.
struct Captured {
    std::optional<int> status;
    std::string out;
    std::string err;
};

Captured answer(const std::vector<std::string>& args) {
    ServerSettings s;
    auto choices = ParseServerCommandLine(args, s);
    char* outData = nullptr;
    char* errData = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    std::FILE* out = ::open_memstream(&outData, &outSize);
    std::FILE* err = ::open_memstream(&errData, &errSize);
    Captured result{server::AnswerBeforeStart(choices, out, err), {}, {}};
    std::fclose(out);
    std::fclose(err);
    result.out.assign(outData, outSize);
    result.err.assign(errData, errSize);
    std::free(outData);
    std::free(errData);
    return result;
}

TEST(ServerCommandLine, HelpVersionAndBadOptionsAnswerBeforeAnythingStarts) {
    Captured help = answer({"ravendockd", "--headless", "--help", "--bogus"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"-A<digit>", "-I<folder>", "-O<folder>", "--listen=", "--headless",
          "--config=", "--port=", "--port-range=", "--music", "--check-version", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_TRUE(help.err.empty());

    Captured version = answer({"ravendockd", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "ravendockd " RAVEN_VERSION "\n");

    Captured bad = answer({"ravendockd", "--bogus", "--port=x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("unknown option --bogus"), std::string::npos);
    EXPECT_NE(bad.err.find("--port=x"), std::string::npos);
    EXPECT_NE(bad.err.find("Usage: ravendockd"), std::string::npos);

    EXPECT_FALSE(answer({"ravendockd", "-A1", "--listen=0.0.0.0", "--headless"}).status);
}

}  // namespace
