#include "server/monitor/version_check.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "server/config/run_once.h"
#include "server/engine/server_settings.h"

namespace {

namespace fs = std::filesystem;

// A version server on 127.0.0.1 driven by the test's own event loop: each connection is read up
// to its blank line, answered with the body kept for the requested path (nothing for an unknown
// path) and closed.
class LoopbackHttp {
  public:
    explicit LoopbackHttp(platform::EventLoop& loop) : loop_(loop) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
            throw std::runtime_error("loopback listener");
        }
        port_ = ntohs(at.sin_port);
        if (!loop_.watchReadable(listener_, [this] { accept(); })) {
            throw std::runtime_error("loopback listener");
        }
    }
    ~LoopbackHttp() {
        for (auto& [fd, request] : open_) {
            loop_.unwatch(fd);
            ::close(fd);
        }
        loop_.unwatch(listener_);
        ::close(listener_);
    }

    std::uint16_t port() const { return port_; }
    std::map<std::string, std::string> bodies;
    // Every request's bytes, in arrival order.
    std::vector<std::string> requests;

  private:
    void accept() {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        open_[fd];
        EXPECT_TRUE(loop_.watchReadable(fd, [this, fd] { read(fd); }));
    }
    void read(int fd) {
        char chunk[2048];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (n > 0) {
            open_[fd].append(chunk, static_cast<std::size_t>(n));
        }
        const std::string request = open_[fd];
        if (n > 0 && request.find("\r\n\r\n") == std::string::npos) {
            return;
        }
        if (!request.empty()) {
            requests.push_back(request);
        }
        const auto path =
            request.size() < 4 ? std::string() : request.substr(4, request.find(' ', 4) - 4);
        if (auto body = bodies.find(path); n > 0 && body != bodies.end()) {
            // Blocking write: bodies here are far below the loopback buffers.
            ASSERT_EQ(::send(fd, body->second.data(), body->second.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(body->second.size()));
        }
        loop_.unwatch(fd);
        ::close(fd);
        open_.erase(fd);
    }

    platform::EventLoop& loop_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::map<int, std::string> open_;
};

// What the dialog's window would show, with scripted answers.
struct ScriptedView : server::VersionCheckView {
    std::vector<std::string> lines;
    std::vector<std::string> questions;
    std::vector<std::string> boxes;
    std::vector<bool> downloadStates;
    std::vector<bool> finishes;
    bool answerInstall = false;
    std::function<void()> onDownloadEnabled;

    void addLine(std::string_view text) override { lines.emplace_back(text); }
    void setDownloadEnabled(bool enabled) override {
        downloadStates.push_back(enabled);
        if (enabled && onDownloadEnabled) {
            onDownloadEnabled();
        }
    }
    bool askYesNo(std::string_view question, bool) override {
        questions.emplace_back(question);
        return question == server::kInstallQuestion ? answerInstall : true;
    }
    void messageBox(std::string_view text) override { boxes.emplace_back(text); }
    void finished(bool completed) override { finishes.push_back(completed); }
};

constexpr std::string_view kNewerPage =
    "<html><!current version=V3.70><!available from=/files/new.exe><!size=12x></html>";
const std::string kTwelveBytes = "MZ0123456789";

std::string makeScratchFolder() {
    std::string pattern = (fs::path(::testing::TempDir()) / "version-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    fs::create_directories(pattern + "/bin");
    return pattern;
}

class VersionCheckTest : public ::testing::Test {
  protected:
    VersionCheckTest() {
        if (const char* previous = std::getenv("XDG_CONFIG_HOME")) {
            savedXdg_ = previous;
        }
        ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        settings.Location = root_ + "/bin/ravendockd";
        hive.writeString(server::kSettingsKey, server::kVersionHostValue, "127.0.0.1");
        hive.writeDword(server::kSettingsKey, server::kVersionPortValue, http.port());
        hive.save();
    }
    ~VersionCheckTest() override {
        savedXdg_ ? ::setenv("XDG_CONFIG_HOME", savedXdg_->c_str(), 1)
                  : ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Runs the loop until the current exchange ends: at most 1000 passes of 10 ms.
    void pumpUntilFinished() {
        const std::size_t before = view.finishes.size();
        for (int pass = 0; pass < 1000 && view.finishes.size() == before; ++pass) {
            loop.runOnce(10);
        }
        ASSERT_EQ(view.finishes.size(), before + 1) << "the exchange did not end";
    }
    void checkPage(std::string page) {
        http.bodies["/version.htm"] = std::move(page);
        dialog.start();
        pumpUntilFinished();
    }
    std::string downloaded() const {
        std::ifstream in(root_ + "/bin/Ulverstock.exe", std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        return body.str();
    }

    std::string root_ = makeScratchFolder();
    std::optional<std::string> savedXdg_;
    platform::EventLoop loop;
    LoopbackHttp http{loop};
    server::ServerSettings settings;
    platform::RegistryHive hive{root_ + "/ravendockd.reg"};
    ScriptedView view;
    server::VersionCheckDialog dialog{loop, settings, hive, view};
};

TEST_F(VersionCheckTest, NewerVersionIsOfferedAndDownloadedThenRegisteredToRunOnce) {
    http.bodies["/version.htm"] = std::string(kNewerPage);
    ASSERT_TRUE(dialog.checkVersionCommand());
    pumpUntilFinished();
    EXPECT_EQ(view.questions, std::vector<std::string>{"Are you connected to the Internet ?"});
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0], "GET /version.htm HTTP 1/1\r\nAccept : */*\r\n\r\n");
    EXPECT_EQ(view.lines, (std::vector<std::string>{
                              "Attempting connection to server ...",
                              "Connected to server, getting data ...",
                              "Connection with server closed",
                              "Latest Version : V3.70",
                              "Size : 12",
                          }));
    EXPECT_EQ(view.downloadStates, std::vector<bool>{true});
    EXPECT_EQ(view.finishes, std::vector<bool>{true});
    EXPECT_EQ(dialog.downloadRequest(), "GET /files/new.exe HTTP 1/1\r\n");

    http.bodies["/files/new.exe"] = kTwelveBytes;
    view.lines.clear();
    view.answerInstall = true;
    dialog.download();
    EXPECT_FALSE(dialog.downloadEnabled());
    pumpUntilFinished();
    ASSERT_EQ(http.requests.size(), 2u);
    EXPECT_EQ(http.requests[1], "GET /files/new.exe HTTP 1/1\r\nAccept : */*\r\n\r\n");
    EXPECT_EQ(view.lines, (std::vector<std::string>{
                              "Attempting connection to server ...",
                              "Connected to server, getting data ...",
                              "Connection with server closed",
                              "File received, 12 bytes long",
                          }));
    EXPECT_EQ(downloaded(), kTwelveBytes);
    struct stat info {};
    ASSERT_EQ(::stat((root_ + "/bin/Ulverstock.exe").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    EXPECT_EQ(view.questions.back(), "Do you want to install the new version now ?");
    EXPECT_EQ(view.boxes, std::vector<std::string>{
                              "Please close Tollerby and then close Windows to install the new "
                              "software"});
    hive.reload();
    EXPECT_EQ(hive.readString(server::kRunOnceKey, "Keswardine"), root_ + "/bin/Ulverstock.exe");
    EXPECT_TRUE(fs::exists(server::AutostartEntryPath("Keswardine")));
    EXPECT_EQ(view.finishes, (std::vector<bool>{true, true}));
}

TEST_F(VersionCheckTest, DeclinedInstallNamesTheFolderAndRegistersNothing) {
    settings.bPreventRestart = false;
    checkPage(std::string(kNewerPage));
    http.bodies["/files/new.exe"] = kTwelveBytes;
    dialog.download();
    pumpUntilFinished();
    EXPECT_EQ(view.boxes, std::vector<std::string>{"The latest version is called Ulverstock.exe "
                                                   "and\nis located at " +
                                                   root_ + "/bin/"});
    hive.reload();
    EXPECT_FALSE(hive.readString(server::kRunOnceKey, "Keswardine").has_value());
}

TEST_F(VersionCheckTest, OneByteShortOfTheAnnouncedSizeGivesNoPrompt) {
    checkPage(std::string(kNewerPage));
    http.bodies["/files/new.exe"] = kTwelveBytes.substr(0, 11);
    view.lines.clear();
    dialog.download();
    pumpUntilFinished();
    ASSERT_GE(view.lines.size(), 2u);
    EXPECT_EQ(view.lines[view.lines.size() - 2], "File received, 11 bytes long");
    EXPECT_EQ(view.lines.back(), "This is NOT the length expected, please contact Quenmarsh");
    EXPECT_TRUE(view.questions.empty()) << "no install prompt";
    EXPECT_EQ(downloaded(), kTwelveBytes.substr(0, 11)) << "the file stays";
    EXPECT_EQ(view.finishes.back(), false);
}

TEST_F(VersionCheckTest, SameOrOlderVersionsLeaveDownloadDisabled) {
    for (std::string version : {"V3.60", "V3.5", "V9"}) {
        view.lines.clear();
        checkPage("<!Current Version=" + version + "><!Size=5>");
        EXPECT_TRUE(view.downloadStates.empty()) << version;
        EXPECT_FALSE(dialog.download()) << "refused while disabled";
        ASSERT_FALSE(view.lines.empty());
        EXPECT_EQ(view.lines.back(), "Size : 5") << "no further line for " << version;
        EXPECT_EQ(view.finishes.back(), true);
    }
}

TEST_F(VersionCheckTest, NotesArrivePrintedBeforeTheLatestVersion) {
    checkPage("<!Note=Server moved><p><!NOTE=Read the notes><!Current Version=V3.60>");
    const std::vector<std::string> tail(view.lines.end() - 5, view.lines.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"Connection with server closed", "Server moved",
                                        "Read the notes", "Latest Version : V3.60", "Size : 0"}));
}

TEST_F(VersionCheckTest, PagesWithoutAVersionReportOffline) {
    for (std::string page : {"<html>down for maintenance</html>", ""}) {
        checkPage(page);
        EXPECT_EQ(view.lines.back(), "Version checking is currently offline, please try later");
        EXPECT_EQ(view.finishes.back(), false);
    }
}

TEST_F(VersionCheckTest, LongPageReusesTheLastKilobyteOfTheBuffer) {
    // 8192 bytes fill the buffer, each further 1024 fill it again; tags in the first 7168 bytes
    // survive.
    std::string page = "<!Current Version=V3.70><!Size=3>";
    page.resize(8192 + 1024 + 5, ' ');
    checkPage(page);
    EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), "Resetting extra length buffer"), 2);
    EXPECT_EQ(view.downloadStates, std::vector<bool>{true});
}

TEST_F(VersionCheckTest, RefusedConnectionIsReportedWithItsErrno) {
    // Bound but not listening: the port answers a connect with a reset.
    int closed = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::getsockname(closed, reinterpret_cast<sockaddr*>(&at), &length), 0);
    hive.writeDword(server::kSettingsKey, server::kVersionPortValue, ntohs(at.sin_port));
    dialog.start();
    pumpUntilFinished();
    ::close(closed);
    const std::string refused = "Error " + std::to_string(ECONNREFUSED) + " connecting to server";
    EXPECT_NE(std::find(view.lines.begin(), view.lines.end(), refused), view.lines.end());
    EXPECT_EQ(view.finishes, std::vector<bool>{false});
    EXPECT_TRUE(http.requests.empty());
}

TEST_F(VersionCheckTest, UncreatableDownloadFileIsReportedAndEndsTheExchange) {
    checkPage(std::string(kNewerPage));
    settings.Location = root_ + "/missing/ravendockd";
    http.bodies["/files/new.exe"] = kTwelveBytes;
    dialog.download();
    pumpUntilFinished();
    EXPECT_EQ(view.lines.back(), "Error " + std::to_string(ENOENT) + " creating file " + root_ +
                                     "/missing/Ulverstock.exe");
    EXPECT_EQ(view.finishes.back(), false);
    EXPECT_EQ(http.requests.size(), 1u) << "no request without a file to write";
}

TEST_F(VersionCheckTest, HostNameIsLookedUpOffTheLoop) {
    hive.writeString(server::kSettingsKey, server::kVersionHostValue, "localhost");
    checkPage("<!Current Version=V3.60>");
    EXPECT_EQ(view.lines.front(), "Attempting connection to server ...");
    EXPECT_EQ(view.finishes, std::vector<bool>{true});
}

// How a front end drives the dialog: this view presses "Download" as soon as it is enabled and
// agrees to install; closing mid-exchange ends everything quietly.
TEST_F(VersionCheckTest, FrontEndCanDownloadFromInsideItsCallbacks) {
    view.answerInstall = true;
    view.onDownloadEnabled = [this] { dialog.download(); };
    http.bodies["/version.htm"] = std::string(kNewerPage);
    http.bodies["/files/new.exe"] = kTwelveBytes;
    dialog.start();
    pumpUntilFinished();
    EXPECT_EQ(view.finishes, std::vector<bool>{true}) << "the page exchange was replaced";
    EXPECT_EQ(downloaded(), kTwelveBytes);
    EXPECT_EQ(view.questions.back(), server::kInstallQuestion);

    view.onDownloadEnabled = [this] { dialog.close(); };
    const std::size_t lines = view.lines.size();
    dialog.start();
    for (int pass = 0; pass < 200 && dialog.busy(); ++pass) {
        loop.runOnce(10);
    }
    EXPECT_FALSE(dialog.busy());
    EXPECT_EQ(view.lines.size(), lines + 5) << "nothing after the close";
    EXPECT_EQ(view.finishes.size(), 1u);
}

}  // namespace
