#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// The running program's version text; VersionValue gives 3.6.
inline constexpr std::string_view kRunningVersion = "Ravendock V3.60";

// The request of the page check, 43 bytes with kAcceptLines. No Host line and "HTTP 1/1" as
// written: the version server expects exactly this.
inline constexpr std::string_view kVersionPageRequest = "GET /version.htm HTTP 1/1\r\n";
inline constexpr std::string_view kAcceptLines = "Accept : */*\r\n\r\n";
// Both requests are built in a buffer of this size, terminating zero included.
inline constexpr std::size_t kVersionRequestSize = 1024;

// "GET <path> HTTP 1/1\r\n". A path too long for the request buffer (with kAcceptLines) is cut.
std::string VersionRequestLine(std::string_view path);

// What the tags of a version page say. Tags may stand anywhere, in any order and case:
//   <!Current Version=...>  <!Available From=...>  <!Size=digits...>  <!Note=...>
// A value ends at ">" (a size at its first non-digit) or at the end of the data; a later tag of
// the same name replaces the earlier value, except that every note is kept, in page order.
struct VersionPage {
    std::vector<std::string> notes;
    std::string currentVersion;
    std::string availableFrom;
    std::uint32_t size = 0;
};
VersionPage ParseVersionPage(std::string_view data);

// The number in a version text, from the digits around its last ".": "V3.60" is 3.6, "V3.7b"
// 3.7, and a text without a point 0.
double VersionValue(std::string_view text);

}  // namespace server
