// Raw ICMP datagrams and version pages come from the network: both parsers take any bytes.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/clock.h"
#include "server/engine/server_settings.h"
#include "server/monitor/icmp_report.h"
#include "server/services/version/version_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static server::ServerSettings settings = [] {
        server::ServerSettings s;
        s.IcmpFlags = 0xffffffff;
        return s;
    }();
    static platform::ManualClock clock;
    static server::IcmpReport report(settings, clock);
    report.AddIcmpRow(std::span(data, size));

    std::string_view text(reinterpret_cast<const char*>(data), size);
    server::VersionPage page = server::ParseVersionPage(text);
    (void)page;
    (void)server::VersionValue(text);
    return 0;
}
