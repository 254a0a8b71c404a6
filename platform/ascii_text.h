#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Names on the wire, in hives and in profiles compare without regard to case in ASCII only, so
// a folded text keeps its length and no locale can change a comparison.
constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix);

// The decimal number the text starts with, stopping at the first non-digit (none gives 0).
// Past max it stays at max rather than wrapping, so a long run of digits can never come round
// to a small value. length, when given, receives the count of digits read.
std::uint64_t LeadingDecimal(std::string_view text, std::uint64_t max,
                             std::size_t* length = nullptr);

// Text fit for one line of a log or a terminal: names and texts come from the network, and a
// control character in one (a line end, an escape sequence) must not forge or alter a line, so
// each is shown as '?'.
std::string PrintableText(std::string_view text);

}  // namespace platform
