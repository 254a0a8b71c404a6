// Console mode's dialogs and status lines.

#include <cstdio>
#include <sstream>

#include "client/command_line.h"
#include "client/console/console_dialogs.h"
#include "client/console/console_run.h"
#include "client/console/console_window.h"
#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

std::string drain(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, file)) {
        text.append(chunk, n);
    }
    std::fclose(file);
    return text;
}

TEST(ConsoleDialogs, WithoutATerminalQuestionsGetTheirDefaults) {
    std::FILE* out = std::tmpfile();
    std::istringstream in("y\n2\ny\n");
    client::ConsoleDialogs dialogs(out, in, false);
    EXPECT_FALSE(dialogs.AskYesNo("File already exists\n\nOverwrite it ?"));
    EXPECT_FALSE(dialogs.ChooseLocalAddress({"127.0.0.1", "10.0.0.1"}, false).ok);
    EXPECT_FALSE(dialogs.AskLocalAddress());
    dialogs.MessageBox("Illegal I.P. for Host Address\nPlease be \x1b[2Jdiligent");
    EXPECT_EQ(drain(out),
              "merrowinc: File already exists\n\nOverwrite it ? No\n"
              "merrowinc: Illegal I.P. for Host Address\nPlease be ?[2Jdiligent\n");
}

TEST(ConsoleDialogs, OnATerminalTheAnswersAreRead) {
    std::FILE* out = std::tmpfile();
    std::istringstream in("y\n2\n\n7\nn\n");
    client::ConsoleDialogs dialogs(out, in, true);
    EXPECT_TRUE(dialogs.AskYesNo("Overwrite it ?"));
    auto answer = dialogs.ChooseLocalAddress({"127.0.0.1", "10.0.0.1"}, true);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.row, 1u);
    EXPECT_TRUE(answer.showAgain) << "an empty answer keeps the box as it was";
    answer = dialogs.ChooseLocalAddress({"127.0.0.1", "10.0.0.1"}, true);
    EXPECT_EQ(answer.row, 0u) << "a number beyond the list picks the first";
    EXPECT_FALSE(answer.showAgain);
    EXPECT_FALSE(dialogs.AskYesNo("again ?")) << "end of input is No";
    drain(out);
}

TEST(ConsoleWindow, OnlyTheLastTextOfTheBlocksIsPrinted) {
    platform::EventLoop loop;
    std::FILE* out = std::tmpfile();
    client::ConsoleWindow window(loop, out, false);
    window.ShowStatus("Offering file to server ...");
    window.SetProgress(40);
    window.ShowStatus("Sent 512 bytes (50%)");
    window.ShowStatus("Sent 1024 bytes (100%)");
    window.ShowStatus("Msg from Server > Disk \afull");
    window.ShowStatus("Received 5 bytes (1 blocks)");
    window.Finish();
    EXPECT_EQ(drain(out),
              "merrowinc: Offering file to server ...\n"
              "merrowinc: Sent 1024 bytes (100%)\n"
              "merrowinc: Msg from Server > Disk ?full\n"
              "merrowinc: Received 5 bytes (1 blocks)\n");
}

TEST(ConsoleRun, HelpVersionAndUnknownOptionsAnswerBeforeAnythingStarts) {
    auto answer = [](std::vector<std::string> args, std::string& out, std::string& err) {
        std::FILE* o = std::tmpfile();
        std::FILE* e = std::tmpfile();
        auto status = client::AnswerBeforeStart(client::ParseClientCommandLine(args), o, e);
        out = drain(o);
        err = drain(e);
        return status;
    };
    std::string out;
    std::string err;
    EXPECT_EQ(answer({"merrowinc", "-H1.2.3.4", "-Gx", "--help"}, out, err), 0);
    EXPECT_NE(out.find("Usage: merrowinc"), std::string::npos);
    EXPECT_NE(out.find("--send-timeout"), std::string::npos);
    EXPECT_EQ(answer({"merrowinc", "--version"}, out, err), 0);
    EXPECT_EQ(out, "merrowinc " RAVEN_VERSION "\n");
    EXPECT_EQ(answer({"merrowinc", "-H1.2.3.4", "--blocksize=9"}, out, err), 2);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("unknown option --blocksize=9"), std::string::npos);
    EXPECT_NE(err.find("Usage: merrowinc"), std::string::npos);
    EXPECT_FALSE(answer({"merrowinc", "-H1.2.3.4", "-Gx", "--headless"}, out, err));
}

}  // namespace
}  // namespace clienttest
