// The program in console mode: command line, automatic transfer and exit status, against a
// server scripted inside the event loop.

#include <chrono>
#include <cstdio>

#include "client/client_app.h"
#include "client/command_line.h"
#include "client/console/console_run.h"
#include "client/console/console_window.h"
#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, file)) {
        text.append(chunk, n);
    }
    return text;
}

class AppTest : public ::testing::Test {
  protected:
    // A run that never ends would hold the loop forever: this bounds it in time.
    AppTest() {
        loop.addTimer(
            std::chrono::seconds(20),
            [this] {
                ADD_FAILURE() << "the run did not end";
                loop.quit();
            },
            false);
    }
    ~AppTest() override {
        std::fclose(helpOut);
        std::fclose(errOut);
    }
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "merrowinc");
        return client::RunConsole(app, window, loop, args, helpOut, errOut);
    }
    std::string port() const { return "-O" + std::to_string(server.port()); }
    // Answers a fetch with one short block, or each block of a send with its ACK.
    void serveOneBlock(const std::string& body) {
        server.script([this, body](const Bytes& got) {
            if (opcodeOf(got) == 1) {
                server.reply(data(1, body));
            } else if (opcodeOf(got) == 2) {
                server.reply(ack(0));
            } else if (opcodeOf(got) == 3) {
                stored += textOf(got);
                server.reply(ack(blockOf(got)));
            }
        });
    }

    TempDir dir;
    platform::EventLoop loop;
    platform::ManualClock clock;
    RecordingDialogs dialogs;
    client::IniProfile profile{dir / "merrowinc.ini"};
    std::FILE* helpOut = std::tmpfile();
    std::FILE* errOut = std::tmpfile();
    client::ConsoleWindow window{loop, errOut, false};
    client::CMerrowinApp app{loop, clock, dialogs, profile, loopbackHost()};
    FakeServer server{loop};
    std::string stored;
};

TEST_F(AppTest, AutomaticFetchWritesWhereGSaysAndEndsWith0) {
    serveOneBlock("hello");
    EXPECT_EQ(run({"-H127.0.0.1", port(), "-G" + dir / "data.bin", "-B", "-Pignored"}), 0);
    ASSERT_EQ(server.received.size(), 2u) << "only the fetch runs";
    EXPECT_EQ(server.received[0], packet(1, {"data.bin", "octet", "tsize", "0"}));
    EXPECT_EQ(TempDir::read(dir / "data.bin"), "hello");
    EXPECT_EQ(app.view().documentTitle, "Auto 127.0.0.1 from 127.0.0.1");
    EXPECT_EQ(contents(errOut),
              "merrowinc: Requesting file from server ...\n"
              "merrowinc: Received 5 bytes (1 blocks) - Done\n");
    client::IniProfile reread(profile.path());
    EXPECT_EQ(reread.read("Startup", "Local"), "data.bin");
    EXPECT_EQ(reread.read("Startup", "Host"), "127.0.0.1");
    EXPECT_EQ(reread.read("Options", "Inbound"), "") << "-G's folder is for this run only";
    EXPECT_EQ(reread.read("Options", "Ascii"), "No");
}

TEST_F(AppTest, AutomaticSendOfTheExampleGoesAsTheRemoteNameInNetascii) {
    TempDir::write(dir / "report.txt", "line\n");
    serveOneBlock("");
    EXPECT_EQ(run({"-h127.0.0.1", "/p" + dir / "report.txt", "-Rremote.txt", port(), "-a"}), 0);
    EXPECT_EQ(server.received.at(0), packet(2, {"remote.txt", "netascii"}));
    EXPECT_EQ(stored, "line\r\n");
    EXPECT_EQ(app.view().documentTitle, "Auto 127.0.0.1 to 127.0.0.1");
    EXPECT_EQ(contents(errOut),
              "merrowinc: Offering file to server ...\nmerrowinc: Sent 6 bytes (120%)\n");
    EXPECT_EQ(client::IniProfile(profile.path()).read("Options", "Ascii"), "Yes");
}

TEST_F(AppTest, ExtensionsFillTheFormAndOptionRefusalEndsWith7) {
    server.script([this](const Bytes&) { server.reply(coded(8, 0, "Inconclusive system error")); });
    EXPECT_EQ(run({"-H127.0.0.1", port(), "-G" + dir / "x.bin", "--blksize=1024", "--timeout=5",
                   "--send-timeout"}),
              7);
    EXPECT_EQ(server.received.at(0),
              packet(1, {"x.bin", "octet", "tsize", "0", "timeout", "5", "blksize", "1024"}));
    EXPECT_EQ(server.received.at(1), coded(5, 7, "Option negotiation failure"));
}

TEST_F(AppTest, ServerErrorEndsWith1AndShowsAtMost60Characters) {
    server.script([this](const Bytes&) { server.reply(coded(5, 1, std::string(80, 'm'))); });
    EXPECT_EQ(run({"-H127.0.0.1", port(), "-G" + dir / "x.bin", "--blksize=65421"}), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.bin"));
    EXPECT_EQ(server.received.at(0), packet(1, {"x.bin", "octet", "tsize", "0"}));
    EXPECT_EQ(dialogs.captions,
              std::vector<std::string>{std::string(client::kBlockSizeErrorTitle)});
    EXPECT_NE(
        contents(errOut).find("\nmerrowinc: Msg from Server > " + std::string(42, 'm') + "\n"),
        std::string::npos);
}

TEST_F(AppTest, SilenceEndsWith254OnceTheTimeOutHasPassed) {
    server.script([this](const Bytes&) { clock.advance(11); });
    EXPECT_EQ(run({"-H127.0.0.1", port(), "-G" + dir / "x.bin"}), 254);
    EXPECT_EQ(server.received.size(), 1u);
    EXPECT_NE(contents(errOut).find("merrowinc: Timed out\n"), std::string::npos);
}

TEST_F(AppTest, WithoutHostAndFileTheHelpIsPrintedAndTheModeStoredAtExit) {
    EXPECT_EQ(run({"-A"}), 0);
    EXPECT_FALSE(app.automatic);
    const std::string help = contents(helpOut);
    for (std::string_view text : client::CommandLineHelpTexts()) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
    EXPECT_NE(help.find("254\ttimed out, or the transfer did not start"), std::string::npos);
    server.expectSilence();
    client::ClientSettings next;
    client::LoadClientSettings(next, client::IniProfile(profile.path()));
    EXPECT_FALSE(next.binary);
}

// A script must not mistake a command line that cannot work for a finished transfer.
TEST_F(AppTest, CommandLineThatCannotStartAsWrittenEndsWith2AndSaysWhy) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-H", "127.0.0.1", "-Gx.bin"}, "-H has no value"},
        {{"-H127.0.0.1", "-Gx.bin", "extra"}, "unexpected argument \"extra\""},
        {{"-H127.0.0.1", "-Gx.bin", "--bogus"}, "unknown option --bogus"},
        {{"-Gx.bin"}, "no server address"},
        {{"-H127.0.0.1", "-B"}, "no file"},
    };
    for (const auto& [args, why] : cases) {
        EXPECT_EQ(run(args), 2);
        EXPECT_NE(contents(errOut).find("merrowinc: " + why), std::string::npos) << why;
    }
    EXPECT_FALSE(app.automatic);
    server.expectSilence();
    EXPECT_FALSE(std::filesystem::exists(profile.path())) << "nothing is stored";
    EXPECT_EQ(run({"--help"}), 0);
}

TEST_F(AppTest, AutomaticStartThatSendsNothingEndsWith254) {
    EXPECT_EQ(run({"-H10.0.0.300", port(), "-G" + dir / "x.bin"}), 254);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{
                                    "Illegal I.P. for Host Address\nPlease be more diligent  :)"});
    server.expectSilence();
}

TEST(CommandLine, SwitchesTakeTheRestOfTheirArgumentUpToABlank) {
    auto c = client::ParseClientCommandLine(
        {"merrowinc", "-h10.1.2.3", "/pC/out/report.txt", "-Rremote.txt", "-O169", "-a", "x", "-",
         "-Zzz", "-Gfirst", "-gsecond file", "--blksize=8192", "--bogus"});
    EXPECT_EQ(c.host, "10.1.2.3");
    EXPECT_EQ(c.putPath, "C/out/report.txt");
    EXPECT_EQ(c.remoteName, "remote.txt");
    EXPECT_EQ(c.port, "169");
    EXPECT_EQ(c.binary, false);
    EXPECT_EQ(c.getPath, "second");
    EXPECT_EQ(c.blockSize, "8192");
    EXPECT_EQ(c.unknownLongOptions, std::vector<std::string>{"--bogus"});
    EXPECT_EQ(c.strayArguments, (std::vector<std::string>{"x", "-"}));
    EXPECT_EQ(client::ParseClientCommandLine({"merrowinc", "-r", "-A"}).emptySwitches, "R");
    EXPECT_EQ(client::ParseClientCommandLine({"merrowinc", "-H", "10.1.2.3", "-B"}).host, "");

    auto split = client::SplitAtLastSeparator("/in/sub/data.bin");
    EXPECT_EQ(split.directory, "/in/sub/");
    EXPECT_EQ(split.name, "data.bin");
    EXPECT_EQ(client::SplitAtLastSeparator("data.bin").directory, "");
}

TEST(ProgressBar, ScaleIsAHundredthOfTheSizeAndAtLeastOne) {
    platform::EventLoop loop;
    RecordingWindow window(loop);
    platform::ManualClock clock;
    RecordingDialogs dialogs;
    client::ClientSettings settings;
    RecordingOwner owner;
    client::LocalHost host = loopbackHost();
    client::TransferContext context{loop, clock, dialogs, settings, owner, host};
    TempDir dir;
    client::IniProfile profile(dir / "p.ini");
    client::CMerrowinView view(context, profile, window);
    auto progress = [&view](int kind, std::uint64_t value) {
        view.OnTransferNotice({client::WM_TRANSFERPROGRESS, kind, value, {}});
    };
    progress(client::kProgressTotal, 150);
    progress(client::kProgressSent, 99);
    progress(client::kProgressSent, 150);
    progress(client::kProgressTotal, 1'000'000);
    progress(client::kProgressReceived, 0);
    progress(client::kProgressReceived, 500'000);
    EXPECT_EQ(window.positions, (std::vector<int>{0, 99, 100, 0, 0, 50}));
}

}  // namespace
}  // namespace clienttest
