#include "story/story_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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
  StoryFile Read(const fs::path& path, std::size_t maxLength = kMaxStoryLength) {
    return ReadStoryFile(path, Cp932CodePage(), StoryFileOptions{maxLength, nullptr, nullptr});
  }

  fs::path dir_;
};

TEST_F(ReadStoryFileTest, ReadsAndDecodesEveryLineEnding) {
  // The last code of each line still converts; codes that touch a break on both sides would not.
  EXPECT_EQ(Read(Write("crlf.qsd", "72 105 13 10 \r\n65 13 10")).text, u"Hi\r\nA\r\n");
  EXPECT_EQ(Read(Write("cr.qsd", "72 105 13 10 \r65 13 10\r")).text, u"Hi\r\nA\r\n");
  EXPECT_EQ(Read(Write("lf.qsd", "72 105 13 10 \n65 13 10\n")).text, u"Hi\r\nA\r\n");
  EXPECT_EQ(Read(Write("touch.qsd", "72 105\n13 10\n")).text, u"H\n");
}

TEST_F(ReadStoryFileTest, EmptyAndBlankFilesLoadAsEmptyText) {
  for (const std::string_view content : {"", "    ", "\r\n\r\n", "\xFF\xFE" "7\0002\0"}) {
    const StoryFile file = Read(Write("blank.qsd", content));
    EXPECT_EQ(file.status, StoryFileStatus::Loaded);
    EXPECT_EQ(file.text, u"");
  }
}

TEST_F(ReadStoryFileTest, OnlyRegularFilesAreRead) {
  EXPECT_EQ(Read(dir_ / "missing.qsd").status, StoryFileStatus::NotFound);
  EXPECT_EQ(Read(dir_).status, StoryFileStatus::NotARegularFile);
  EXPECT_EQ(Read("/dev/zero").status, StoryFileStatus::NotARegularFile);
  EXPECT_EQ(Read("/dev/null").status, StoryFileStatus::NotARegularFile);
  const fs::path fifo = dir_ / "fifo.qsd";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Read(fifo).status, StoryFileStatus::NotARegularFile);  // refused, not waited on
}

TEST_F(ReadStoryFileTest, UnreadableFileCannotBeOpened) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const fs::path path = Write("locked.qsd", "65 ");
  fs::permissions(path, fs::perms::none);
  EXPECT_EQ(Read(path).status, StoryFileStatus::CannotOpen);
}

TEST_F(ReadStoryFileTest, TooManyCharactersIsAFailedLoad) {
  const StoryFile file = Read(Write("long.qsd", "65 66 67 "), 2);
  EXPECT_EQ(file.status, StoryFileStatus::TooLong);
  EXPECT_EQ(file.text, u"");
}

TEST_F(ReadStoryFileTest, LongTokenOfDigitsIsScannedNotBuffered) {
  const fs::path path = dir_ / "digits.qsd";
  {
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 20, '7');
    for (int i = 0; i < 8; ++i) out << block;
    out << " 65";
  }
  const StoryFile file = Read(path);
  EXPECT_EQ(file.status, StoryFileStatus::Loaded);
  EXPECT_EQ(file.text, u"A");
}

}  // namespace
}  // namespace quillshade
