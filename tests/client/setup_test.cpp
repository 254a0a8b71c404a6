// The set-up before every transfer: the checks of the form and the choice of local address.

#include "client/transfer_setup.h"
#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

constexpr std::string_view kIllegalHost =
    "Illegal I.P. for Host Address\nPlease be more diligent  :)";

class PrepareTest : public ::testing::Test {
  protected:
    PrepareTest() {
        form.host = "10.1.2.3";
        form.localName = "local.bin";
        form.remoteName = "remote.bin";
    }
    bool prepare() {
        dialogs = {};
        return client::PrepareTransfer(form, settings, dialogs, profile, prepared);
    }

    TempDir dir;
    client::IniProfile profile{dir / "merrowinc.ini"};
    client::ClientSettings settings;
    RecordingDialogs dialogs;
    client::TransferForm form;
    client::PreparedTransfer prepared;
};

TEST_F(PrepareTest, TruncationKeepsEightLettersOrDigitsAndThreeAfterTheFirstDot) {
    settings.Truncate = true;
    const std::vector<std::pair<std::string, std::string>> examples = {
        {"Report-2000.final.txt", "Report20.fin"},
        {"makefile", "makefile"},
        {"a b c.", "abc"},
        {"My.Long.Name.txt", "My.Lon"},
        {"Longfilename.txt", "Longfile.txt"},
        {".profile", ".pro"},
    };
    for (const auto& [name, shortened] : examples) {
        form.remoteName = name;
        ASSERT_TRUE(prepare());
        EXPECT_EQ(prepared.remoteName, shortened) << name;
        EXPECT_EQ(form.remoteName, shortened) << "the form shows the shortened name";
    }
    settings.Truncate = false;
    form.remoteName = "Report-2000.final.txt";
    ASSERT_TRUE(prepare());
    EXPECT_EQ(prepared.remoteName, "Report-2000.final.txt");
}

TEST_F(PrepareTest, HostMustBeADottedAddressOtherThanAnyAndBroadcast) {
    for (const char* host : {"10.0.0.300", "localhost", "example.com", "255.255.255.255", "0.0.0.0",
                             "10.1.2", "", "10.1.2.3 "}) {
        form.host = host;
        EXPECT_FALSE(prepare()) << host;
        EXPECT_EQ(dialogs.messages, std::vector<std::string>{std::string(kIllegalHost)}) << host;
    }
    EXPECT_EQ(profile.read("Startup", "Host"), "") << "nothing stored when a check refuses";
    form.host = "10.1.2.3";
    EXPECT_TRUE(prepare());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PrepareTest, PortTimeoutAndBlockSizeFallBackToTheirDefaults) {
    form.port = "tftp";
    form.timeout = "0";
    form.blockSize = "63";
    ASSERT_TRUE(prepare());
    EXPECT_EQ(prepared.port, 69u);
    EXPECT_EQ(prepared.timeout, 30);
    EXPECT_EQ(prepared.blockSize, 512);
    EXPECT_EQ(form.blockSize, "512");
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{"Illegal port number specified\nport 69 will be used",
                                        "Timeout set to 30 seconds",
                                        std::string(client::kBlockSizeErrorText)}));
    EXPECT_EQ(dialogs.captions.back(), client::kBlockSizeErrorTitle);

    form.port = "69";
    form.timeout = "10";
    form.blockSize = "65421";
    ASSERT_TRUE(prepare());
    EXPECT_EQ(prepared.blockSize, 512);
    EXPECT_EQ(dialogs.captions,
              std::vector<std::string>{std::string(client::kBlockSizeErrorTitle)});

    form.port = "65605x";  // no upper bound: only the low 16 bits reach the wire
    form.timeout = "7s";
    for (const char* size : {"64", "65420", "1428abc"}) {
        form.blockSize = size;
        ASSERT_TRUE(prepare());
        EXPECT_TRUE(dialogs.messages.empty()) << size;
        EXPECT_EQ(prepared.blockSize, std::stoi(size));
    }
    EXPECT_EQ(prepared.port, 65605u);
    EXPECT_EQ(prepared.timeout, 7);
}

TEST_F(PrepareTest, EmptyNamesStopSilentlyAndAPassingStartStoresTheStartupValues) {
    form.localName.clear();
    EXPECT_FALSE(prepare());
    form.localName = "l";
    form.remoteName.clear();
    EXPECT_FALSE(prepare());
    EXPECT_TRUE(dialogs.messages.empty());

    form.host = "10.9.8.7" + std::string(40, '9');  // cut to 39 characters, then refused
    form.remoteName = std::string(600, 'r');
    EXPECT_FALSE(prepare());
    form.host = "10.9.8.7";
    ASSERT_TRUE(prepare());
    EXPECT_EQ(prepared.remoteName.size(), client::kMaxNameLength);
    client::IniProfile reread(profile.path());
    EXPECT_EQ(reread.read("Startup", "Host"), "10.9.8.7");
    EXPECT_EQ(reread.read("Startup", "Local"), "l");
    EXPECT_EQ(reread.read("Startup", "Remote"), std::string(500, 'r'));
    EXPECT_EQ(settings.Remote, std::string(500, 'r'));
}

TEST(ChooseLocalAddress, RemembersAPositionOnlyWhenTheDialogIsNotAskedForAgain) {
    RecordingDialogs dialogs;
    const std::vector<std::string> one = {"10.0.0.1"};
    const std::vector<std::string> three = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    int defaultIP = 2;
    bool showAgain = false;
    EXPECT_EQ(client::ChooseLocalAddress(one, defaultIP, showAgain, dialogs), 0u);
    EXPECT_EQ(defaultIP, 0);

    defaultIP = 3;
    EXPECT_EQ(client::ChooseLocalAddress(three, defaultIP, showAgain, dialogs), 2u);
    EXPECT_EQ(dialogs.multihomedShown, 0);

    defaultIP = 4;
    dialogs.multihomed = {true, 1, false};
    EXPECT_EQ(client::ChooseLocalAddress(three, defaultIP, showAgain, dialogs), 1u);
    EXPECT_EQ(dialogs.multihomedShown, 1);
    EXPECT_EQ(defaultIP, 2);
    EXPECT_EQ(client::ChooseLocalAddress(three, defaultIP, showAgain, dialogs), 1u);
    EXPECT_EQ(dialogs.multihomedShown, 1);

    // Ticked: asked again next time, and the remembered position stays.
    showAgain = true;
    dialogs.multihomed = {true, 2, true};
    EXPECT_EQ(client::ChooseLocalAddress(three, defaultIP, showAgain, dialogs), 2u);
    EXPECT_EQ(client::ChooseLocalAddress(three, defaultIP, showAgain, dialogs), 2u);
    EXPECT_EQ(dialogs.multihomedShown, 3);
    EXPECT_EQ(defaultIP, 2);

    // Closed without OK: the first address, and nothing changes.
    dialogs.multihomed = {};
    EXPECT_EQ(client::ChooseLocalAddress(three, defaultIP, showAgain, dialogs), 0u);
    EXPECT_TRUE(showAgain);
    EXPECT_EQ(defaultIP, 2);
}

using LocalSocketTest = TransferTest;

TEST_F(LocalSocketTest, WithoutANameOrAddressTheUserTypesOne) {
    localHost.name = [] { return std::optional<std::string>(); };
    transfer = std::make_unique<client::CTransferSocket>(context, &view);
    EXPECT_FALSE(transfer->SetUpLocalSocket());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Unable to resolve Local Host name"});
    EXPECT_EQ(dialogs.addressAsked, 1);

    localHost = loopbackHost();
    localHost.addresses = [] { return std::vector<std::uint32_t>{}; };
    dialogs.typedAddress = "127.0.0.1";
    transfer = std::make_unique<client::CTransferSocket>(context, &view);
    EXPECT_TRUE(transfer->SetUpLocalSocket());
    EXPECT_EQ(dialogs.messages.back(), "Unable to resolve Local Host I.P. address");
    EXPECT_EQ(transfer->localAddressText(), "127.0.0.1");
    EXPECT_NE(transfer->localPort(), 0);

    dialogs.typedAddress = "203.0.113.250";  // not an address of this host
    transfer = std::make_unique<client::CTransferSocket>(context, &view);
    EXPECT_FALSE(transfer->SetUpLocalSocket());
    EXPECT_EQ(dialogs.messages.back(), "Unable to Create port");
}

}  // namespace
}  // namespace clienttest
