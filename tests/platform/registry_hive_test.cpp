#include "platform/registry_hive.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;
using platform::RegistryHive;

namespace {

constexpr std::string_view kKey = "Software\\Quenmarsh\\Tollerby";

class RegistryHiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::path(::testing::TempDir()) / "hive-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        file_ = (dir_ / "test.reg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void writeFile(const std::string& contents) {
        std::ofstream(file_, std::ios::binary) << contents;
    }
    std::string readFile() {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // A hive file holding one section with the given lines under it.
    RegistryHive hiveWith(const std::string& lines) {
        writeFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]\r\n" + lines);
        return RegistryHive(file_);
    }

    fs::path dir_;
    std::string file_;
};

TEST_F(RegistryHiveTest, RoundTripsTextsAndDwordsThroughTheFile) {
    const std::string awkward = "C:\\in\\\"quoted\"\\\r\nline\xff\x01 end\\";
    RegistryHive hive(file_);
    hive.writeString(kKey, "InPath", awkward);
    hive.writeDword(kKey, "bDelete", 0x1e);
    hive.writeDword(kKey, "Big", 0xFFFFFFFF);
    hive.writeString(kKey, "inpath", awkward);  // same value, spelling kept
    hive.writeString("Software\\quenmarsh\\Other", "", "default");
    ASSERT_TRUE(hive.save());

    std::string text = readFile();
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]\n", 0),
              0u);
    EXPECT_NE(text.find("\"bDelete\"=dword:0000001e\n"), std::string::npos);
    EXPECT_NE(text.find("\"InPath\"=\"C:\\\\in\\\\\\\"quoted\\\"\\\\"), std::string::npos);
    EXPECT_EQ(text.find("inpath"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Other]\n@=\"default\"\n"),
              std::string::npos);

    RegistryHive back(file_);
    EXPECT_EQ(back.readString("SOFTWARE\\QUENMARSH\\TOLLERBY", "INPATH"), awkward);
    EXPECT_EQ(back.readDword(kKey, "bdelete"), 0x1eu);
    EXPECT_EQ(back.readDword(kKey, "Big"), 0xFFFFFFFFu);
    EXPECT_EQ(back.readString("Software\\Quenmarsh\\Other", ""), "default");
    // A value of the other kind reads as missing.
    EXPECT_EQ(back.readString(kKey, "bDelete"), std::nullopt);
    EXPECT_EQ(back.readDword(kKey, "InPath"), std::nullopt);

    back.deleteValue(kKey, "INPATH");
    EXPECT_EQ(back.readString(kKey, "InPath"), std::nullopt);
}

TEST_F(RegistryHiveTest, KeysExistWithTheirAncestorsAndKeepOrderAndSpelling) {
    RegistryHive hive(file_);
    EXPECT_FALSE(hive.keyExists("Software"));
    hive.createKey("Software\\Quenmarsh\\Tollerby");
    EXPECT_TRUE(hive.keyExists("software"));
    EXPECT_TRUE(hive.keyExists("SOFTWARE\\quenmarsh"));
    EXPECT_TRUE(hive.keyExists("Software\\Quenmarsh\\Tollerby"));
    EXPECT_FALSE(hive.keyExists("Software\\Quen"));
    EXPECT_FALSE(hive.keyExists("Software\\Quenmarsh\\Tollerby\\Deeper"));

    hive.writeString("software\\QUENMARSH\\Zeta", "z", "1");
    hive.writeString(kKey, "b", "1");
    hive.writeString(kKey, "a", "1");
    hive.writeString(kKey, "B", "2");
    ASSERT_TRUE(hive.save());
    EXPECT_EQ(readFile(),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]\n\"b\"=\"2\"\n\"a\"=\"1\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Zeta]\n\"z\"=\"1\"\n\n");
}

TEST_F(RegistryHiveTest, DamagedLinesReadAsMissingValues) {
    RegistryHive hive = hiveWith(
        "\"Unterminated\"=\"abc\r\n"
        "\"BadEscape\"=\"a\\qb\"\r\n"
        "\"Trailing\"=\"x\"junk\r\n"
        "\"NonHex\"=dword:0000001g\r\n"
        "\"TooLong\"=dword:123456789\r\n"
        "\"Empty\"=dword:\r\n"
        "\"Binary\"=hex:01,02\r\n"
        "\"NoValue\"\r\n"
        "\"Nul\"=\"a" +
        std::string(1, '\0') +
        "b\"\r\n"
        "\x80\xfe\xff garbage \x01\x02\r\n"
        "\"Short\"=dword:1e\r\n"
        "  \"Spaced\" = \"ok\"  \r\n"
        "\"Last\"=\"unterminated");
    for (const char* name : {"Unterminated", "BadEscape", "Trailing", "NonHex", "TooLong", "Empty",
                             "Binary", "NoValue", "Nul", "Last"}) {
        EXPECT_EQ(hive.readString(kKey, name), std::nullopt) << name;
        EXPECT_EQ(hive.readDword(kKey, name), std::nullopt) << name;
    }
    EXPECT_EQ(hive.readDword(kKey, "Short"), 0x1eu);
    EXPECT_EQ(hive.readString(kKey, "Spaced"), "ok");
}

TEST_F(RegistryHiveTest, DamagedStructureReadsAsEmptyOrIgnoresStrayValues) {
    writeFile(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"1\"\n");
    EXPECT_FALSE(RegistryHive(file_).keyExists("Software"));

    writeFile(
        "REGEDIT4\n\"Stray\"=\"1\"\n[HKEY_LOCAL_MACHINE\\Software\\Quenmarsh\\Tollerby]\n"
        "\"Foreign\"=\"1\"\n[HKEY_CURRENT_USER\\Kept]\n\"Before\"=\"1\"\n"
        "[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby\n\"Cut\"=\"1\"\n");
    RegistryHive hive(file_);
    EXPECT_FALSE(hive.keyExists("Software"));
    EXPECT_EQ(hive.readString("", "Stray"), std::nullopt);
    EXPECT_EQ(hive.readString("Kept", "Before"), "1");
    EXPECT_EQ(hive.readString("Kept", "Cut"), std::nullopt);

    // A section named twice gathers its values; a repeated value takes the later one.
    writeFile(
        "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\"\n[HKEY_CURRENT_USER\\B]\n"
        "[hkey_current_user\\a]\n\"X\"=\"2\"\n\"y\"=\"3\"");
    RegistryHive merged(file_);
    EXPECT_EQ(merged.readString("A", "x"), "2");
    EXPECT_EQ(merged.readString("A", "y"), "3");
}

TEST_F(RegistryHiveTest, HugeSingleLineIsSkippedWithoutLosingTheRest) {
    std::string huge(10 * 1024 * 1024, 'x');
    RegistryHive garbage = hiveWith("\"Huge\"=\"" + huge + "\r\n\"After\"=dword:00000001\r\n");
    EXPECT_EQ(garbage.readString(kKey, "Huge"), std::nullopt);
    EXPECT_EQ(garbage.readDword(kKey, "After"), 1u);

    RegistryHive valid = hiveWith("\"Huge\"=\"" + huge + "\"\r\n");
    EXPECT_EQ(valid.readString(kKey, "Huge").value_or("").size(), huge.size());
}

TEST_F(RegistryHiveTest, SaveCreatesFolderAndLeavesNoTemporaryFiles) {
    std::string nested = (dir_ / "a" / "b" / "hive.reg").string();
    RegistryHive hive(nested);
    hive.writeDword(kKey, "n", 7);
    ASSERT_TRUE(hive.save());
    hive.writeDword(kKey, "n", 8);
    ASSERT_TRUE(hive.save());
    EXPECT_EQ(RegistryHive(nested).readDword(kKey, "n"), 8u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / "a" / "b")) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"hive.reg"});

    // reload() picks up what another writer saved and drops unsaved changes.
    RegistryHive other(nested);
    other.writeDword(kKey, "m", 1);
    ASSERT_TRUE(other.save());
    hive.writeDword(kKey, "unsaved", 1);
    hive.reload();
    EXPECT_EQ(hive.readDword(kKey, "m"), 1u);
    EXPECT_EQ(hive.readDword(kKey, "unsaved"), std::nullopt);

    // A rename that fails (the target is a folder) removes its temporary file.
    RegistryHive ontoFolder((dir_ / "a").string());
    ontoFolder.createKey("A");
    EXPECT_FALSE(ontoFolder.save());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    // A folder that cannot exist (its parent is a file) fails without throwing.
    writeFile("plain file");
    RegistryHive blocked(file_ + "/sub/hive.reg");
    blocked.createKey("A");
    EXPECT_FALSE(blocked.save());
}

TEST(RegistryHiveDefaultPath, FollowsXdgConfigHomeThenHome) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(RegistryHive::defaultPath("ravendockd"), "/cfg/ravendockd.reg");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(RegistryHive::defaultPath("ravendockd"), "/home/u/.config/ravendockd.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryHive::defaultPath("ravendockd"), "/home/u/.config/ravendockd.reg");

    oldXdg ? ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
