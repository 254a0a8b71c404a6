// The profile file and the client's settings in it.

#include <stdlib.h>
#include <sys/stat.h>

#include "client/client_settings.h"
#include "client/ini_profile.h"
#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    std::string path() const { return dir / "merrowinc.ini"; }
    client::ClientSettings load(const std::string& contents) {
        TempDir::write(path(), contents);
        client::ClientSettings settings;
        client::LoadClientSettings(settings, client::IniProfile(path()));
        return settings;
    }
    TempDir dir;
};

TEST_F(SettingsTest, FlagsAreOnOnlyForYesAndNumbersAreTheirLeadingDigits) {
    auto s = load(
        "[Options]\nOverWrite=yes\nTruncate=true\nChange Buttons = YES \nTSize=1\n"
        "Default IP=2abc\nInbound=\"/in/\"\n[startup]\nhost=10.1.2.3\nRemote=r.txt\n");
    EXPECT_TRUE(s.OverWrite);
    EXPECT_FALSE(s.Truncate);
    EXPECT_TRUE(s.ChangeButtons);
    EXPECT_FALSE(s.TSize);
    EXPECT_TRUE(s.binary) << "no Ascii key: octet";
    EXPECT_EQ(s.DefaultIP, 2);
    EXPECT_EQ(s.Inbound, "/in/");
    EXPECT_EQ(s.Host, "10.1.2.3");
    EXPECT_EQ(s.Remote, "r.txt");
    EXPECT_EQ(s.Local, "");

    EXPECT_FALSE(load("[Options]\nAscii=Yes\n").binary);
    EXPECT_TRUE(load("[Options]\nAscii=No\n").binary);
    // The first section of a name wins, and a damaged file reads as missing values.
    EXPECT_FALSE(load("[Options]\nOverWrite=No\n[Options]\nOverWrite=Yes\n").OverWrite);
    EXPECT_FALSE(load(std::string("[Options]\nOverWrite=Yes\n\0\n", 26)).OverWrite);
}

TEST_F(SettingsTest, EachGroupIsStoredAtItsOwnMomentAndOtherLinesStay) {
    TempDir::write(path(), "; kept\n[Other]\nx=1\n[Options]\nAscii=Yes\nInbound=/old/\n");
    client::IniProfile profile(path());
    client::ClientSettings s;
    client::LoadClientSettings(s, profile);
    s.DefaultIP = 3;
    s.Host = "10.1.2.3";

    client::ApplySetup({"/tmp/in", true, "", false, true}, s, profile);
    EXPECT_EQ(s.Inbound, "/tmp/in/");
    EXPECT_EQ(TempDir::read(path()),
              "; kept\n[Other]\nx=1\n[Options]\nAscii=Yes\nInbound=/tmp/in/\nOutbound=\n"
              "OverWrite=Yes\nTruncate=No\nTSize=Yes\nDefault IP=3\n");

    client::ToggleChangeButtons(s, profile);
    client::ToggleChangeButtons(s, profile);
    EXPECT_EQ(profile.read("Options", "Change Buttons"), "No");
    EXPECT_EQ(profile.read("Startup", "Host"), "") << "Startup waits for a transfer start";

    s.binary = true;
    client::StoreAtExit(s, profile);
    s.Remote = "two\nlines";  // a line break must not start a line of its own
    client::StoreStartupValues(s, profile);
    client::IniProfile reread(path());
    EXPECT_EQ(reread.read("Options", "Ascii"), "No");
    EXPECT_EQ(reread.read("Startup", "Host"), "10.1.2.3");
    EXPECT_EQ(reread.read("Startup", "Remote"), "two");
    EXPECT_EQ(reread.read("Other", "x"), "1");
}

TEST_F(SettingsTest, DamagedFileIsReplacedAndANewProfileIsPrivate) {
    TempDir::write(path(), std::string("garbage\0[Options]\n", 18));
    client::IniProfile profile(dir / "sub/merrowinc.ini");
    EXPECT_TRUE(profile.write("Options", "TSize", "Yes"));
    struct stat st {};
    ASSERT_EQ(::stat(profile.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    client::IniProfile damaged(path());
    EXPECT_EQ(damaged.read("Options", "x"), "");
    EXPECT_TRUE(damaged.write("Options", "x", "1"));
    EXPECT_EQ(TempDir::read(path()), "[Options]\nx=1\n");
}

TEST_F(SettingsTest, ProfileLivesInTheConfigurationFolder) {
    const char* oldXdg = ::getenv("XDG_CONFIG_HOME");
    const std::string saved = oldXdg ? oldXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(client::ClientProfilePath(), "/cfg/merrowinc.ini");
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    const char* home = ::getenv("HOME");
    EXPECT_EQ(client::ClientProfilePath(),
              std::string(home ? home : ".") + "/.config/merrowinc.ini");
    if (oldXdg) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace clienttest
