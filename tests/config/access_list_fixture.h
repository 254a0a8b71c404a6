#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../support/message_recorder.h"
#include "server/engine/server_dialogs.h"

namespace acl_test {

using MessageRecorder = testsupport::MessageRecorder;

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
