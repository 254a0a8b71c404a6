#include "server/engine/server_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/registry_hive.h"

namespace fs = std::filesystem;
using platform::RegistryHive;
using server::kSettingsKey;
using server::ServerSettings;

namespace {

// The flag fields in "bDelete" bit order, 0x2 to 0x80000 without 0x800.
constexpr bool ServerSettings::*kFlags[] = {
    &ServerSettings::bAlertMinimised,   &ServerSettings::bAllowTsize,
    &ServerSettings::bAllowTimeout,     &ServerSettings::bNoSplash,
    &ServerSettings::bRaisePriority,    &ServerSettings::bGraphics,
    &ServerSettings::bMinimised,        &ServerSettings::bAskAddress,
    &ServerSettings::bPreventRestart,   &ServerSettings::bOutPaths,
    &ServerSettings::bNoOutbound,       &ServerSettings::bNoIncoming,
    &ServerSettings::bUseTaskbar,       &ServerSettings::bSkipRetry,
    &ServerSettings::bInPaths,          &ServerSettings::bCreatePaths,
    &ServerSettings::bRenameDuplicates, &ServerSettings::bRenameExisting,
};

// Which flags are on; bits 0x100/0x200/0x400 are the inverted ones (indexes 7 to 9).
std::vector<bool> flagsOf(const ServerSettings& s) {
    std::vector<bool> out;
    for (auto f : kFlags) {
        out.push_back(s.*f);
    }
    return out;
}

std::vector<bool> onlyInvertedOn() {
    std::vector<bool> v(std::size(kFlags), false);
    v[7] = v[8] = v[9] = true;
    return v;
}

class ServerSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::path(::testing::TempDir()) / "settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        file_ = (dir_ / "ravendockd.reg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    ServerSettings load(const RegistryHive& hive) {
        ServerSettings s;
        server::LoadSettings(s, hive);
        return s;
    }

    fs::path dir_;
    std::string file_;
};

TEST_F(ServerSettingsTest, NoKeyKeepsDefaults) {
    RegistryHive hive(file_);
    hive.writeString("Software\\Quenmarsh\\Elsewhere", "Port", "7000");
    ServerSettings s;
    s.Port = "1";
    s.Timeout = "2";
    s.nDefAddress = 3;
    server::LoadSettings(s, hive);
    EXPECT_EQ(s.Port, "69");
    EXPECT_EQ(s.Timeout, "30");
    EXPECT_EQ(s.nDefAddress, 255u);
    EXPECT_EQ(s.nClientLimit, 1u);
    EXPECT_EQ(s.nDisplayLimit, 6u);
    EXPECT_TRUE(s.bAllowTsize);
    EXPECT_TRUE(s.bAllowTimeout);
    EXPECT_EQ(s.LogFile, "Ravendock.log");
    EXPECT_EQ(s.nPriority, 4u);
}

TEST_F(ServerSettingsTest, KeyWithOnlyPortUsesPresetsForEverythingElse) {
    RegistryHive hive(file_);
    hive.writeString(kSettingsKey, "port", "6969");
    ServerSettings s = load(hive);
    EXPECT_EQ(s.Port, "6969");
    EXPECT_EQ(s.Timeout, "30");
    EXPECT_EQ(s.InPath, "");
    EXPECT_EQ(s.LogFile, "Ravendock.log");
    EXPECT_EQ(flagsOf(s), onlyInvertedOn());
    EXPECT_EQ(s.bDisplay, 0u);  // the load preset, not the constructed 1
    EXPECT_EQ(s.nPriority, 255u);
    EXPECT_EQ(s.nDefAddress, 255u);
    EXPECT_EQ(s.nClientLimit, 1u);
    EXPECT_EQ(s.nDisplayLimit, 6u);
}

TEST_F(ServerSettingsTest, FlagWordAndSlidersUnpack) {
    RegistryHive hive(file_);
    hive.writeDword(kSettingsKey, "bDelete", 0x100);
    hive.writeDword(kSettingsKey, "nSliders", 0x65);
    ServerSettings s = load(hive);
    std::vector<bool> expected(std::size(kFlags), false);
    expected[8] = expected[9] = true;  // bPreventRestart, bOutPaths
    EXPECT_EQ(flagsOf(s), expected);
    EXPECT_EQ(s.nClientLimit, 5u);
    EXPECT_EQ(s.nDisplayLimit, 6u);

    // Each flag owns exactly its bit; 0x1, 0x800 and bits above 0x80000 never come back.
    for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
        server::unpackFlags(s, bit);
        bool kept = bit >= 0x2 && bit <= 0x80000 && bit != 0x800;
        EXPECT_EQ(server::packFlags(s), kept ? bit : 0u) << std::hex << bit;
    }
}

TEST_F(ServerSettingsTest, TextsThatDoNotFitOrHaveTheWrongTypeAreIgnored) {
    RegistryHive hive(file_);
    hive.writeString(kSettingsKey, "InPath", std::string(1000, 'i'));
    hive.writeString(kSettingsKey, "OutPath", std::string(999, 'o'));
    hive.writeString(kSettingsKey, "Port", std::string(1000, '9'));
    hive.writeDword(kSettingsKey, "Timeout", 5);
    hive.writeString(kSettingsKey, "bForce", "1");
    ServerSettings s;
    s.InPath = "C:\\in\\";
    server::LoadSettings(s, hive);
    EXPECT_EQ(s.InPath, "C:\\in\\");
    EXPECT_EQ(s.OutPath, std::string(999, 'o'));
    EXPECT_EQ(s.Port, "69");
    EXPECT_EQ(s.Timeout, "30");
    EXPECT_EQ(s.bForce, 0u);
}

ServerSettings everyFieldChanged() {
    ServerSettings s;
    s.Location = "/opt/ravendockd";
    s.InPath = "C:\\in\\";
    s.OutPath = "C:\\\"out\"\\";
    s.Port = "6969";
    s.Timeout = "7";
    s.ForceFile = "boot.bin";
    s.SysLogData = "sys";
    s.ADData = "lists.dat";
    s.LogFile = "other.log";
    s.SysLogFlags = 0xdeadbeef;
    s.IcmpFlags = 3;
    s.bForce = s.bAllow = s.bDeny = 1;
    s.bDisplay = 0;
    s.nDefAddress = 2;
    s.nClientLimit = 5;
    s.nDisplayLimit = 3;
    s.nPriority = 1;
    for (auto f : kFlags) {
        s.*f = !(s.*f);
    }
    return s;
}

TEST_F(ServerSettingsTest, SaveWritesEveryValueInOrderAndLoadsBack) {
    const ServerSettings saved = everyFieldChanged();
    {
        RegistryHive hive(file_);
        server::SaveSettings(saved, hive);
        ASSERT_TRUE(hive.save());
    }
    std::ifstream in(file_);
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("\"")) {
            names.push_back(line.substr(1, line.find('"', 1) - 1));
        }
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "Location", "InPath", "OutPath", "Port", "Timeout", "ForceFile", "SysLogData",
                  "ADData", "SysLogFlags", "IcmpFlags", "bForce", "bAllow", "bDeny", "bDisplay",
                  "bDelete", "nDefAddress", "nSliders", "nPriority", "LogFile"}));

    RegistryHive hive(file_);
    EXPECT_EQ(hive.readDword(kSettingsKey, "nSliders"), 0x35u);
    ServerSettings back = load(hive);
    EXPECT_EQ(back.Location, "");  // written for others, never read back
    EXPECT_EQ(std::tie(back.InPath, back.OutPath, back.Port, back.Timeout, back.ForceFile,
                       back.SysLogData, back.ADData, back.LogFile),
              std::tie(saved.InPath, saved.OutPath, saved.Port, saved.Timeout, saved.ForceFile,
                       saved.SysLogData, saved.ADData, saved.LogFile));
    EXPECT_EQ(std::tie(back.SysLogFlags, back.IcmpFlags, back.bForce, back.bAllow, back.bDeny,
                       back.bDisplay, back.nDefAddress, back.nClientLimit, back.nDisplayLimit,
                       back.nPriority),
              std::tie(saved.SysLogFlags, saved.IcmpFlags, saved.bForce, saved.bAllow, saved.bDeny,
                       saved.bDisplay, saved.nDefAddress, saved.nClientLimit, saved.nDisplayLimit,
                       saved.nPriority));
    EXPECT_EQ(flagsOf(back), flagsOf(saved));
}

TEST_F(ServerSettingsTest, PathsFromTheCommandLineAreNotWrittenBack) {
    RegistryHive hive(file_);
    hive.writeString(kSettingsKey, "InPath", "C:\\stored\\");
    ServerSettings s = load(hive);
    s.InPath = "/srv/in/";
    s.InPathFromCommandLine = true;
    s.OutPath = "/srv/out/";
    s.Port = "6969";
    s.PortFromCommandLine = true;
    server::SaveSettings(s, hive);
    EXPECT_EQ(hive.readString(kSettingsKey, "InPath"), "C:\\stored\\");
    EXPECT_EQ(hive.readString(kSettingsKey, "OutPath"), "/srv/out/");
    EXPECT_FALSE(hive.readString(kSettingsKey, "Port"));
}

TEST(LeadingNumber, TakesLeadingDigitsAndSaturates) {
    EXPECT_EQ(server::leadingNumber("69"), 69u);
    EXPECT_EQ(server::leadingNumber("30s"), 30u);
    EXPECT_EQ(server::leadingNumber(""), 0u);
    EXPECT_EQ(server::leadingNumber(" 5"), 0u);
    EXPECT_EQ(server::leadingNumber("-5"), 0u);
    EXPECT_EQ(server::leadingNumber("4294967295"), 4294967295u);
    EXPECT_EQ(server::leadingNumber("4294967296"), 4294967295u);
    EXPECT_EQ(server::leadingNumber("99999999999999999999"), 4294967295u);
}

}  // namespace
