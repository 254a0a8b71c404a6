#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "server/engine/server_application.h"
#include "server/monitor/client_list.h"

namespace server {

// Prints the client list's changes for the headless program, one line each:
//
//   <row>\tadded\t<id>\t<client>        a new row; id is the transfer id it was added with
//   <row>\t<column title>\t<text>       a cell changed: File, Status, Start, Finish or Result
//   <row>\ttag\t<tag>                   the row's tag changed (0 ended, -1 failed, -2 swept)
//   <row>\tremoved\t<log line>          the row left the list; the line as written to the log
//   <row>\tdone\t<client>\t<file>\t<bytes>\t<seconds>\t<result>
//                                     a transfer ended: what an operator reads in the journal
//
// <row> is the row's serial number (1 = the start-up row), stable while the row lives. Control
// characters in texts are printed as '?' so every change stays one line. Progress ("%..."
// statuses) is printed at most once a second per row; the first progress of a row always is.
class ConsoleClientListPrinter final : public ClientListObserver {
  public:
    using MillisecondSource = std::function<std::int64_t()>;

    // now: monotonic milliseconds; defaults to platform::monotonicMilliseconds.
    explicit ConsoleClientListPrinter(std::FILE* out, MillisecondSource now = {});

    void rowAdded(std::size_t index, const ClientRow& row) override;
    void rowChanged(std::size_t index, int column, const ClientRow& row) override;
    void tagChanged(std::size_t index, const ClientRow& row) override;
    void rowAboutToBeRemoved(std::size_t index, const ClientRow& row) override;

    void transferEnded(std::uint64_t serial, const ServerApplication::TransferSummary& summary);

  private:
    void print(std::uint64_t serial, std::string_view what, std::string_view text);

    std::FILE* out_;
    MillisecondSource now_;
    // Last progress line printed, by row serial.
    std::unordered_map<std::uint64_t, std::int64_t> lastProgress_;
};

}  // namespace server
