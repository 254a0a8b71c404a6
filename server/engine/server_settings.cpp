#include "server/engine/server_settings.h"

#include <limits>
#include <utility>

#include "platform/registry_hive.h"

namespace server {
namespace {

// Texts are read into 1000-byte buffers that also hold the terminator; longer values are ignored.
constexpr std::size_t kTextBuffer = 1000;

struct FlagBit {
    bool ServerSettings::*flag;
    std::uint32_t bit;
    bool inverted;  // a set bit means the flag is off
};

constexpr FlagBit kFlagBits[] = {
    {&ServerSettings::bAlertMinimised, 0x2, false},
    {&ServerSettings::bAllowTsize, 0x4, false},
    {&ServerSettings::bAllowTimeout, 0x8, false},
    {&ServerSettings::bNoSplash, 0x10, false},
    {&ServerSettings::bRaisePriority, 0x20, false},
    {&ServerSettings::bGraphics, 0x40, false},
    {&ServerSettings::bMinimised, 0x80, false},
    {&ServerSettings::bAskAddress, 0x100, true},
    {&ServerSettings::bPreventRestart, 0x200, true},
    {&ServerSettings::bOutPaths, 0x400, true},
    {&ServerSettings::bNoOutbound, 0x1000, false},
    {&ServerSettings::bNoIncoming, 0x2000, false},
    {&ServerSettings::bUseTaskbar, 0x4000, false},
    {&ServerSettings::bSkipRetry, 0x8000, false},
    {&ServerSettings::bInPaths, 0x10000, false},
    {&ServerSettings::bCreatePaths, 0x20000, false},
    {&ServerSettings::bRenameDuplicates, 0x40000, false},
    {&ServerSettings::bRenameExisting, 0x80000, false},
};

void readText(const platform::RegistryHive& hive, std::string_view name, std::string& field) {
    auto value = hive.readString(kSettingsKey, name);
    if (value && value->size() < kTextBuffer) {
        field = std::move(*value);
    }
}

std::uint32_t readNumber(const platform::RegistryHive& hive, std::string_view name,
                         std::uint32_t preset) {
    return hive.readDword(kSettingsKey, name).value_or(preset);
}

}  // namespace

std::uint32_t packFlags(const ServerSettings& s) {
    std::uint32_t word = 0;
    for (const FlagBit& f : kFlagBits) {
        if (s.*f.flag != f.inverted) {
            word |= f.bit;
        }
    }
    return word;
}

void unpackFlags(ServerSettings& s, std::uint32_t word) {
    for (const FlagBit& f : kFlagBits) {
        s.*f.flag = ((word & f.bit) != 0) != f.inverted;
    }
}

void LoadSettings(ServerSettings& s, const platform::RegistryHive& hive) {
    s.Port = "69";
    s.Timeout = "30";
    s.nDefAddress = 255;
    if (!hive.keyExists(kSettingsKey)) {
        return;
    }

    unpackFlags(s, readNumber(hive, "bDelete", 0));

    readText(hive, "InPath", s.InPath);
    readText(hive, "OutPath", s.OutPath);
    readText(hive, "Port", s.Port);  // a missing or oversized port stays the "69" set above
    readText(hive, "Timeout", s.Timeout);
    readText(hive, "ForceFile", s.ForceFile);
    readText(hive, "SysLogData", s.SysLogData);
    readText(hive, "ADData", s.ADData);

    // The presets are what a missing value reads as, not the constructed defaults
    // (a missing "bDisplay" reads as 0, a missing "nPriority" as 255).
    s.SysLogFlags = readNumber(hive, "SysLogFlags", 0);
    s.IcmpFlags = readNumber(hive, "IcmpFlags", 0);
    s.bForce = readNumber(hive, "bForce", 0);
    s.bAllow = readNumber(hive, "bAllow", 0);
    s.bDeny = readNumber(hive, "bDeny", 0);
    s.bDisplay = readNumber(hive, "bDisplay", 0);
    s.nDefAddress = readNumber(hive, "nDefAddress", 255);
    if (auto sliders = hive.readDword(kSettingsKey, "nSliders")) {
        s.nClientLimit = *sliders & 0xF;
        s.nDisplayLimit = (*sliders >> 4) & 0xF;
    }
    s.nPriority = readNumber(hive, "nPriority", 255);

    readText(hive, "Logfile", s.LogFile);
}

void SaveSettings(const ServerSettings& s, platform::RegistryHive& hive) {
    hive.createKey(kSettingsKey);
    if (!hive.keyExists(kSettingsKey)) {
        return;
    }
    auto text = [&](std::string_view name, const std::string& value) {
        hive.writeString(kSettingsKey, name, value);
    };
    auto number = [&](std::string_view name, std::uint32_t value) {
        hive.writeDword(kSettingsKey, name, value);
    };

    text("Location", s.Location);
    // A path given on the command line is for this run only.
    if (!s.InPathFromCommandLine) {
        text("InPath", s.InPath);
    }
    if (!s.OutPathFromCommandLine) {
        text("OutPath", s.OutPath);
    }
    text("Port", s.Port);
    text("Timeout", s.Timeout);
    text("ForceFile", s.ForceFile);
    text("SysLogData", s.SysLogData);
    text("ADData", s.ADData);
    number("SysLogFlags", s.SysLogFlags);
    number("IcmpFlags", s.IcmpFlags);
    number("bForce", s.bForce);
    number("bAllow", s.bAllow);
    number("bDeny", s.bDeny);
    number("bDisplay", s.bDisplay);
    number("bDelete", packFlags(s));
    number("nDefAddress", s.nDefAddress);
    number("nSliders", s.nClientLimit + 16 * s.nDisplayLimit);
    number("nPriority", s.nPriority);
    text("LogFile", s.LogFile);
}

}  // namespace server
