#include "server/headless/console_client_list_printer.h"

#include <string>

#include "platform/ascii_text.h"
#include "platform/clock.h"
#include "server/monitor/log_file.h"

namespace server {

namespace {

constexpr std::int64_t kProgressIntervalMs = 1000;

}  // namespace

ConsoleClientListPrinter::ConsoleClientListPrinter(std::FILE* out, MillisecondSource now)
    : out_(out), now_(now ? std::move(now) : MillisecondSource(platform::monotonicMilliseconds)) {}

void ConsoleClientListPrinter::print(std::uint64_t serial, std::string_view what,
                                     std::string_view text) {
    const std::string shown = platform::PrintableText(text);
    std::fprintf(out_, "%llu\t%.*s\t%s\n", static_cast<unsigned long long>(serial),
                 static_cast<int>(what.size()), what.data(), shown.c_str());
    std::fflush(out_);
}

void ConsoleClientListPrinter::rowAdded(std::size_t, const ClientRow& row) {
    // The tag field is a number; only the client text needs cleaning.
    const std::string client = platform::PrintableText(row.cells[kColumnClient]);
    std::fprintf(out_, "%llu\tadded\t%d\t%s\n", static_cast<unsigned long long>(row.serial),
                 static_cast<int>(row.tag), client.c_str());
    std::fflush(out_);
}

void ConsoleClientListPrinter::rowChanged(std::size_t, int column, const ClientRow& row) {
    const std::string& text = row.cells[static_cast<std::size_t>(column)];
    if (column == kColumnStatus && !text.empty() && text.front() == '%') {
        const std::int64_t now = now_();
        auto [it, first] = lastProgress_.try_emplace(row.serial, now);
        if (!first) {
            if (now - it->second < kProgressIntervalMs) {
                return;
            }
            it->second = now;
        }
    }
    print(row.serial, kColumnTitles[static_cast<std::size_t>(column)], text);
}

void ConsoleClientListPrinter::tagChanged(std::size_t, const ClientRow& row) {
    print(row.serial, "tag", std::to_string(row.tag));
}

void ConsoleClientListPrinter::rowAboutToBeRemoved(std::size_t, const ClientRow& row) {
    lastProgress_.erase(row.serial);
    print(row.serial, "removed", LogLineText(row));
}

void ConsoleClientListPrinter::transferEnded(std::uint64_t serial,
                                             const ServerApplication::TransferSummary& summary) {
    const std::string client = platform::PrintableText(summary.client);
    const std::string file = platform::PrintableText(summary.file);
    const std::string result = platform::PrintableText(summary.result);
    std::fprintf(out_, "%llu\tdone\t%s\t%s\t%lld\t%lld\t%s\n",
                 static_cast<unsigned long long>(serial), client.c_str(), file.c_str(),
                 static_cast<long long>(summary.bytes), static_cast<long long>(summary.seconds),
                 result.c_str());
    std::fflush(out_);
}

}  // namespace server
