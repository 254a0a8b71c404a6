#include "server/monitor/icmp_report.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/clock.h"
#include "server/engine/server_settings.h"

namespace server {

namespace {

constexpr std::size_t kIcmpTypeOffset = 20;
constexpr std::size_t kIcmpSourceOffset = 12;

constexpr std::array<std::string_view, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

}  // namespace

const IcmpTypeName kIcmpTypeNames[13] = {
    {0, 0x1, "Echo Reply"},
    {3, 0x2, "Destination unreachable"},
    {4, 0x4, "Source quench"},
    {5, 0x8, "Redirect"},
    {8, 0x10, "Echo request"},
    {11, 0x20, "Time exceeded"},
    {12, 0x40, "IP unintelligible"},
    {13, 0x80, "Timestamp request"},
    {14, 0x100, "Timestamp reply"},
    {15, 0x200, "Information request"},
    {16, 0x400, "Information reply"},
    {17, 0x800, "Address mask request"},
    {18, 0x1000, "Address mask reply"},
};

int IcmpColumnWidth(int column, int clientWidth) {
    if (column == 2) {
        // A list narrower than the fixed columns leaves the last one empty, never negative.
        return std::max(0, clientWidth - kIcmpFixedWidth);
    }
    if (column >= 0 && column < 2) {
        return kIcmpColumns[column].width;
    }
    return 0;
}

IcmpClassification ClassifyIcmpType(std::uint8_t type) {
    for (const IcmpTypeName& known : kIcmpTypeNames) {
        if (known.type == type) {
            return {known.bit, std::string(known.text)};
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "Unassigned report (%X)", static_cast<unsigned>(type));
    return {kIcmpUnassignedBit, text};
}

std::string FormatIcmpStamp(std::int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (::localtime_r(&t, &local) == nullptr) {
        return {};
    }
    const auto day = kDayNames[static_cast<std::size_t>(local.tm_wday) % kDayNames.size()];
    const auto month = kMonthNames[static_cast<std::size_t>(local.tm_mon) % kMonthNames.size()];
    char text[80];
    std::snprintf(text, sizeof text, "%.*s, %.*s %02d, %d %02d:%02d:%02d",
                  static_cast<int>(day.size()), day.data(), static_cast<int>(month.size()),
                  month.data(), local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec);
    return text;
}

IcmpReport::IcmpReport(const ServerSettings& settings, const platform::Clock& clock)
    : settings_(settings), clock_(clock) {}

void IcmpReport::addObserver(IcmpReportObserver* observer) {
    if (observer != nullptr &&
        std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void IcmpReport::removeObserver(IcmpReportObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

bool IcmpReport::AddIcmpRow(std::span<const std::uint8_t> datagram) {
    if (datagram.size() <= kIcmpTypeOffset) {
        return false;
    }
    IcmpClassification kind = ClassifyIcmpType(datagram[kIcmpTypeOffset]);
    if ((settings_.IcmpFlags & kind.bit) == 0) {
        return false;
    }
    char source[16];
    std::snprintf(source, sizeof source, "%d.%d.%d.%d", datagram[kIcmpSourceOffset],
                  datagram[kIcmpSourceOffset + 1], datagram[kIcmpSourceOffset + 2],
                  datagram[kIcmpSourceOffset + 3]);

    // A copy, so an observer may unregister itself while being told.
    const auto observers = observers_;
    for (auto* o : observers) {
        o->rowAboutToBeInserted(0);
    }
    rows_.push_front(IcmpRow{source, FormatIcmpStamp(clock_.nowSeconds()), std::move(kind.text)});
    for (auto* o : observers) {
        o->rowInserted(0, rows_.front());
    }
    while (rows_.size() > kIcmpRowLimit) {
        const std::size_t last = rows_.size() - 1;
        for (auto* o : observers) {
            o->rowAboutToBeRemoved(last, rows_.back());
        }
        rows_.pop_back();
        for (auto* o : observers) {
            o->rowRemoved(last);
        }
    }
    return true;
}

void IcmpReport::setVisible(bool visible) {
    if (visible == visible_) {
        return;
    }
    visible_ = visible;
    const auto observers = observers_;
    for (auto* o : observers) {
        o->visibilityChanged(visible_);
    }
}

void ConsoleIcmpPrinter::rowInserted(std::size_t /*index*/, const IcmpRow& row) {
    std::fprintf(out_, "icmp %s %s %s\n", row.source.c_str(), row.stamp.c_str(),
                 row.message.c_str());
    std::fflush(out_);
}

}  // namespace server
