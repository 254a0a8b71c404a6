#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/client_dialogs.h"
#include "client/client_settings.h"
#include "client/ini_profile.h"
#include "client/transfer_form.h"

namespace client {

// Where the local address of a transfer comes from: the host's name and the IPv4 addresses of
// its interfaces that are up (loopback only when there is no other, in the system's order), and
// the multihomed dialog's "Show this dialog again" box, which lasts for this run only.
struct LocalHost {
    std::function<std::optional<std::string>()> name;
    std::function<std::vector<std::uint32_t>()> addresses;
    bool showAgain = false;

    // The running system.
    static LocalHost System();
};

// The position (from 0) of the address to use among several, asking with the multihomed dialog
// unless the remembered DefaultIP (from 1) names one and the dialog is not asked for again.
// With one address DefaultIP becomes 0 and nothing is asked.
std::size_t ChooseLocalAddress(const std::vector<std::string>& addresses, int& DefaultIP,
                               bool& showAgain, ClientDialogs& dialogs);

// Checks and normalises the form, in order: local name, remote name (cut to eight-plus-three
// form when Truncate is on; the form shows the result), host, port, time-out, block size. False
// when the start must stop; a bad port, time-out or block size is replaced by its default after
// a message. On success the Startup values are stored.
bool PrepareTransfer(TransferForm& form, ClientSettings& settings, ClientDialogs& dialogs,
                     IniProfile& profile, PreparedTransfer& prepared);

}  // namespace client
