// The web page's read step: the same text as the decoder gives the whole file, in no more room than its codes.
#include "ui/web/page_story.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace quillshade {
namespace {

StoryFile ReadBytes(const std::string& bytes, std::size_t maxLength = kMaxStoryLength) {
  const auto copy = [&bytes](char* into, std::uint64_t offset, std::size_t count) {
    ASSERT_LE(offset + count, bytes.size());
    std::copy_n(bytes.data() + offset, count, into);
  };
  return ReadPageStory(bytes.size(), copy, Cp932CodePage(), maxLength);
}

std::u16string DecodedWhole(const std::string& bytes) {
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text);
  decoder.Feed(bytes);
  decoder.Finish();
  return text;
}

TEST(ReadPageStory, ReadsAcrossPiecesAsTheWholeFileDecodes) {
  // Tokens of every kind, a bad one among them, running over several 64 KiB pieces so
  // that tokens straddle the pieces' edges; the last token has no space after it.
  std::string bytes;
  for (int i = 0; bytes.size() < 200000; ++i) bytes += i % 97 == 0 ? "x1 " : (i % 5 ? "33440 -32319 " : "13 10\r\n ");
  bytes += "65";
  const StoryFile file = ReadBytes(bytes);
  ASSERT_EQ(file.status, StoryFileStatus::Loaded);
  EXPECT_EQ(file.text, DecodedWhole(bytes));
  // Room for one code a space and no more, where the desktop's bound is half the bytes.
  const auto spaces = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), ' '));
  EXPECT_LE(file.text.capacity(), spaces + 1 + 16);
}

TEST(ReadPageStory, SlicesOfAnySizeReadAsOneRun) {
  std::string bytes;
  for (int i = 0; bytes.size() < 300000; ++i) bytes += i % 7 ? "33440 -32319 " : "13 10 ";
  const auto copy = [&bytes](char* into, std::uint64_t offset, std::size_t count) {
    std::copy_n(bytes.data() + offset, count, into);
  };
  std::mt19937 random(25);
  for (const std::size_t maxLength : {kMaxStoryLength, std::size_t{40000}}) {
    PageStoryReader reader(bytes.size(), copy, Cp932CodePage(), maxLength);
    int slices = 0;
    while (!reader.ReadOn(random() % 100000)) ++slices;
    EXPECT_GT(slices, 4);
    const StoryFile file = reader.Take();
    const StoryFile whole = ReadBytes(bytes, maxLength);
    EXPECT_EQ(file.status, whole.status);
    EXPECT_EQ(file.text, whole.text);
  }
}

TEST(ReadPageStory, EmptyAndTooLongStories) {
  const StoryFile empty = ReadBytes("");
  EXPECT_EQ(empty.status, StoryFileStatus::Loaded);
  EXPECT_TRUE(empty.text.empty());
  EXPECT_EQ(ReadBytes("65 66 67 ", 2).status, StoryFileStatus::TooLong);
  EXPECT_EQ(ReadBytes("65 66", 2).text, u"AB");
}

}  // namespace
}  // namespace quillshade
