#pragma once

#include <string>
#include <string_view>

#include "server/monitor/client_row.h"

namespace server {

// The log line of a row without its line end: cells Client, File, Start, Finish and Result,
// each made printable, joined by single blanks (an empty cell keeps its blank). Status is
// not logged.
std::string LogLineText(const ClientRow& row);

// Appends LogLineText(row) + "\r\n" to the file at path (relative to the current directory),
// creating it if missing and never truncating it. The file is opened for this one line only.
// False when the file cannot be opened or written; nothing is reported.
bool AppendLogLine(const std::string& path, const ClientRow& row);

}  // namespace server
