#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Small text reads without iostreams: the first stream a process opens sets up the C++ locale
// machinery, which costs a resident server close to a megabyte for reading a few lines.

// The file's bytes, at most limit of them (truncated tells whether there were more); nullopt
// when it cannot be opened or read.
std::optional<std::string> ReadFileCapped(const std::string& path, std::size_t limit,
                                          bool* truncated = nullptr);

// One line from in without its line end (a CR before the LF goes too); nullopt at the end of
// the input when nothing was read.
std::optional<std::string> ReadLine(std::FILE* in);

// The line of text that starts at pos, without its LF; pos moves past the LF. Call while
// pos < text.size().
std::string_view NextLine(std::string_view text, std::size_t& pos);

}  // namespace platform
