#include "platform/text_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

class TextInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/text_input_XXXXXX";
        const int fd = ::mkstemp(templ);
        ASSERT_GE(fd, 0);
        ::close(fd);
        path_ = templ;
    }
    void TearDown() override { ::unlink(path_.c_str()); }

    void put(const std::string& body) {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
    }

    std::string path_;
};

TEST_F(TextInputTest, FileIsReadWholeOrCutAtTheLimit) {
    const std::string body(40000, 'x');
    put(body);
    bool truncated = true;
    EXPECT_EQ(platform::ReadFileCapped(path_, 1 << 20, &truncated), body);
    EXPECT_FALSE(truncated);
    EXPECT_EQ(platform::ReadFileCapped(path_, 17000, &truncated), body.substr(0, 17000));
    EXPECT_TRUE(truncated);
    EXPECT_EQ(platform::ReadFileCapped(path_ + ".missing", 10), std::nullopt);
    EXPECT_EQ(platform::ReadFileCapped("/tmp", 10), std::nullopt) << "a folder cannot be read";
}

TEST_F(TextInputTest, LinesLoseTheirEndsAndTheLastNeedsNone) {
    put("yes\r\n\nno");
    std::FILE* in = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(platform::ReadLine(in), "yes");
    EXPECT_EQ(platform::ReadLine(in), "");
    EXPECT_EQ(platform::ReadLine(in), "no");
    EXPECT_EQ(platform::ReadLine(in), std::nullopt);
    std::fclose(in);
}

}  // namespace
