#pragma once

#include <string>
#include <string_view>

#include "client/ini_profile.h"

namespace client {

// The client's persistent settings, held by the application for the whole run. They are read
// once at start; each group is written at its own moment (Setup confirmed, Rename Buttons, each
// transfer start, exit), never all at once.
struct ClientSettings {
    // Section "Options". The directories are put directly in front of a local name, so a
    // non-empty one ends with the separator.
    std::string Inbound;
    std::string Outbound;
    bool OverWrite = false;      // replace an existing local file on fetch without asking
    bool Truncate = false;       // cut remote names to eight-plus-three form
    bool ChangeButtons = false;  // the buttons read "Get" and "Put"
    bool TSize = false;          // a write request carries the tsize option
    bool binary = true;          // stored reversed, as "Ascii"
    int DefaultIP = 0;           // position from 1 of the local address to use; 0 = ask
    // "WindowSize": blocks a transfer asks to send per ACK (the windowsize option); 0 = off.
    // Read only: set by hand in the profile or for one run by --windowsize=N.
    int WindowSize = 0;

    // Section "Startup": the last transfer's values.
    std::string Host;
    std::string Local;
    std::string Remote;
};

inline constexpr char kDirectorySeparator = '/';
inline constexpr int kMaxWindowSize = 65535;

// A window size as typed: its leading digits; anything outside 1 to 65535 is off (0).
int WindowSizeFrom(std::string_view text);

// The profile of the program: "$XDG_CONFIG_HOME/merrowinc.ini".
std::string ClientProfilePath();

void LoadClientSettings(ClientSettings& settings, const IniProfile& profile);

// What the pages of the options sheet hold.
struct SetupPageValues {
    std::string inbound;
    bool overwrite = false;
    std::string outbound;
    bool truncate = false;
    bool sendTsize = false;
};
SetupPageValues SetupPagesFrom(const ClientSettings& settings);
// The sheet was confirmed: takes the values (a directory gets its trailing separator) and stores
// "Inbound", "Outbound", "OverWrite", "Truncate", "TSize" and "Default IP", in that order.
void ApplySetup(const SetupPageValues& pages, ClientSettings& settings, IniProfile& profile);

// Rename Buttons: flips the flag and stores it at once.
void ToggleChangeButtons(ClientSettings& settings, IniProfile& profile);

// At each transfer start that passed the checks.
void StoreStartupValues(const ClientSettings& settings, IniProfile& profile);

// At exit: the mode last used becomes the default.
void StoreAtExit(const ClientSettings& settings, IniProfile& profile);

}  // namespace client
