#include "protocol/request_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace protocol {
namespace {

using namespace std::string_literals;
using Status = ParsedRequest::Status;

// An exact-size heap copy, so that reading past the datagram trips AddressSanitizer.
std::vector<std::uint8_t> datagram(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

ParsedRequest parse(const std::string& s) {
    return parseRequest(datagram(s));
}

struct Opt {
    OptionKind kind;
    std::uint32_t value;
    bool operator==(const RequestOption& o) const { return kind == o.kind && value == o.value; }
};

void expectOptions(const ParsedRequest& r, std::vector<Opt> expected) {
    ASSERT_EQ(r.status, Status::Ok);
    ASSERT_EQ(r.options.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(expected[i] == r.options[i]) << "option " << i;
    }
}

TEST(RequestParse, ModeIsMatchedWithoutCase) {
    for (const char* mode : {"octet", "OCTET", "Octet"}) {
        const auto r = parse("\0\1f\0"s + mode + "\0"s);
        EXPECT_EQ(r.status, Status::Ok) << mode;
        EXPECT_FALSE(r.netascii) << mode;
    }
    const auto r = parse("\0\2f\0NetAscii\0"s);
    EXPECT_EQ(r.status, Status::Ok);
    EXPECT_TRUE(r.netascii);
    // The end of the datagram ends a mode that lacks its zero.
    EXPECT_EQ(parse("\0\1f\0octet"s).status, Status::Ok);
}

TEST(RequestParse, BadOrMissingPartsAreRefused) {
    EXPECT_EQ(parse("\0\1f\0mail\0"s).status, Status::BadMode);
    EXPECT_EQ(parse("\0\1f\0octets\0"s).status, Status::BadMode);
    EXPECT_EQ(parse("\0\1f\0\0"s).status, Status::BadMode);
    EXPECT_EQ(parse("\0\1f\0\0octet\0"s).status, Status::BadMode);
    // Unterminated name, and a name whose zero is the last byte.
    EXPECT_EQ(parse("\0\1file"s).status, Status::Malformed);
    EXPECT_EQ(parse("\0\1file\0"s).status, Status::Malformed);
    EXPECT_EQ(parse("\0\1"s).status, Status::Malformed);
    EXPECT_EQ(parse("\0\1\0"s).status, Status::Malformed);
}

TEST(RequestParse, FileName) {
    EXPECT_EQ(requestFileName(datagram("\0\1dir/x.bin\0octet\0"s)), "dir/x.bin");
    EXPECT_EQ(requestFileName(datagram("\0\1abc"s)), "abc");
    EXPECT_EQ(requestFileName(datagram("\0\1"s)), "");
}

TEST(RequestParse, OptionsKeepTheirOrderAndValues) {
    expectOptions(parse("\0\1f\0octet\0BLKSIZE\0001428\0tsize\0000\0Timeout\0003\0"s),
                  {{OptionKind::Blksize, 1428}, {OptionKind::Tsize, 0}, {OptionKind::Timeout, 3}});
    // Unknown options are passed over; duplicates are kept.
    expectOptions(parse("\0\1f\0octet\0multicast\0001\0timeout\0002\0timeout\0009\0"s),
                  {{OptionKind::Timeout, 2}, {OptionKind::Timeout, 9}});
    expectOptions(parse("\0\1f\0octet\0blksize\0004294967295\0tsize\00099999999999999\0"s),
                  {{OptionKind::Blksize, 4294967295u}, {OptionKind::Tsize, 4294967295u}});
}

TEST(RequestParse, ValuesAreLeadingDigits) {
    expectOptions(parse("\0\1f\0octet\0blksize\0001428x\0"s), {{OptionKind::Blksize, 1428}});
    expectOptions(parse("\0\1f\0octet\0blksize\0x12\0"s), {{OptionKind::Blksize, 0}});
    // The byte after the digits is taken for the value's zero, so a trailing letter lands the
    // reader on the real zero and the list ends there.
    expectOptions(parse("\0\1f\0octet\0blksize\0001428x\0timeout\0003\0"s),
                  {{OptionKind::Blksize, 1428}});
}

TEST(RequestParse, TruncatedOptionsStopAtTheDatagramEnd) {
    expectOptions(parse("\0\1f\0octet\0blksize\0001024"s), {{OptionKind::Blksize, 1024}});
    expectOptions(parse("\0\1f\0octet\0blksize\0"s), {{OptionKind::Blksize, 0}});
    expectOptions(parse("\0\1f\0octet\0blksize"s), {{OptionKind::Blksize, 0}});
    expectOptions(parse("\0\1f\0octet\0tim"s), {});
}

}  // namespace
}  // namespace protocol
