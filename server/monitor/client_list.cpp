#include "server/monitor/client_list.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <mutex>

#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"
#include "server/monitor/log_file.h"

namespace server {

std::size_t RowLimit(std::uint32_t nDisplayLimit) {
    switch (nDisplayLimit) {
        case 0:
            return 5;
        case 1:
            return 10;
        case 2:
            return 20;
        case 3:
            return 30;
        case 4:
            return 40;
        case 5:
            return 50;
        default:
            return 100;
    }
}

std::string FormatClientTime(std::int64_t seconds) {
    const auto t = static_cast<time_t>(seconds);
    tm local{};
    if (::localtime_r(&t, &local) == nullptr) {
        return {};
    }
    // English month names whatever the process locale (a window sets it from the environment):
    // the log file and whoever reads it expect them.
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%02d %s, %02d:%02d", local.tm_mday,
                                kMonths[local.tm_mon % 12], local.tm_hour, local.tm_min);
    return std::string(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::size_t FormatProgressInto(char (&out)[48], std::int64_t done, std::int64_t total) {
    // This order of operations decides the truncation at the edges (e.g. 49 of 49 gives 99).
    const double percent = (100.0 / static_cast<double>(total)) * static_cast<double>(done);
    // A bogus report must not overflow the conversion.
    constexpr double kMin = std::numeric_limits<int>::min();
    constexpr double kMax = std::numeric_limits<int>::max();
    const int shown = percent != percent ? 0 : static_cast<int>(std::clamp(percent, kMin, kMax));
    char* end = out + sizeof out;
    char* p = out;
    *p++ = '%';
    p = std::to_chars(p, end, shown).ptr;
    *p++ = ',';
    *p++ = ' ';
    p = std::to_chars(p, end, static_cast<long long>(done)).ptr;
    return static_cast<std::size_t>(p - out);
}

std::string FormatProgress(std::int64_t done, std::int64_t total) {
    char buffer[48];
    return std::string(buffer, FormatProgressInto(buffer, done, total));
}

CNewView::CNewView(ServerApplication& app, const platform::RegistryHive* layoutHive)
    : app_(app), layoutHive_(layoutHive), graphic_(app.settings.bGraphics) {}

CNewView::~CNewView() {
    if (timer_ != 0 && timerOnLoop_) {
        app_.loop().cancelTimer(timer_);
    }
    if (alertExists_) {
        alertExists_ = false;
        if (hooks.destroyAlert) {
            hooks.destroyAlert();
        }
    }
}

void CNewView::addObserver(ClientListObserver* observer) {
    observers_.push_back(observer);
}

void CNewView::removeObserver(ClientListObserver* observer) {
    std::erase(observers_, observer);
}

template <typename Call>
void CNewView::notify(const Call& call) {
    for (ClientListObserver* observer : observers_) {
        call(*observer);
    }
}

void CNewView::onTransferNotice(const TransferNotice& notice) {
    if (notice.event == TransferEvent::Admitted) {
        AddClientRow(notice.id, notice.text);
        return;
    }
    const int found = FindClientRow(notice.id);
    if (found < 0) {
        return;
    }
    const auto index = static_cast<std::size_t>(found);
    switch (notice.event) {
        case TransferEvent::FileKnown:
            setCell(index, kColumnFile, notice.text);
            break;
        case TransferEvent::Progress:
            if (notice.total != 0) {
                char text[48];
                const std::size_t length = FormatProgressInto(text, notice.done, notice.total);
                setCell(index, kColumnStatus, std::string_view(text, length));
            } else {
                setCell(index, kColumnStatus, notice.text);
            }
            break;
        case TransferEvent::Retry:
            setCell(index, kColumnStatus, notice.text);
            break;
        case TransferEvent::Finished:
            // The engine's end report carries no tag.
            finishRow(index, kTagEnded);
            break;
        case TransferEvent::Result:
        case TransferEvent::Aborted:
        case TransferEvent::TimedOut:
            setCell(index, kColumnResult, notice.text);
            setTag(index, notice.event == TransferEvent::TimedOut ? kTagFailed : kTagEnded);
            break;
        case TransferEvent::Admitted:
            break;
    }
}

void CNewView::OnInitialUpdate() {
    const WindowLayout layout =
        layoutHive_ != nullptr ? LoadWindowLayout(*layoutHive_) : WindowLayout{};
    if (auto placement = MainWindowPlacement(layout, app_.settings.bMinimised)) {
        if (hooks.placeMainWindow) {
            hooks.placeMainWindow(*placement);
        }
    }
    if (initialised_) {
        return;
    }
    initialised_ = true;

    for (int column = 0; column < kColumnCount; ++column) {
        SetColumnWidth(column, layout.widths[static_cast<std::size_t>(column)]);
    }

    auto onTick = [this] { Tick(); };
    if (hooks.createTimer) {
        timer_ = hooks.createTimer(kTickInterval, onTick);
        timerOnLoop_ = false;
    } else {
        timer_ = app_.loop().addTimer(kTickInterval, onTick);
        timerOnLoop_ = true;
    }
    if (timer_ == 0) {
        // Runs on, without supervision ticks.
        app_.dialogs().messageBox(kTimerWarning, MessageIcon::Warning);
    }

    AddClientRow(1, std::string(kStartupRowText));
    // The start-up row's result shows in the colour of a failed transfer.
    const std::size_t startup = rows_.size() - 1;
    setCell(startup, kColumnResult, kStartupRowResult);
    setTag(startup, kTagFailed);

    if (graphic_ != app_.settings.bGraphics) {
        graphic_ = app_.settings.bGraphics;
        notify([&](ClientListObserver& o) { o.graphicChanged(graphic_); });
    }
    StretchLastColumn(hooks.listClientWidth ? hooks.listClientWidth() : 0);
}

int CNewView::FindClientRow(int id) const {
    for (std::size_t i = rows_.size(); i-- > 0;) {
        const RowTag tag = rows_[i].tag;
        if (tag == id && IsLiveTag(tag)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CNewView::AddClientRow(int id, const std::string& text) {
    const std::size_t limit = RowLimit(app_.settings.nDisplayLimit);
    if (rows_.size() > limit) {
        const std::string path = app_.settings.LogFile;
        bool writing = !path.empty();
        do {
            if (writing) {
                writing = writeLog(path, rows_.front());
            }
            removeFirstRow();
        } while (rows_.size() > limit);
    }

    ClientRow row;
    row.cells[kColumnClient] = text;
    row.cells[kColumnStart] = FormatClientTime(app_.clock().nowSeconds());
    row.tag = id;
    row.serial = nextSerial_++;
    const std::size_t index = rows_.size();
    notify([&](ClientListObserver& o) { o.rowAboutToBeAdded(index); });
    rows_.push_back(std::move(row));
    notify([&](ClientListObserver& o) { o.rowAdded(index, rows_[index]); });

    if (hooks.mainWindowMinimised && hooks.mainWindowMinimised()) {
        if (app_.settings.bAlertMinimised && hooks.showAlert) {
            hooks.showAlert(text);
            alertExists_ = true;
        }
    }
}

void CNewView::ClearClientList() {
    if (rows_.empty()) {
        return;
    }
    const std::string path = app_.settings.LogFile;
    bool writing = !path.empty();
    for (std::size_t n = rows_.size(); n > 0; --n) {
        if (writing) {
            // After the first failure the rest of this clear goes unlogged.
            writing = writeLog(path, rows_.front());
        }
        removeFirstRow();
    }
    notify([](ClientListObserver& o) { o.cleared(); });
}

void CNewView::SweepIdleRows() {
    for (std::size_t i = rows_.size(); i-- > 0;) {
        if (IsLiveTag(rows_[i].tag)) {
            finishRow(i, kTagSwept);
        }
    }
}

bool CNewView::listenerHasClients() {
    // The listener's client count: an ended transfer that Supervise has not reported yet still
    // counts, so its row receives its result before any sweep could close it.
    CServerSocket* listener = app_.listener();
    if (listener == nullptr) {
        return false;
    }
    std::lock_guard lock(app_.threadListMutex);
    return listener->clientCount() > 0;
}

void CNewView::Tick() {
    if (listenerHasClients()) {
        idleMark_ = false;
    } else if (alertExists_) {
        alertExists_ = false;
        if (hooks.destroyAlert) {
            hooks.destroyAlert();
        }
    } else if (!idleMark_) {
        // Once per idle period: rows whose end never arrived are closed.
        idleMark_ = true;
        SweepIdleRows();
    }
    app_.supervisor().Supervise();
    app_.supervisor().AdjustPriorities();
}

void CNewView::StretchLastColumn(int clientWidth) {
    long long used = 0;
    for (int column = 0; column < kColumnResult; ++column) {
        used += widths_[static_cast<std::size_t>(column)];
    }
    const long long spare = static_cast<long long>(clientWidth) - used;
    if (spare > 10 && spare <= std::numeric_limits<int>::max()) {
        SetColumnWidth(kColumnResult, static_cast<int>(spare));
    }
}

void CNewView::ResetColumns() {
    for (int column = 0; column < kColumnCount; ++column) {
        SetColumnWidth(column, kDefaultColumnWidths[static_cast<std::size_t>(column)]);
    }
}

void CNewView::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= kColumnCount) {
        return;
    }
    int& current = widths_[static_cast<std::size_t>(column)];
    if (current == width) {
        return;
    }
    current = width;
    notify([&](ClientListObserver& o) { o.columnWidthChanged(column, width); });
}

void CNewView::ToggleGraphic() {
    graphic_ = !graphic_;
    app_.settings.bGraphics = graphic_;
    notify([&](ClientListObserver& o) { o.graphicChanged(graphic_); });
}

void CNewView::setCell(std::size_t index, int column, std::string_view text) {
    // assign() keeps the cell's storage, so a progress update does not allocate.
    rows_[index].cells[static_cast<std::size_t>(column)].assign(text);
    notify([&](ClientListObserver& o) { o.rowChanged(index, column, rows_[index]); });
}

void CNewView::setTag(std::size_t index, RowTag tag) {
    if (rows_[index].tag == tag) {
        return;
    }
    rows_[index].tag = tag;
    notify([&](ClientListObserver& o) { o.tagChanged(index, rows_[index]); });
}

void CNewView::finishRow(std::size_t index, RowTag tag) {
    setCell(index, kColumnStatus, "Done");
    setCell(index, kColumnFinish, FormatClientTime(app_.clock().nowSeconds()));
    if (tag != kTagEnded) {
        setTag(index, tag);
    }
}

void CNewView::removeFirstRow() {
    if (rows_.empty()) {
        return;
    }
    notify([&](ClientListObserver& o) { o.rowAboutToBeRemoved(0, rows_.front()); });
    rows_.pop_front();
    notify([](ClientListObserver& o) { o.rowRemoved(0); });
}

bool CNewView::writeLog(const std::string& path, const ClientRow& row) {
    return hooks.appendLogLine ? hooks.appendLogLine(path, row) : AppendLogLine(path, row);
}

}  // namespace server
