#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "server/engine/server_dialogs.h"

namespace acl_test {

// Only message boxes come up around the access lists; they are recorded.
class MessageRecorder final : public server::ServerDialogs {
  public:
    void messageBox(std::string_view text, server::MessageIcon) override {
        messages.emplace_back(text);
    }
    std::optional<std::string> askListeningAddress() override { return std::nullopt; }
    server::MultihomedAnswer chooseHostAddress(const std::vector<std::string>&, bool) override {
        return {};
    }
    void showWaitDialog(server::WaitDialogKind, std::function<void()>,
                        std::function<void()>) override {}
    void closeWaitDialog(server::WaitDialogKind) override {}
    void showServerInfo(const server::ServerInfo&) override {}

    std::vector<std::string> messages;
};

// A private folder per test.
class ScratchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "acl-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string pathOf(const std::string& name) const { return (dir_ / name).string(); }

    static std::string readBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::filesystem::path dir_;
};

}  // namespace acl_test
