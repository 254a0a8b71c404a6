#include <stdio.h>
#include <stdlib.h>

#include "server/headless/console_client_list_printer.h"
#include "tests/monitor/client_list_fixture.h"

namespace {

using namespace server;

class ConsolePrinterTest : public uitest::ClientListTest {
  protected:
    ConsolePrinterTest() { list.addObserver(&printer); }
    ~ConsolePrinterTest() override {
        list.removeObserver(&printer);
        std::fclose(out);
        ::free(buffer);
    }
    std::string printed() {
        std::fflush(out);
        return std::string(buffer, size);
    }
    void progress(int id, std::int64_t done, std::int64_t total) {
        StatusReport report{"", false, done, total};
        list.onViewMessage(WM_CLIENTSTATUS, id, report);
    }

    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&buffer, &size);
    std::int64_t nowMs = 0;
    ConsoleClientListPrinter printer{out, [this] { return nowMs; }};
};

TEST_F(ConsolePrinterTest, OneLinePerChangeWithProgressOncePerSecond) {
    message(WM_CLIENTNEW, 12, "10.1.1.1");
    message(WM_CLIENTFILE, 12, "evil\nname");
    progress(12, 1, 10);
    nowMs = 999;
    progress(12, 2, 10);  // too soon
    message(WM_CLIENTSTATUS, 12, "Retrying");
    nowMs = 1000;
    progress(12, 3, 10);
    message(WM_CLIENTRESULT, 12, "Finished : Sending");
    app.settings.LogFile.clear();
    list.ClearClientList();

    EXPECT_EQ(printed(),
              "1\tadded\t12\t10.1.1.1\n"
              "1\tFile\tevil?name\n"
              "1\tStatus\t%10, 1\n"
              "1\tStatus\tRetrying\n"
              "1\tStatus\t%30, 3\n"
              "1\tResult\tFinished : Sending\n"
              "1\ttag\t0\n"
              "1\tremoved\t10.1.1.1 evil?name 06 Dec, 14:05  Finished : Sending\n");
}

TEST_F(ConsolePrinterTest, FinishedTransferIsOneTabSeparatedLine) {
    printer.transferEnded(7, {.id = 3,
                              .client = "10.1.1.1:2048",
                              .file = "/srv/tftp/a\tb\nc",
                              .bytes = 26579,
                              .seconds = 2,
                              .result = "Finished : Sending"});
    EXPECT_EQ(printed(), "7\tdone\t10.1.1.1:2048\t/srv/tftp/a?b?c\t26579\t2\tFinished : Sending\n");
}

}  // namespace
