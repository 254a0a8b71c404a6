#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace server {

// The value kept with each row of the client list: the owning transfer id while the transfer
// runs, then one of the end tags below.
using RowTag = std::int32_t;

inline constexpr RowTag kTagEnded = 0;    // ended normally or by AbortTransfer
inline constexpr RowTag kTagFailed = -1;  // timed out; also the start-up row
inline constexpr RowTag kTagSwept = -2;   // closed by the idle sweep

// Transfer ids run 1 to 1001, so anything else small and positive is live too; the end tags,
// taken as unsigned, are far above the bound.
constexpr bool IsLiveTag(RowTag tag) {
    const auto u = static_cast<std::uint32_t>(tag);
    return u != 0 && u < 5000;
}

enum ClientColumn : int {
    kColumnClient = 0,
    kColumnFile = 1,
    kColumnStatus = 2,
    kColumnStart = 3,
    kColumnFinish = 4,
    kColumnResult = 5,
    kColumnCount = 6,
};

inline constexpr std::array<std::string_view, kColumnCount> kColumnTitles{
    "Client", "File", "Status", "Start", "Finish", "Result"};

using ColumnWidths = std::array<int, kColumnCount>;
inline constexpr ColumnWidths kDefaultColumnWidths{150, 120, 80, 90, 90, 110};

struct ClientRow {
    std::array<std::string, kColumnCount> cells;
    RowTag tag = kTagEnded;
    // Numbers rows in the order they were added (from 1), so observers can tell rows apart
    // even when transfer ids repeat.
    std::uint64_t serial = 0;
};

}  // namespace server
