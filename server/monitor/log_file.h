#pragma once

#include <string>
#include <string_view>

#include "server/monitor/client_row.h"

namespace server {

// Text fit for one line of a log or the console: request names come from the network, and a
// control character in one (a line end, an escape sequence) must not forge or alter a line,
// so each is shown as '?'.
std::string PrintableText(std::string_view text);

// The log line of a row without its line end: cells Client, File, Start, Finish and Result,
// each made printable, joined by single blanks (an empty cell keeps its blank). Status is
// not logged.
std::string LogLineText(const ClientRow& row);

// Appends LogLineText(row) + "\r\n" to the file at path (relative to the current directory),
// creating it if missing and never truncating it. The file is opened for this one line only.
// False when the file cannot be opened or written; nothing is reported.
bool AppendLogLine(const std::string& path, const ClientRow& row);

}  // namespace server
