#include "protocol/packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/error_table.h"

namespace protocol {
namespace {

using namespace std::string_literals;

std::string asString(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Builds with a buffer of exactly the expected size, checks the bytes, and checks that one
// byte less is refused rather than truncated.
template <typename Build>
void expectPacket(const std::string& expected, Build build) {
    std::vector<std::uint8_t> out(expected.size());
    ASSERT_EQ(build(std::span<std::uint8_t>(out)), expected.size());
    EXPECT_EQ(asString(out), expected);
    std::vector<std::uint8_t> small(expected.size() - 1);
    EXPECT_EQ(build(std::span<std::uint8_t>(small)), 0u);
}

TEST(PacketBuild, EveryPacketHasItsExactBytes) {
    const OptionPair requestOptions[] = {{"blksize", 1428}, {"tsize", 0}};
    expectPacket("\0\1dir/a.txt\0octet\0blksize\0001428\0tsize\0000\0"s, [&](auto out) {
        return buildRequest(out, kRrq, "dir/a.txt", "octet", requestOptions);
    });
    expectPacket("\0\2x\0netascii\0"s,
                 [](auto out) { return buildRequest(out, kWrq, "x", "netascii", {}); });
    expectPacket("\0\3\x12\x34"s, [](auto out) { return buildDataHeader(out, 0x1234); });
    expectPacket("\0\4\xff\xff"s, [](auto out) { return buildAck(out, 65535); });
    expectPacket("\0\5\0\1File not found\0"s, [](auto out) {
        return buildError(out, ErrorCode::FileNotFound, "File not found");
    });
    expectPacket("\0\5\0\0\0"s, [](auto out) { return buildError(out, ErrorCode::Undefined, ""); });
    const OptionPair oackOptions[] = {{"tsize", 3221225472ull}, {"timeout", 5}, {"blksize", 65464}};
    expectPacket("\0\6tsize\0003221225472\0timeout\0005\0blksize\00065464\0"s,
                 [&](auto out) { return buildOack(out, oackOptions); });
    expectPacket("\0\x08\0\0Inconclusive system error\0"s,
                 [](auto out) { return buildOptionRefusal(out, "Inconclusive system error"); });
}

TEST(PacketBuild, FixedRefusalsAreByteImages) {
    EXPECT_EQ(asString(serviceRefusalPacket()), "\0\5\0\0Service not available\0\0"s);
    EXPECT_EQ(serviceRefusalPacket().size(), 27u);
    EXPECT_EQ(asString(clientLimitRefusalPacket()), "\0\5\0\0Too Many Clients\0"s);
    EXPECT_EQ(clientLimitRefusalPacket().size(), 21u);
}

TEST(PacketParse, ReadsHeaderFieldsAndErrorText) {
    ParsedPacket p;
    const std::vector<std::uint8_t> tooShort = {0, 4, 0};
    EXPECT_FALSE(parsePacket(tooShort, p));

    const std::vector<std::uint8_t> ack = {0, 4, 0xab, 0xcd};
    ASSERT_TRUE(parsePacket(ack, p));
    EXPECT_EQ(p.opcode, kAck);
    EXPECT_EQ(p.field, 0xabcd);
    EXPECT_TRUE(p.text.empty());

    const std::string error = "\0\5\0\3Disk full\0junk"s;
    ASSERT_TRUE(
        parsePacket({reinterpret_cast<const std::uint8_t*>(error.data()), error.size()}, p));
    EXPECT_EQ(p.opcode, kError);
    EXPECT_EQ(p.field, 3);
    EXPECT_EQ(p.text, "Disk full");

    // Without its zero the text ends with the datagram (exact-size buffer for ASan).
    const std::vector<std::uint8_t> unterminated = {0, 5, 0, 1, 'n', 'o'};
    ASSERT_TRUE(parsePacket(unterminated, p));
    EXPECT_EQ(p.text, "no");
}

TEST(ErrorTable, ServerTextsAndOverflowToAborted) {
    const char* expected[] = {"Inconclusive system error",
                              "File not found",
                              "Access violation",
                              "Disk error",
                              "Unknown TFTP Operation",
                              "Unknown transfer ID",
                              "File already exists",
                              "Option negotion failure",
                              "Aborted"};
    for (std::uint16_t code = 0; code < 9; ++code) {
        EXPECT_EQ(serverErrorText(static_cast<ErrorCode>(code)), expected[code]) << code;
    }
    EXPECT_EQ(serverErrorText(static_cast<ErrorCode>(9)), "Aborted");
    EXPECT_EQ(serverErrorText(static_cast<ErrorCode>(0xffff)), "Aborted");
}

TEST(Oack, PairsInOrderUpToTheFirstIncompleteOne) {
    auto parse = [](std::string_view datagram) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const OptionText& option : parseOack(std::span(
                 reinterpret_cast<const std::uint8_t*>(datagram.data()), datagram.size()))) {
            out.emplace_back(option.name, option.value);
        }
        return out;
    };
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(parse("\0\6tsize\0"
                    "300\0BLKSIZE\0"
                    "1024\0"s),
              (Pairs{{"tsize", "300"}, {"BLKSIZE", "1024"}}));
    EXPECT_EQ(parse("\0\6tsize\0\0"s), (Pairs{{"tsize", ""}}));
    EXPECT_EQ(parse("\0\6tsize\0"
                    "300\0blksize\0"
                    "10"s),
              (Pairs{{"tsize", "300"}}))
        << "a value cut short by the datagram's end";
    EXPECT_EQ(parse("\0\6\0x\0"
                    "1\0"s),
              Pairs{})
        << "an empty name ends the walk";
    EXPECT_EQ(parse("\0\6tsize"s), Pairs{});
    EXPECT_EQ(parse("\0"s), Pairs{});
}

}  // namespace
}  // namespace protocol
