#include "client/transfer_setup.h"

#include "platform/host_addresses.h"
#include "platform/ipv4.h"

namespace client {

namespace {

constexpr std::uint32_t kNoAddress = 0;
constexpr std::uint32_t kBroadcast = 0xffffffff;
constexpr std::uint32_t kDefaultPort = 69;
constexpr int kDefaultTimeout = 30;
constexpr int kDefaultBlockSize = 512;

}  // namespace

LocalHost LocalHost::System() {
    LocalHost host;
    host.name = platform::hostName;
    host.addresses = platform::hostIpv4Addresses;
    return host;
}

std::size_t ChooseLocalAddress(const std::vector<std::string>& addresses, int& DefaultIP,
                               bool& showAgain, ClientDialogs& dialogs) {
    if (addresses.size() <= 1) {
        DefaultIP = 0;
        return 0;
    }
    if (!showAgain && DefaultIP >= 1 && static_cast<std::size_t>(DefaultIP) <= addresses.size()) {
        return static_cast<std::size_t>(DefaultIP - 1);
    }
    MultihomedAnswer answer = dialogs.ChooseLocalAddress(addresses, showAgain);
    if (!answer.ok || answer.row >= addresses.size()) {
        return 0;
    }
    showAgain = answer.showAgain;
    if (!answer.showAgain) {
        DefaultIP = static_cast<int>(answer.row + 1);
    }
    return answer.row;
}

bool PrepareTransfer(TransferForm& form, ClientSettings& settings, ClientDialogs& dialogs,
                     IniProfile& profile, PreparedTransfer& prepared) {
    // Names typed with "/" are already in this platform's form: nothing to convert.
    if (form.localName.empty()) {
        return false;
    }
    prepared.localName = std::string(CutText(form.localName, kMaxNameLength));

    if (form.remoteName.empty()) {
        return false;
    }
    prepared.remoteName = std::string(CutText(form.remoteName, kMaxNameLength));
    if (settings.Truncate) {
        prepared.remoteName = TruncateRemoteName(prepared.remoteName);
        form.remoteName = prepared.remoteName;
    }

    prepared.host = std::string(CutText(form.host, kMaxHostLength));
    auto address = platform::parseAddress(prepared.host);
    if (!address || *address == kNoAddress || *address == kBroadcast) {
        dialogs.MessageBox("Illegal I.P. for Host Address\nPlease be more diligent  :)");
        return false;
    }

    prepared.port = static_cast<std::uint32_t>(LeadingDecimal(form.port, 0xffffffff));
    if (prepared.port == 0) {
        dialogs.MessageBox("Illegal port number specified\nport 69 will be used");
        prepared.port = kDefaultPort;
    }

    prepared.timeout = static_cast<int>(LeadingDecimal(form.timeout, 0x7fffffff));
    if (prepared.timeout == 0) {
        dialogs.MessageBox("Timeout set to 30 seconds");
        prepared.timeout = kDefaultTimeout;
    }

    const std::uint64_t blockSize = LeadingDecimal(form.blockSize, 0x7fffffff);
    if (blockSize < kMinFormBlockSize || blockSize > kMaxFormBlockSize) {
        dialogs.MessageBox(kBlockSizeErrorText, kBlockSizeErrorTitle);
        prepared.blockSize = kDefaultBlockSize;
        form.blockSize = "512";
    } else {
        prepared.blockSize = static_cast<int>(blockSize);
    }

    settings.Host = prepared.host;
    settings.Local = prepared.localName;
    settings.Remote = prepared.remoteName;
    StoreStartupValues(settings, profile);
    return true;
}

}  // namespace client
