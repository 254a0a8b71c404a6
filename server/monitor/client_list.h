#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_loop.h"
#include "server/engine/transfer_notice.h"
#include "server/monitor/client_row.h"
#include "server/monitor/window_layout.h"

namespace platform {
class RegistryHive;
}

namespace server {

class ServerApplication;

inline constexpr std::string_view kStartupRowText = "Ravendock V3.60";
inline constexpr std::string_view kStartupRowResult = "Ready";
inline constexpr std::string_view kTimerWarning =
    "Warning : limited Timer resources, system performance may suffer";
inline constexpr std::chrono::milliseconds kTickInterval{5000};

// Rows in the list before the oldest go to the log: nDisplayLimit 0..5 give 5, 10, 20, 30, 40,
// 50; anything else 100.
std::size_t RowLimit(std::uint32_t nDisplayLimit);

// "%d %b, %H:%M" in local time, e.g. "06 Dec, 14:05".
std::string FormatClientTime(std::int64_t seconds);

// "%<percent>, <done>" with the percentage (100.0 / total) * done truncated toward zero.
std::string FormatProgress(std::int64_t done, std::int64_t total);
// The same text written into out, returning its length; runs for every acknowledged block, so it
// stays clear of printf and the heap.
std::size_t FormatProgressInto(char (&out)[48], std::int64_t done, std::int64_t total);

// What a window (or the headless printer) is told about the list. Indexes count from the oldest
// row (0). Every change arrives synchronously, on the main thread.
class ClientListObserver {
  public:
    virtual ~ClientListObserver() = default;
    // The row will be appended at index (== row count); a table model begins its insert here.
    virtual void rowAboutToBeAdded(std::size_t /*index*/) {}
    virtual void rowAdded(std::size_t /*index*/, const ClientRow& /*row*/) {}
    virtual void rowChanged(std::size_t /*index*/, int /*column*/, const ClientRow& /*row*/) {}
    // The tag decides the row's colour.
    virtual void tagChanged(std::size_t /*index*/, const ClientRow& /*row*/) {}
    // Called while the row is still in the list (after its log line was written, if any).
    virtual void rowAboutToBeRemoved(std::size_t /*index*/, const ClientRow& /*row*/) {}
    virtual void rowRemoved(std::size_t /*index*/) {}
    // A ClearClientList that removed at least one row has ended.
    virtual void cleared() {}
    virtual void columnWidthChanged(int /*column*/, int /*width*/) {}
    virtual void graphicChanged(bool /*on*/) {}
};

// What only a window can answer or do. Every hook is optional; without one the headless
// behaviour applies (never minimised, no alert, nothing to place).
struct ClientListHooks {
    std::function<bool()> mainWindowMinimised;
    // New-client alert: create it if none exists, set its text, show it.
    std::function<void(const std::string& text)> showAlert;
    std::function<void()> destroyAlert;
    // Moves the main window at an initial update (the stored rectangle).
    std::function<void(const WindowPlacement&)> placeMainWindow;
    // Client width of the list at the first initial update; 0 when absent.
    std::function<int()> listClientWidth;
    // Seams for tests; default to the application's event loop and AppendLogLine. A timer made
    // by createTimer is the caller's to cancel before the view goes.
    std::function<platform::EventLoop::TimerId(std::chrono::milliseconds, std::function<void()>)>
        createTimer;
    std::function<bool(const std::string& path, const ClientRow& row)> appendLogLine;
};

// The client list view: one row per admitted request, fed by the engine's transfer notices, with
// the 5-second timer that drives supervision. Rows leaving the list go to the log file.
// Register it with ServerApplication::setViewObserver, and unregister it before it is destroyed.
class CNewView final : public ViewObserver {
  public:
    // layoutHive: where LoadWindowLayout reads at each initial update; none gives defaults.
    explicit CNewView(ServerApplication& app, const platform::RegistryHive* layoutHive = nullptr);
    // Cancels the timer and destroys the alert. Rows are not logged here: the document's close
    // (ClearClientList) does that first.
    ~CNewView() override;
    CNewView(const CNewView&) = delete;
    CNewView& operator=(const CNewView&) = delete;

    ClientListHooks hooks;
    void addObserver(ClientListObserver* observer);
    void removeObserver(ClientListObserver* observer);

    // ViewObserver: each notice changes the row of its transfer; a listener restart renews the
    // document.
    void onTransferNotice(const TransferNotice& notice) override;
    void onNewDocument() override { OnInitialUpdate(); }

    // Places the main window from the stored layout; the first time in the process it also takes
    // the column widths, starts the timer, adds the start-up row, takes the graphic flag and
    // stretches the last column.
    void OnInitialUpdate();

    // Newest to oldest; the index of the first live row tagged id, or -1.
    int FindClientRow(int id) const;
    void AddClientRow(int id, const std::string& text);
    // Every row goes to the log, oldest first, and leaves the list. "Clear Display", the
    // shutdown query and the document's close at exit.
    void ClearClientList();
    // Closes every live row as a Finished notice would, with tag -2.
    void SweepIdleRows();

    // One 5-second pass: idle handling, then Supervise and AdjustPriorities.
    void Tick();

    void StretchLastColumn(int clientWidth);
    void ResetColumns();
    // The user dragged a column edge; kept so the layout saved at exit has it.
    void SetColumnWidth(int column, int width);
    const ColumnWidths& columnWidths() const { return widths_; }

    // "Use Graphic": flips the flag and stores it in bGraphics.
    void ToggleGraphic();
    bool graphic() const { return graphic_; }

    // The window destroyed the alert itself (its main window became active).
    void setAlertExists(bool exists) { alertExists_ = exists; }
    bool alertExists() const { return alertExists_; }
    bool idleMark() const { return idleMark_; }
    bool timerRunning() const { return timer_ != 0; }

    const std::deque<ClientRow>& rows() const { return rows_; }

  private:
    void setCell(std::size_t index, int column, std::string_view text);
    void setTag(std::size_t index, RowTag tag);
    void finishRow(std::size_t index, RowTag tag);
    void removeFirstRow();
    bool writeLog(const std::string& path, const ClientRow& row);
    bool listenerHasClients();
    template <typename Call>
    void notify(const Call& call);

    ServerApplication& app_;
    const platform::RegistryHive* layoutHive_;
    std::deque<ClientRow> rows_;
    std::vector<ClientListObserver*> observers_;
    ColumnWidths widths_ = kDefaultColumnWidths;
    std::uint64_t nextSerial_ = 1;
    bool initialised_ = false;
    bool graphic_ = false;
    bool idleMark_ = false;
    bool alertExists_ = false;
    platform::EventLoop::TimerId timer_ = 0;
    bool timerOnLoop_ = false;
};

}  // namespace server
