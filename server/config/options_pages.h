#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/config/access_list_editor.h"
#include "server/config/folder_check.h"

namespace server {

class ServerApplication;

// What the pages need besides the application object: the questions the window asks, the
// mounts the folder checks judge drives by, and two facts about this machine.
struct OptionsContext {
    AskYesNo askYesNo;
    MountTable mounts;
    // The listener found more than one host address: only then may the multihomed box change.
    bool multihomed = false;
    // Raw ICMP sockets can be opened; without them the ICMP page shows its boxes disabled.
    bool rawIcmpAvailable = true;
};

enum class PageApply { Applied, Refused };

// Every page keeps copies of the values it shows. It is opened (its own values filled in) when
// first shown, and only an opened page is applied. A change of a control marks it modified.
class OptionsPageBase {
  public:
    virtual ~OptionsPageBase() = default;
    bool opened() const { return opened_; }
    bool modified() const { return modified_; }
    void setModified() { modified_ = true; }

    void open(const ServerSettings& settings) {
        if (!opened_) {
            opened_ = true;
            onOpen(settings);
        }
    }
    PageApply apply(ServerApplication& app, const OptionsContext& context) {
        if (!opened_) {
            return PageApply::Applied;
        }
        const PageApply result = onApply(app, context);
        if (result == PageApply::Applied) {
            modified_ = false;
        }
        return result;
    }

  protected:
    virtual void onOpen(const ServerSettings& /*settings*/) {}
    virtual PageApply onApply(ServerApplication& app, const OptionsContext& context) = 0;

  private:
    bool opened_ = false;
    bool modified_ = false;
};

// "Inbound": the folder written files go to and how they are named.
class InboundPage final : public OptionsPageBase {
  public:
    // Filled by the sheet when it opens.
    explicit InboundPage(const ServerSettings& settings);

    std::string path;
    bool inPaths;
    bool createPaths;
    bool renameDuplicates;
    bool renameExisting;
    // The path field and Browse, disabled while -I gave the path.
    bool pathEnabled() const { return pathEnabled_; }
    // "Rename Existing" only makes sense while duplicates are renamed.
    bool renameExistingEnabled() const { return renameDuplicates; }

  private:
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
    bool pathEnabled_;
};

// "Outbound": the folder read requests are served from and the single-file option.
class OutboundPage final : public OptionsPageBase {
  public:
    explicit OutboundPage(const ServerSettings& settings);

    std::string path;
    bool outPaths;
    bool force;
    std::string forceFile;
    bool pathEnabled() const { return pathEnabled_; }

  private:
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
    bool pathEnabled_;
};

// "Allow" and "Deny": the list editor; the data file is written when the page is applied.
class AccessListPage final : public OptionsPageBase {
  public:
    explicit AccessListPage(AccessListKind kind) : editor_(kind) {}

    AccessListEditor& editor() { return editor_; }
    const AccessListEditor& editor() const { return editor_; }
    AddResult add(const AddressFields& fields);
    bool remove(std::optional<std::size_t> selected);
    void setChecked(bool checked);

  private:
    void onOpen(const ServerSettings& settings) override { editor_.Open(settings); }
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
    AccessListEditor editor_;
};

// "Options": port, time-out, protocol options, start-up and window options.
class OtherPage final : public OptionsPageBase {
  public:
    OtherPage(const ServerSettings& settings, bool multihomed);

    std::string port;     // typed as digits only
    std::string timeout;  // typed as digits only
    bool skipRetry;
    bool noMultihomedBox;  // "Do not show multihomed request box": bAskAddress inverted
    bool alertMinimised;
    bool allowTsize;
    bool allowTimeout;
    bool noSplash;
    bool minimised;
    bool noOutbound;
    bool noIncoming;
    bool useTaskbar;
    bool preventRestart;

    bool multihomedBoxEnabled() const { return multihomed_; }
    // A minimised start shows no splash, so the box is held on.
    bool noSplashEnabled() const { return !minimised; }
    void setMinimised(bool on);

  private:
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
    bool multihomed_;
};

struct SliderScale {
    std::string_view label;
    int positions;
    int outOfRangePosition;
    std::array<std::string_view, 7> ticks;  // the scale labels, empty past the last position
};
inline constexpr SliderScale kClientLimitScale{
    "Maximum simultaneous Clients", 6, 1, {"1", "5", "10", "15", "30", "~", ""}};
inline constexpr SliderScale kDisplayLimitScale{
    "Maximum Clients in display", 7, 6, {"5", "10", "20", "30", "40", "50", "100"}};

// "Client Limits": the two sliders. Modified only when a slider really left the position it had
// when the page became active.
class ClientsPage final : public OptionsPageBase {
  public:
    int clientPosition() const { return client_; }
    int displayPosition() const { return display_; }
    // The page becomes active: the positions are remembered.
    void activate();
    // A slider notification, or the page being left.
    void setPositions(int client, int display);

  private:
    void onOpen(const ServerSettings& settings) override;
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
    int client_ = 1;
    int display_ = 6;
    int rememberedClient_ = 1;
    int rememberedDisplay_ = 6;
};

inline constexpr std::array<std::string_view, 4> kPriorityLabels = {"Low", "Normal", "High",
                                                                    "Automatic Priority Changes"};

// "MultiThreading && Logging": process and thread priorities and the log file name.
class ThreadsPage final : public OptionsPageBase {
  public:
    bool raisePriority = false;
    // 0 to 3, the radio button shown checked; nullopt when none is.
    std::optional<int> priority;
    std::string logFile;

  private:
    void onOpen(const ServerSettings& settings) override;
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
};

struct IcmpBox {
    int bit;
    std::string_view label;
};
// The fourteen boxes of the ICMP page by bit (bit 0 first).
extern const std::array<IcmpBox, 14> kIcmpBoxes;
// The page's two columns: bits 0 to 6 on the left; "Unknown messages" then bits 7 to 12 on the
// right.
extern const std::array<int, 7> kIcmpLeftColumn;
extern const std::array<int, 7> kIcmpRightColumn;
inline constexpr std::uint32_t kIcmpPageBits = 0x3FFF;

// "ICMP Messages": which kinds the ICMP report lists.
class IcmpPage final : public OptionsPageBase {
  public:
    explicit IcmpPage(bool rawIcmpAvailable) : enabled_(rawIcmpAvailable) {}
    std::uint32_t flags = 0;
    bool checked(int bit) const { return (flags >> bit) & 1U; }
    void setChecked(int bit, bool on);
    // All boxes are disabled (showing their values) when raw ICMP cannot be received.
    bool boxesEnabled() const { return enabled_; }

  private:
    void onOpen(const ServerSettings& settings) override;
    PageApply onApply(ServerApplication& app, const OptionsContext& context) override;
    bool enabled_;
};

}  // namespace server
