#include "client/client_settings.h"

#include <string_view>

#include "client/transfer_form.h"
#include "platform/ascii_text.h"

namespace client {

namespace {

constexpr std::string_view kOptions = "Options";
constexpr std::string_view kStartup = "Startup";

bool isYes(std::string_view text) {
    return platform::EqualsIgnoreCase(text, "yes");
}

std::string_view yesNo(bool on) {
    return on ? "Yes" : "No";
}

std::string withSeparator(std::string dir) {
    if (!dir.empty() && dir.back() != kDirectorySeparator) {
        dir += kDirectorySeparator;
    }
    return dir;
}

}  // namespace

std::string ClientProfilePath() {
    return IniProfile::defaultPath("merrowinc");
}

void LoadClientSettings(ClientSettings& settings, const IniProfile& profile) {
    settings.Inbound = profile.read(kOptions, "Inbound");
    settings.Outbound = profile.read(kOptions, "Outbound");
    settings.OverWrite = isYes(profile.read(kOptions, "OverWrite"));
    settings.Truncate = isYes(profile.read(kOptions, "Truncate"));
    settings.ChangeButtons = isYes(profile.read(kOptions, "Change Buttons"));
    settings.TSize = isYes(profile.read(kOptions, "TSize"));
    settings.binary = !isYes(profile.read(kOptions, "Ascii"));
    settings.DefaultIP =
        static_cast<int>(LeadingDecimal(profile.read(kOptions, "Default IP"), 0x7fffffff));
    settings.Host = profile.read(kStartup, "Host");
    settings.Local = profile.read(kStartup, "Local");
    settings.Remote = profile.read(kStartup, "Remote");
}

SetupPageValues SetupPagesFrom(const ClientSettings& settings) {
    return SetupPageValues{settings.Inbound, settings.OverWrite, settings.Outbound,
                           settings.Truncate, settings.TSize};
}

void ApplySetup(const SetupPageValues& pages, ClientSettings& settings, IniProfile& profile) {
    settings.Inbound = withSeparator(pages.inbound);
    settings.OverWrite = pages.overwrite;
    settings.Outbound = withSeparator(pages.outbound);
    settings.Truncate = pages.truncate;
    settings.TSize = pages.sendTsize;
    // The only place "Default IP" is stored: a choice made in the multihomed dialog lasts
    // beyond this run only once the sheet has been confirmed.
    const std::string defaultIP = std::to_string(settings.DefaultIP);
    profile.write(kOptions, {{"Inbound", settings.Inbound},
                             {"Outbound", settings.Outbound},
                             {"OverWrite", yesNo(settings.OverWrite)},
                             {"Truncate", yesNo(settings.Truncate)},
                             {"TSize", yesNo(settings.TSize)},
                             {"Default IP", defaultIP}});
}

void ToggleChangeButtons(ClientSettings& settings, IniProfile& profile) {
    settings.ChangeButtons = !settings.ChangeButtons;
    profile.write(kOptions, "Change Buttons", yesNo(settings.ChangeButtons));
}

void StoreStartupValues(const ClientSettings& settings, IniProfile& profile) {
    profile.write(
        kStartup,
        {{"Host", settings.Host}, {"Local", settings.Local}, {"Remote", settings.Remote}});
}

void StoreAtExit(const ClientSettings& settings, IniProfile& profile) {
    profile.write(kOptions, "Ascii", settings.binary ? "No" : "Yes");
}

}  // namespace client
