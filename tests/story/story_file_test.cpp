// Reading a story file: its codes decoded across every kind of line ending. What a file
// that is no story at all does is in hostile_file_test.cpp.
#include "story/story_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace quillshade {
namespace {

namespace fs = std::filesystem;

class ReadStoryFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qsd_file_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, std::string_view content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  StoryFile Read(const fs::path& path) { return ReadStoryFile(path, Cp932CodePage()); }

  fs::path dir_;
};

TEST_F(ReadStoryFileTest, ReadsAndDecodesEveryLineEnding) {
  // The last code of each line still converts; codes that touch a break on both sides would not.
  EXPECT_EQ(Read(Write("crlf.qsd", "72 105 13 10 \r\n65 13 10")).text, u"Hi\r\nA\r\n");
  EXPECT_EQ(Read(Write("cr.qsd", "72 105 13 10 \r65 13 10\r")).text, u"Hi\r\nA\r\n");
  EXPECT_EQ(Read(Write("lf.qsd", "72 105 13 10 \n65 13 10\n")).text, u"Hi\r\nA\r\n");
  EXPECT_EQ(Read(Write("touch.qsd", "72 105\n13 10\n")).text, u"H\n");
}

}  // namespace
}  // namespace quillshade
