#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "server/headless/console_client_list_printer.h"
#include "tests/monitor/client_list_fixture.h"

namespace {

using namespace server;
using namespace enginetest;

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
        list.onTransferNotice({TransferEvent::Progress, id, "", done, total});
    }
    // One DATA from the transfer, acknowledged; a second passes between acknowledgements so
    // every progress line is printed.
    void fetchBlock(std::uint16_t block) {
        auto d = receive();
        ASSERT_TRUE(d);
        ASSERT_EQ(blockOf(*d), block);
        nowMs += 1000;
        sendToTransfer(ack(block));
    }
    void expectReply() { ASSERT_TRUE(receive().has_value()); }

    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&buffer, &size);
    std::int64_t nowMs = 0;
    ConsoleClientListPrinter printer{out, [this] { return nowMs; }};
};

TEST_F(ConsolePrinterTest, OneLinePerChangeWithProgressOncePerSecond) {
    message(TransferEvent::Admitted, 12, "10.1.1.1");
    message(TransferEvent::FileKnown, 12, "evil\nname");
    progress(12, 1, 10);
    nowMs = 999;
    progress(12, 2, 10);  // too soon
    message(TransferEvent::Retry, 12, "Retrying");
    nowMs = 1000;
    progress(12, 3, 10);
    message(TransferEvent::Result, 12, "Finished : Sending");
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

// The headless output of a fixed scenario: the real engine on 127.0.0.1 feeds the client list,
// the printer writes what ravendockd --headless prints. The transcript is committed beside this
// file, so any change to what the engine reports, in text, order or row, shows.
TEST_F(ConsolePrinterTest, FixedEngineScenarioPrintsTheCommittedTranscript) {
    list.OnInitialUpdate();
    listen();

    // A read with options: OACK, three blocks, progress per block.
    writeFile(outPath("a.bin"), std::string(1200, 'a'));
    sendToListener(request(1, "a.bin", "octet", {{"tsize", "0"}, {"blksize", "512"}}));
    expectReply();
    sendToTransfer(ack(0));
    for (std::uint16_t block = 1; block <= 3; ++block) {
        fetchBlock(block);
    }
    pump();
    list.Tick();

    // A write into a folder that is dropped ("* "), silent once ("Waiting ..."), then resumed.
    sendToListener(request(2, "sub/c.txt", "octet"));
    expectReply();
    sendToTransfer(data(1, Bytes(512, 'w')));
    expectReply();
    clock.advance(31);
    list.Tick();
    sendToTransfer(data(2, bytes("tail")));
    expectReply();
    pump();
    list.Tick();

    // A missing file, an empty file and a peer's error.
    sendToListener(request(1, "missing.bin", "octet"));
    expectReply();
    list.Tick();

    writeFile(outPath("empty"), "");
    sendToListener(request(1, "empty", "netascii"));
    fetchBlock(1);
    pump();
    list.Tick();

    writeFile(outPath("f"), std::string(2000, 'q'));
    sendToListener(request(1, "f", "octet"));
    fetchBlock(1);
    expectReply();
    sendToTransfer(errorPacket(1, "client gave up"));
    pump();
    list.Tick();

    // Two at once: each report lands on its own row.
    writeFile(outPath("g"), std::string(600, 'g'));
    sendToListener(request(1, "g", "octet"));
    expectReply();
    const std::uint16_t readPort = transferPort;
    sendToListener(request(2, "h", "octet"));
    expectReply();
    const std::uint16_t writePort = transferPort;
    sendTo(writePort, data(1, bytes("h")));
    expectReply();
    nowMs += 1000;
    sendTo(readPort, ack(1));
    expectReply();
    nowMs += 1000;
    sendTo(readPort, ack(2));
    pump();
    list.Tick();

    // A silent client: retried, then timed out.
    writeFile(outPath("b.txt"), std::string(700, 'y'));
    sendToListener(request(1, "b.txt", "octet"));
    expectReply();
    for (int pass = 0; pass < 6; ++pass) {
        clock.advance(31);
        list.Tick();
    }
    list.Tick();

    list.ClearClientList();

    // The scratch folder differs per run; the transcript names it ROOT.
    std::string actual = printed();
    for (std::size_t at = 0; (at = actual.find(root(), at)) != std::string::npos;) {
        actual.replace(at, root().size(), "ROOT");
    }
    std::ifstream file(RAVEN_TEST_DATA_DIR "/headless_transcript.txt", std::ios::binary);
    std::ostringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(actual, expected.str());
    if (actual != expected.str()) {
        // Left in the working folder for comparing by hand.
        std::ofstream("headless_transcript.actual.txt", std::ios::binary) << actual;
    }
}

}  // namespace
