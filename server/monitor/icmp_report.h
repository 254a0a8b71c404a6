#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Clock;
}

namespace server {

struct ServerSettings;

inline constexpr std::string_view kIcmpWindowTitle = "Detected ICMP Messages";
inline constexpr std::string_view kIcmpHideButton = "Hide";
inline constexpr std::size_t kIcmpRowLimit = 1000;

// Bit of IcmpFlags that lists every type missing from the table below.
inline constexpr std::uint32_t kIcmpUnassignedBit = 0x2000;

struct IcmpColumn {
    std::string_view title;
    // Fixed width in pixels; the last column instead takes the list's client width less
    // kIcmpFixedWidth.
    int width;
};
inline constexpr IcmpColumn kIcmpColumns[] = {{"Source IP", 100}, {"Stamp", 200}, {"Message", 0}};
inline constexpr int kIcmpFixedWidth = 316;

// Width of a column of the report's list for a list of clientWidth pixels.
int IcmpColumnWidth(int column, int clientWidth);

struct IcmpTypeName {
    std::uint8_t type;
    std::uint32_t bit;
    std::string_view text;
};
// The thirteen known types, in IcmpFlags bit order.
extern const IcmpTypeName kIcmpTypeNames[13];

struct IcmpClassification {
    std::uint32_t bit;
    std::string text;
};
// A known type gives its name and bit; any other gives "Unassigned report (%X)" and
// kIcmpUnassignedBit.
IcmpClassification ClassifyIcmpType(std::uint8_t type);

// What the "Stamp" column shows: the long date and time form of Microsoft's strftime "%#c" in
// the C locale, which glibc lacks, e.g. "Tuesday, December 08, 2026 14:05:09". Local time;
// English names whatever the process locale, so a GUI that calls setlocale does not change it.
std::string FormatIcmpStamp(std::int64_t seconds);

struct IcmpRow {
    std::string source;   // "Source IP", dotted
    std::string stamp;    // "Stamp"
    std::string message;  // "Message"
};

// What the report window (or the headless printer) is told. Index 0 is the newest row. Every
// change arrives synchronously on the main thread, in the order a table model needs.
class IcmpReportObserver {
  public:
    virtual ~IcmpReportObserver() = default;
    virtual void rowAboutToBeInserted(std::size_t /*index*/) {}
    virtual void rowInserted(std::size_t /*index*/, const IcmpRow& /*row*/) {}
    virtual void rowAboutToBeRemoved(std::size_t /*index*/, const IcmpRow& /*row*/) {}
    virtual void rowRemoved(std::size_t /*index*/) {}
    virtual void visibilityChanged(bool /*visible*/) {}
};

// The list of the "Detected ICMP Messages" window: received ICMP messages of the kinds that
// IcmpFlags selects, newest first, at most kIcmpRowLimit rows. It keeps collecting while hidden.
class IcmpReport {
  public:
    // Both are read at every datagram, so a changed IcmpFlags applies at once; both must outlive
    // the report.
    IcmpReport(const ServerSettings& settings, const platform::Clock& clock);
    IcmpReport(const IcmpReport&) = delete;
    IcmpReport& operator=(const IcmpReport&) = delete;

    void addObserver(IcmpReportObserver* observer);
    void removeObserver(IcmpReportObserver* observer);

    // One received datagram, IPv4 header first. The header is taken to be 20 bytes whatever its
    // length field says: the source address is bytes 12 to 15 and the type byte 20. Shorter
    // datagrams are ignored. True when a row was listed. Safe on any bytes (fuzz entry).
    bool AddIcmpRow(std::span<const std::uint8_t> datagram);

    const std::deque<IcmpRow>& rows() const { return rows_; }

    // Created hidden; "ICMP Report" toggles, "Hide" hides.
    bool visible() const { return visible_; }
    void setVisible(bool visible);
    void toggleVisible() { setVisible(!visible_); }
    void hide() { setVisible(false); }

  private:
    const ServerSettings& settings_;
    const platform::Clock& clock_;
    std::deque<IcmpRow> rows_;
    std::vector<IcmpReportObserver*> observers_;
    bool visible_ = false;
};

// Prints each listed message for the headless program, one line:
//   icmp <source> <stamp> <message>
// flushed at once so that a pipe sees it immediately.
class ConsoleIcmpPrinter final : public IcmpReportObserver {
  public:
    explicit ConsoleIcmpPrinter(std::FILE* out) : out_(out) {}
    void rowInserted(std::size_t index, const IcmpRow& row) override;

  private:
    std::FILE* out_;
};

}  // namespace server
