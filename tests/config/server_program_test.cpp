#include "server/config/server_program.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "../engine/engine_harness.h"
#include "platform/registry_hive.h"
#include "platform/udp_socket.h"
#include "server/config/run_once.h"
#include "server/config/server_front_end.h"

namespace {

class FakeFrontEnd final : public server::ServerFrontEnd {
  public:
    void enableSplash() override { calls.push_back("splash"); }
    bool createMainWindow(bool minimised) override {
        calls.push_back(minimised ? "window-minimised" : "window");
        return windowOk;
    }
    void addTrayIcon() override { calls.push_back("tray+"); }
    void removeTrayIcon() override { calls.push_back("tray-"); }
    void closeAboutSheet() override { calls.push_back("about-"); }
    void showServedFolders(const std::string& text) override { served = text; }
    std::vector<std::string> calls;
    std::string served;
    bool windowOk = true;
};

class ServerProgramTest : public ::testing::Test {
  protected:
    ServerProgramTest() {
        char pattern[] = "/tmp/ravendock-program-XXXXXX";
        root_ = ::mkdtemp(pattern);
        const char* previous = std::getenv("XDG_CONFIG_HOME");
        if (previous != nullptr) {
            savedXdg_ = previous;
        }
        ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        hivePath_ = root_ + "/config/ravendockd.reg";
    }
    ~ServerProgramTest() override {
        if (savedXdg_) {
            ::setenv("XDG_CONFIG_HOME", savedXdg_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        std::filesystem::remove_all(root_);
    }

    void writeHive(const std::string& values) {
        std::filesystem::create_directories(root_ + "/config");
        std::ofstream(hivePath_)
            << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]\n"
            << values;
    }

    // A port the kernel just handed out and took back: a fixed pseudo-random pick collided with
    // the ephemeral ports of test binaries running alongside.
    std::string freePort() {
        platform::UdpSocket probe;
        if (!probe.open(0x7f000001, 0)) {
            return "0";
        }
        return std::to_string(probe.localEndpoint().port);
    }

    std::string root_;
    std::string hivePath_;
    std::optional<std::string> savedXdg_;
    platform::EventLoop loop;
    platform::ManualClock clock;
    enginetest::RecordingDialogs dialogs;
    FakeFrontEnd frontEnd;
};

TEST_F(ServerProgramTest, CommandLineFoldersAreUsedButNotWrittenBack) {
    writeHive("\"InPath\"=\"/old/in/\"\n\"OutPath\"=\"/old/out/\"\n\"Port\"=\"" + freePort() +
              "\"\n\"bAllow\"=dword:00000001\n\"bDelete\"=dword:00000010\n");
    {
        platform::RegistryHive hive(hivePath_);
        server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
        ASSERT_TRUE(program.InitInstance(
            {root_ + "/ravendockd", "-I/new/in/", "/o/new/out/", "--listen=127.0.0.1"}));
        EXPECT_EQ(program.app().settings.InPath, "/new/in/");
        EXPECT_EQ(program.app().settings.OutPath, "/new/out/");
        EXPECT_NE(program.app().listener(), nullptr);
        EXPECT_EQ(program.app().settings.bAllow, 0u) << "no access-list file: lists off";
        EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"window"})) << "bNoSplash set";
        EXPECT_EQ(frontEnd.served, "Serving reads from /new/out/ and writes into /new/in/");
        program.ExitInstance();
    }
    platform::RegistryHive saved(hivePath_);
    EXPECT_EQ(saved.readString(server::kSettingsKey, "InPath"), "/old/in/");
    EXPECT_EQ(saved.readString(server::kSettingsKey, "OutPath"), "/old/out/");
    EXPECT_EQ(saved.readString(server::kSettingsKey, "Location"), root_ + "/ravendockd");
    EXPECT_EQ(saved.readDword(server::kSettingsKey, "bAllow"), 0u);
    EXPECT_EQ(frontEnd.calls.back(), "about-");
}

// Started with an empty folder setting the server serves its current folder, which may be
// the whole filesystem: it says so at start.
TEST_F(ServerProgramTest, EmptyFolderSettingsAreNamedInFull) {
    writeHive("\"Port\"=\"" + freePort() + "\"\n\"InPath\"=\"in\"\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(root_);
    platform::RegistryHive hive(hivePath_);
    server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
    const bool started = program.InitInstance({"ravendockd", "--listen=127.0.0.1"});
    std::filesystem::current_path(previous);
    ASSERT_TRUE(started);
    EXPECT_EQ(frontEnd.served, "Serving reads from " + root_ +
                                   "/ (the current folder: no outbound folder is set) and "
                                   "writes into " +
                                   root_ + "/in/");
    program.ExitInstance();
}

TEST_F(ServerProgramTest, StartUpOrderWithSplashTrayAndMinimised) {
    // 0x80 minimised, 0x4000 taskbar; no 0x10, so the splash is enabled.
    writeHive("\"Port\"=\"" + freePort() + "\"\n\"bDelete\"=dword:00004080\n");
    platform::RegistryHive hive(hivePath_);
    server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
    ASSERT_TRUE(program.InitInstance({"ravendockd", "--listen=127.0.0.1"}));
    program.ExitInstance();
    EXPECT_EQ(frontEnd.calls,
              (std::vector<std::string>{"splash", "window-minimised", "tray+", "tray-"}));
}

TEST_F(ServerProgramTest, ListenerFailureEndsStartUpButStillSaves) {
    writeHive("\"Port\"=\"" + freePort() + "\"\n");
    {
        platform::RegistryHive hive(hivePath_);
        server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
        EXPECT_FALSE(program.InitInstance({"ravendockd", "--listen=192.0.2.1"}));
        ASSERT_FALSE(dialogs.messages.empty());
        EXPECT_EQ(dialogs.messages.back(), server::kUnableToInitialise);
        EXPECT_TRUE(frontEnd.calls.empty()) << "no window after a failed listener";
    }
    platform::RegistryHive saved(hivePath_);
    EXPECT_EQ(saved.readString(server::kSettingsKey, "Location"), "ravendockd");
}

TEST_F(ServerProgramTest, RunOnceRegistersAutostartAndTheNextStartConsumesIt) {
    server::ServerSettings settings;
    settings.Location = root_ + "/bin/ravendockd";
    platform::RegistryHive hive(hivePath_);

    settings.bPreventRestart = true;
    server::RegisterRunOnce(settings, hive, "");
    EXPECT_FALSE(std::filesystem::exists(server::AutostartEntryPath("Mardlecombe")));
    EXPECT_FALSE(hive.readString(server::kRunOnceKey, "Mardlecombe"));

    settings.bPreventRestart = false;
    server::RegisterRunOnce(settings, hive, "");
    const std::string entry = server::AutostartEntryPath("Mardlecombe");
    EXPECT_EQ(entry, root_ + "/config/autostart/ravendockd-mardlecombe.desktop");
    ASSERT_TRUE(std::filesystem::exists(entry));
    std::ifstream in(entry);
    std::string body((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(body.find("Exec=\"" + settings.Location + "\"\n"), std::string::npos) << body;
    platform::RegistryHive reread(hivePath_);
    EXPECT_EQ(reread.readString(server::kRunOnceKey, "Mardlecombe"), settings.Location);

    server::RegisterRunOnce(settings, hive, root_ + "/bin/Ulverstock.exe");
    EXPECT_EQ(platform::RegistryHive(hivePath_).readString(server::kRunOnceKey, "Keswardine"),
              root_ + "/bin/Ulverstock.exe");
    EXPECT_TRUE(std::filesystem::exists(server::AutostartEntryPath("Keswardine")));

    // This program starting again removes only its own registration.
    server::ConsumeRunOnce(hive, settings.Location);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_TRUE(std::filesystem::exists(server::AutostartEntryPath("Keswardine")));
    platform::RegistryHive after(hivePath_);
    EXPECT_FALSE(after.readString(server::kRunOnceKey, "Mardlecombe"));
    EXPECT_TRUE(after.readString(server::kRunOnceKey, "Keswardine"));
}

TEST_F(ServerProgramTest, AutostartExecQuotesAwkwardPaths) {
    server::ServerSettings settings;
    settings.Location = "/opt/my \"tftp\" $dir/50%/ravendockd";
    platform::RegistryHive hive(hivePath_);
    server::RegisterRunOnce(settings, hive, "");
    std::ifstream in(server::AutostartEntryPath("Mardlecombe"));
    std::string body((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(body.find("Exec=\"/opt/my \\\\\"tftp\\\\\" \\\\$dir/50%%/ravendockd\"\n"),
              std::string::npos)
        << body;
}

}  // namespace

namespace {

std::vector<std::uint8_t> listFile(const std::vector<std::string>& allow,
                                   const std::vector<std::string>& deny) {
    std::vector<std::uint8_t> out;
    for (const auto* list : {&allow, &deny}) {
        const auto n = static_cast<std::uint32_t>(list->size());
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
        }
        for (const auto& s : *list) {
            out.push_back(static_cast<std::uint8_t>(s.size()));
            out.insert(out.end(), s.begin(), s.end());
        }
    }
    return out;
}

TEST_F(ServerProgramTest, DataFileListsDecideAdmissionOverTheWire) {
    struct Case {
        std::vector<std::string> allow, deny;
        int bAllow, bDeny;
        bool refused;
    };
    const Case cases[] = {
        {{"127.0.0.1"}, {"127.0.0.1"}, 1, 1, true},  // deny wins
        {{}, {}, 1, 0, true},                        // empty allow list in force
        {{}, {"*.*.*.*"}, 0, 1, true},
        {{"127.*"}, {}, 1, 0, true},  // missing fields are 0: 127.x.0.0 only
        {{"127.0.*.1"}, {}, 1, 0, false},
        {{"127.0.0.*"}, {"10.*"}, 1, 1, false},
    };
    for (const auto& c : cases) {
        const std::string dataFile = root_ + "/lists.dat";
        auto bytes = listFile(c.allow, c.deny);
        std::ofstream(dataFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        std::filesystem::create_directories(root_ + "/out");
        writeHive("\"Port\"=\"" + freePort() + "\"\n\"OutPath\"=\"" + root_ +
                  "/out/\"\n\"ADData\"=\"" + dataFile + "\"\n\"bAllow\"=dword:0000000" +
                  std::to_string(c.bAllow) + "\n\"bDeny\"=dword:0000000" + std::to_string(c.bDeny) +
                  "\n");
        platform::RegistryHive hive(hivePath_);
        server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
        ASSERT_TRUE(program.InitInstance({"ravendockd", "--listen=127.0.0.1"}));
        platform::UdpSocket client;
        ASSERT_TRUE(client.open(0x7f000001, 0));
        auto request = enginetest::request(1, "missing", "octet");
        client.sendTo(request.data(), request.size(),
                      {0x7f000001, program.app().listener()->port()});
        std::vector<std::uint8_t> reply(600);
        platform::Ipv4Endpoint from;
        ssize_t n = -1;
        for (int pass = 0; pass < 200 && n < 0; ++pass) {
            loop.runOnce(5);
            n = client.receiveFrom(reply.data(), reply.size(), from);
        }
        ASSERT_GT(n, 4);
        // Admitted requests for a missing file get "File not found" from the transfer.
        EXPECT_EQ(n == 27 && reply[3] == 0, c.refused)
            << "allow " << c.allow.size() << " deny " << c.deny.size();
    }
}

}  // namespace
