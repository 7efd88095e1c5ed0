// Story files through the reader's decoder, with every bad token placed.
#include "tools/qsd/lib/story_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

#include "story/code_page.h"

namespace quillshade::qsd {
namespace {

TEST(DecodeStoryBytes, PlacesBadTokensInTheFileAndInTheStory) {
  // Lines of the file end at CR LF, a lone CR and a lone LF.
  const LoadedStory story = DecodeStoryBytes("72 1x 105 13 10\r\n 65 -\r 66 99999999999\n1 33344 67 ", 10);
  EXPECT_EQ(story.text, u"Hi\r\nABC");
  ASSERT_EQ(story.badTokens.size(), 4u);
  EXPECT_EQ(story.badTokenCount, 4u);

  EXPECT_EQ(story.badTokens[0].excerpt, "1x");
  EXPECT_EQ(story.badTokens[0].token.fault, TokenFault::NotANumber);
  EXPECT_EQ(story.badTokens[0].fileLine, 1);
  EXPECT_EQ(story.badTokens[0].fileColumn, 4);
  EXPECT_EQ(story.badTokens[0].storyIndex, 1u);  // between H and i

  // "10\r\n" is a good token (line breaks at its ends are ignored); "-\r" is not.
  EXPECT_EQ(story.badTokens[1].excerpt, "-\\r");
  EXPECT_EQ(story.badTokens[1].fileLine, 2);
  EXPECT_EQ(story.badTokens[1].fileColumn, 5);
  EXPECT_EQ(story.badTokens[1].storyIndex, 5u);

  // Digits on both sides of a line break make one token, which is no number.
  EXPECT_EQ(story.badTokens[2].token.fault, TokenFault::NotANumber);
  EXPECT_EQ(story.badTokens[2].excerpt, "99999999999\\n1");
  EXPECT_EQ(story.badTokens[2].fileLine, 3);
  EXPECT_EQ(story.badTokens[2].fileColumn, 5);

  EXPECT_EQ(story.badTokens[3].token.fault, TokenFault::NoCharacter);
  EXPECT_EQ(story.badTokens[3].fileLine, 4);
  EXPECT_EQ(story.badTokens[3].fileColumn, 3);
  EXPECT_EQ(story.badTokens[3].storyIndex, 6u);
}

TEST(DecodeStoryBytes, NamesOnlyAsManyAsAskedButCountsAll) {
  const LoadedStory story = DecodeStoryBytes("x y 72 z 13 10 w", 2);
  EXPECT_EQ(story.text, u"H\r\n");
  EXPECT_EQ(story.badTokens.size(), 2u);
  EXPECT_EQ(story.badTokenCount, 4u);
  EXPECT_EQ(story.badTokens[1].excerpt, "y");
}

TEST(DecodeStoryBytes, FaultsOfEveryKind) {
  const LoadedStory story = DecodeStoryBytes("2147483648 33344 129 -32769 ", 10);
  ASSERT_EQ(story.badTokens.size(), 4u);
  EXPECT_EQ(story.badTokens[0].token.fault, TokenFault::OutOfRange);
  EXPECT_EQ(story.badTokens[1].token.fault, TokenFault::NoCharacter);
  EXPECT_EQ(story.badTokens[2].token.fault, TokenFault::NoCharacter);  // a lone lead byte
  EXPECT_EQ(story.badTokens[3].token.fault, TokenFault::NoCharacter);
  EXPECT_EQ(story.badTokens[3].fileColumn, 22);
}

// Feeding the decoder a token at a time must not change what it decodes.
TEST(DecodeStoryBytes, GivesTheSameTextAsTheReadersDecoder) {
  std::mt19937 random(4);
  const char* pieces[] = {"72 ", "33440 ", "13 10 ", " ", "\r\n", "-32096 ", "x ", "1\n2 ", "65", "\t66\t ", "+67 "};
  for (int round = 0; round < 200; ++round) {
    std::string file;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) file += pieces[random() % std::size(pieces)];
    std::size_t engineBad = 0;
    std::u16string engineText;
    CodeDecoder decoder(Cp932CodePage(), engineText);
    decoder.onBadToken = [&](const BadToken&) { ++engineBad; };
    decoder.Feed(file);
    decoder.Finish();
    const LoadedStory story = DecodeStoryBytes(file, 1000);
    EXPECT_EQ(story.text, engineText) << file;
    EXPECT_EQ(story.badTokenCount, engineBad) << file;
    EXPECT_EQ(story.badTokens.size(), engineBad) << file;
  }
}

TEST(LoadStory, PlacesBadTokensAcrossThePiecesItReads) {
  // Bad tokens on both sides of the 64 KiB pieces of the second pass, one of them long
  // enough to cross from one piece into the next, on many file lines.
  std::string file;
  while (file.size() < 200000) file += file.size() % 7 == 0 ? "65\r\n66x 67 " : "72 ";
  file.insert(65530, std::string(40, 'y') + " ");
  const auto path = std::filesystem::temp_directory_path() / "qsd_story_input_pieces.qsd";
  std::ofstream(path, std::ios::binary) << file;
  const LoadedStory loaded = LoadStory(path.string(), 1000);
  const LoadedStory expected = DecodeStoryBytes(file, 1000);
  std::filesystem::remove(path);
  EXPECT_EQ(loaded.text, expected.text);
  EXPECT_EQ(loaded.badTokenCount, expected.badTokenCount);
  ASSERT_EQ(loaded.badTokens.size(), expected.badTokens.size());
  for (std::size_t i = 0; i < loaded.badTokens.size(); ++i) {
    const PlacedToken& got = loaded.badTokens[i];
    const PlacedToken& want = expected.badTokens[i];
    ASSERT_EQ(std::tie(got.token, got.fileLine, got.fileColumn, got.storyIndex, got.excerpt),
              std::tie(want.token, want.fileLine, want.fileColumn, want.storyIndex, want.excerpt))
        << "bad token " << i;
  }
}

TEST(LoadStory, ReadsThroughTheReadersReadStep) {
  const auto path = std::filesystem::temp_directory_path() / "qsd_story_input_test.qsd";
  {
    std::ofstream out(path, std::ios::binary);
    out << "72 oops 105 13 10 ";
  }
  const LoadedStory story = LoadStory(path.string(), 10);
  EXPECT_EQ(story.status, StoryFileStatus::Loaded);
  EXPECT_EQ(story.text, u"Hi\r\n");
  ASSERT_EQ(story.badTokens.size(), 1u);
  EXPECT_EQ(story.badTokens[0].fileColumn, 4);
  std::filesystem::remove(path);

  EXPECT_EQ(LoadStory(path.string(), 10).status, StoryFileStatus::NotFound);
  EXPECT_EQ(LoadStory(std::filesystem::temp_directory_path().string(), 10).status, StoryFileStatus::NotARegularFile);
}

}  // namespace
}  // namespace quillshade::qsd
