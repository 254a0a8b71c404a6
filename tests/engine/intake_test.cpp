#include "engine_harness.h"

namespace enginetest {
namespace {

const Bytes kServiceRefusal = [] {
    Bytes b{0, 5, 0, 0};
    auto t = bytes("Service not available");
    b.insert(b.end(), t.begin(), t.end());
    b.push_back(0);
    b.push_back(0);
    return b;
}();

const Bytes kClientLimitRefusal = [] {
    Bytes b{0, 5, 0, 0};
    auto t = bytes("Too Many Clients");
    b.insert(b.end(), t.begin(), t.end());
    b.push_back(0);
    return b;
}();

TEST_F(EngineTest, RefusesEveryDatagramWhileNotServing) {
    listen();
    app.bServing = false;
    sendToListener({1, 2, 3});
    auto reply = receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, kServiceRefusal);
    EXPECT_EQ(reply->size(), 27u);

    sendToListener(request(1, "x", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), kServiceRefusal);
    EXPECT_EQ(clientCount(), 0);
}

TEST_F(EngineTest, IgnoresRuntsAndNonRequestsWhileServing) {
    listen();
    sendToListener({0, 1, 0});
    sendToListener(ack(1));
    sendToListener(data(1, bytes("abc")));
    sendToListener({0, 9, 1, 2, 3});
    expectSilence();
    EXPECT_EQ(clientCount(), 0);
}

TEST_F(EngineTest, RefusesReadsOrWritesWhenSwitchedOff) {
    writeFile(outPath("f"), "x");
    listen();
    app.settings.bNoOutbound = true;
    sendToListener(request(1, "f", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), kServiceRefusal);
    sendToListener(request(2, "g", "octet"));
    auto ackZero = receive();
    ASSERT_TRUE(ackZero);
    EXPECT_EQ(*ackZero, ack(0));

    app.settings.bNoOutbound = false;
    app.settings.bNoIncoming = true;
    sendToListener(request(2, "h", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), kServiceRefusal);
}

TEST_F(EngineTest, AccessListsDecideAdmission) {
    listen();
    app.settings.bAllow = 1;  // an empty allow list admits nobody
    sendToListener(request(1, "f", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), kServiceRefusal);

    app.allowListMatch = [](const std::string& a) { return a == "127.0.0.1"; };
    app.settings.bDeny = 1;
    app.denyListMatch = [](const std::string& a) { return a == "127.0.0.1"; };
    sendToListener(request(1, "f", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), kServiceRefusal) << "deny wins over allow";
}

// Position -> how many concurrent transfers are admitted.
TEST_F(EngineTest, ClientLimitPositions) {
    writeFile(outPath("big"), std::string(4096, 'b'));
    const std::pair<unsigned, int> cases[] = {{0, 1}, {1, 5}, {2, 10}, {9, 1}};
    for (auto [position, admitted] : cases) {
        SCOPED_TRACE(position);
        listen();
        app.settings.nClientLimit = position;
        for (int i = 0; i < admitted; ++i) {
            newClientPort();
            sendToListener(request(1, "big", "octet"));
            auto first = receive();
            ASSERT_TRUE(first);
            EXPECT_EQ(opcodeOf(*first), protocol::kData);
        }
        EXPECT_EQ(clientCount(), admitted);
        newClientPort();
        sendToListener(request(1, "big", "octet"));
        auto refusal = receive();
        ASSERT_TRUE(refusal);
        EXPECT_EQ(*refusal, kClientLimitRefusal);
        EXPECT_EQ(refusal->size(), 21u);
        app.DestroyListener();
    }
}

// The limit counts transfers that run: one that has ended frees its slot at once, not at the
// next supervision pass.
TEST_F(EngineTest, FinishedTransfersFreeTheirSlotAtOnce) {
    writeFile(outPath("f"), "small");
    writeFile(outPath("big"), std::string(4096, 'b'));
    listen();
    app.settings.nClientLimit = 1;
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        newClientPort();
        sendToListener(request(1, "f", "octet"));
        ASSERT_EQ(receive().value_or(Bytes{}), data(1, bytes("small")));
        sendToTransfer(ack(1));
        pump(2);
    }
    for (int i = 0; i < 20; ++i) {
        newClientPort();
        sendToListener(request(1, "missing", "octet"));
        ASSERT_EQ(opcodeOf(receive().value_or(Bytes{0, 0})), protocol::kError);
    }
    for (int i = 0; i < 5; ++i) {
        newClientPort();
        sendToListener(request(1, "big", "octet"));
        ASSERT_EQ(opcodeOf(receive().value_or(Bytes{0, 0})), protocol::kData);
    }
    newClientPort();
    sendToListener(request(1, "big", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), kClientLimitRefusal) << "five still run";
}

// A flood of requests costs no thread per request.
TEST_F(EngineTest, AFloodOfRequestsStartsNoThreads) {
    auto threads = [] {
        int count = 0;
        for ([[maybe_unused]] auto& entry :
             std::filesystem::directory_iterator("/proc/self/task")) {
            ++count;
        }
        return count;
    };
    const int before = threads();
    listen();
    app.settings.nClientLimit = 5;
    const Bytes ask = request(1, "missing", "octet");
    for (int i = 0; i < 300; ++i) {
        newClientPort();
        sendToListener(ask);
        ASSERT_TRUE(receive()) << i;
    }
    EXPECT_EQ(clientCount(), 300);
    EXPECT_EQ(threads(), before);
    supervise();
    EXPECT_EQ(clientCount(), 0);
}

// A client that has not heard the answer yet repeats its request, and the path may deliver a
// copy late: while the transfer from that port runs, no second one starts. Once it has ended,
// the same request is a new one.
TEST_F(EngineTest, RepeatedRequestFromTheSamePortIsIgnoredWhileItsTransferRuns) {
    writeFile(outPath("f"), std::string(1000, 'f'));
    listen();
    const Bytes ask = request(1, "f", "octet", {{"tsize", "0"}});
    sendToListener(ask);
    ASSERT_EQ(opcodeOf(receive().value_or(Bytes{0, 0})), protocol::kOack);
    sendToListener(ask);
    expectSilence();
    sendToTransfer(ack(0));
    ASSERT_TRUE(receive());
    sendToListener(ask);
    expectSilence();
    EXPECT_EQ(clientCount(), 1);
    sendToTransfer(ack(1));
    ASSERT_TRUE(receive());
    sendToTransfer(ack(2));
    pump();
    sendToListener(ask);
    EXPECT_EQ(opcodeOf(receive().value_or(Bytes{0, 0})), protocol::kOack);
    EXPECT_EQ(clientCount(), 2);

    const Bytes upload = request(2, "up", "octet");
    sendToListener(upload);
    ASSERT_EQ(receive().value_or(Bytes{}), ack(0));
    sendToListener(upload);
    expectSilence();
    EXPECT_EQ(clientCount(), 3);
}

TEST_F(EngineTest, TransferIdsRunFromOneTo1001ThenStartAgain) {
    writeFile(outPath("f"), "");
    listen();
    app.settings.nClientLimit = 5;
    app.idCounter = 999;
    std::vector<int> ids;
    for (int i = 0; i < 3; ++i) {
        sendToListener(request(1, "f", "octet"));
        ASSERT_TRUE(receive());
        sendToTransfer(ack(1));
        pump();
        clock.advance(1);
        supervise();
    }
    for (auto& e : view.events) {
        if (e.event == server::TransferEvent::Admitted) {
            ids.push_back(e.id);
            EXPECT_EQ(e.text, "127.0.0.1");
        }
    }
    EXPECT_EQ(ids, (std::vector<int>{1000, 1001, 1}));
}

TEST_F(EngineTest, ListeningPortFromSettingText) {
    app.settings.Port = "23456abc";
    ASSERT_TRUE(app.CreateListener());
    EXPECT_EQ(app.listener()->port(), 23456);
    EXPECT_EQ(app.ListenText, "127.0.0.1.23456");

    app.settings.Port = "port";
    app.DestroyListener();
    // Without digits the port is 69, which may need privileges; either way it is 69 that is
    // tried.
    if (app.CreateListener()) {
        EXPECT_EQ(app.listener()->port(), 69);
    } else {
        EXPECT_EQ(dialogs.messages.back(), server::kUnableToInitialise);
        EXPECT_EQ(dialogs.messages[dialogs.messages.size() - 2], "Unable to Create listening port");
    }
}

TEST_F(EngineTest, ApplyListenChangeWaitsForTheLastClient) {
    writeFile(outPath("f"), std::string(600, 'f'));
    listen();
    const std::uint16_t oldPort = listenPort;
    platform::UdpSocket clients[2];
    const Bytes ask = request(1, "f", "octet");
    for (auto& c : clients) {
        ASSERT_TRUE(c.open(0x7f000001, 0));
        c.sendTo(ask.data(), ask.size(), {0x7f000001, listenPort});
        pump(5);
    }
    ASSERT_EQ(clientCount(), 2);
    app.settings.Port = std::to_string(oldPort == 65000 ? 64999 : 65000);
    app.ApplyListenChange();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0], server::WaitDialogKind::PortChange);
    app.ApplyListenChange();
    EXPECT_EQ(dialogs.shown.size(), 1u) << "the dialog is created once";

    supervise();
    EXPECT_EQ(app.listener()->port(), oldPort) << "clients still running";

    // The clients end both transfers.
    const Bytes bye = errorPacket(0, "bye");
    auto* client = clients;
    for (auto& manager : app.listener()->threads()) {
        client++->sendTo(bye.data(), bye.size(), {0x7f000001, manager->transfer()->localPort()});
    }
    pump(20);
    clock.advance(1);
    supervise();
    ASSERT_NE(app.listener(), nullptr);
    EXPECT_EQ(app.listener()->port(), server::leadingNumber(app.settings.Port));
    EXPECT_EQ(dialogs.closed.size(), 1u);
    EXPECT_EQ(view.newDocuments, 1);
}

TEST_F(EngineTest, ApplyListenChangeWithoutClientsRestartsAtOnce) {
    listen();
    app.settings.Port = std::to_string(listenPort == 65001 ? 65002 : 65001);
    app.ApplyListenChange();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(app.listener()->port(), server::leadingNumber(app.settings.Port));
}

TEST_F(EngineTest, DropClientsStopsTransfersAndKeepClientsOnlyCloses) {
    writeFile(outPath("f"), std::string(600, 'f'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    app.StopServing();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0], server::WaitDialogKind::StopServing);
    dialogs.keepClients();
    EXPECT_EQ(clientCount(), 1);
    EXPECT_EQ(dialogs.closed.size(), 1u);

    app.StopServing();
    dialogs.dropClients();
    EXPECT_EQ(clientCount(), 0);
    EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(0, "Server shutting down"))
        << "a dropped client is told at once";
    EXPECT_FALSE(app.bServing) << "a replaced listener keeps refusing";
    sendToListener(request(1, "f", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}).size(), 27u);
    app.StartServing();
    sendToListener(request(1, "f", "octet"));
    EXPECT_EQ(opcodeOf(receive().value_or(Bytes{0, 0})), protocol::kData);
}

TEST_F(EngineTest, StartServingClosesTheStopDialogButNotAPendingPortChange) {
    writeFile(outPath("f"), std::string(600, 'f'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    app.ApplyListenChange();
    app.StopServing();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    app.StartServing();
    ASSERT_EQ(dialogs.closed.size(), 1u);
    EXPECT_EQ(dialogs.closed[0], server::WaitDialogKind::StopServing);
    EXPECT_TRUE(app.waitDialogOpen()) << "the port change still waits";
}

}  // namespace
}  // namespace enginetest
