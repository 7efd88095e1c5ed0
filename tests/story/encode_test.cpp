// The encoder: characters to the codes of a story file, in code page 932.
#include "story/encode.h"

#include <gtest/gtest.h>

#include "story/code_page.h"
#include "story/decode.h"

namespace quillshade {
namespace {

TEST(CodeOfCharacter, KnownCodes) {
  EXPECT_EQ(CodeOfCharacter(u'あ'), 33440);
  EXPECT_EQ(CodeOfCharacter(u'＼'), 33119);
  EXPECT_EQ(CodeOfCharacter(u'～'), 33120);
  EXPECT_EQ(CodeOfCharacter(u'①'), 34624);
  EXPECT_EQ(CodeOfCharacter(u'亜'), 34975);
  EXPECT_EQ(CodeOfCharacter(u'ｱ'), 177);
  EXPECT_EQ(CodeOfCharacter(u'\\'), 92);
  EXPECT_EQ(CodeOfCharacter(u'\r'), 13);
  EXPECT_EQ(CodeOfCharacter(u'\0'), 0);
  // The single bytes that only Windows' code page 932 maps.
  EXPECT_EQ(CodeOfCharacter(u'\u0080'), 128);
  EXPECT_EQ(CodeOfCharacter(u'\uF8F0'), 160);
  EXPECT_EQ(CodeOfCharacter(u'\uF8F3'), 255);
}

TEST(CodeOfCharacter, CharactersTheCodePageLacks) {
  EXPECT_FALSE(CodeOfCharacter(u'é'));
  EXPECT_FALSE(CodeOfCharacter(u'\uFFFF'));
  EXPECT_FALSE(CodeOfCharacter(static_cast<char16_t>(0xD83D)));  // half of a surrogate pair
  EXPECT_FALSE(CodeOfCharacter(u'한'));
}

// Where the page holds a character twice or three times, Windows writes the JIS X 0208
// row first, then NEC row 13, then the IBM extensions, then the NEC-selected ones.
TEST(CodeOfCharacter, DuplicatesAreWrittenAsWindowsWritesThem) {
  EXPECT_EQ(CodeOfCharacter(u'≒'), 0x81E0);  // also 0x8790
  EXPECT_EQ(CodeOfCharacter(u'∵'), 0x81E6);  // also 0x879A and 0xFA5B
  EXPECT_EQ(CodeOfCharacter(u'￢'), 0x81CA);  // also 0xEEF9 and 0xFA54
  EXPECT_EQ(CodeOfCharacter(u'Ⅰ'), 0x8754);  // also 0xFA4A
  EXPECT_EQ(CodeOfCharacter(u'ⅰ'), 0xFA40);  // also 0xEEEF
  EXPECT_EQ(CodeOfCharacter(u'纊'), 0xFA5C);  // also 0xED40
}

TEST(CodeOfCharacter, EveryCharacterOfThePageComesBack) {
  const CodePage& page = Cp932CodePage();
  std::u16string all;
  for (int code = 0; code < 65536; ++code) {
    const char16_t c = page.characterOf[static_cast<std::size_t>(code)];
    if (c == CodePage::kNoCharacter) continue;
    const auto back = CodeOfCharacter(c);
    ASSERT_TRUE(back) << "code " << code;
    EXPECT_EQ(CharacterOfCode(page, *back), c) << "code " << code;
    if (*back == code) all.push_back(c);
  }
  EXPECT_GT(all.size(), 7000u);
  const EncodedStory story = EncodeStory(all);
  EXPECT_TRUE(story.unencodable.empty());
  EXPECT_EQ(DecodeCharCodes(story.codes, page), all);
}

TEST(EncodeStory, CodesOnOneLineWithASpaceAfterEach) {
  const EncodedStory story = EncodeStory(u"Aあ\r\n");
  EXPECT_EQ(story.codes, "65 33440 13 10 ");
  EXPECT_FALSE(story.lastLineUnbroken);
  EXPECT_EQ(EncodeStory(u"").codes, "");
}

TEST(EncodeStory, LastLineWithoutLineBreak) {
  EXPECT_TRUE(EncodeStory(u"one\r\ntwo").lastLineUnbroken);
  EXPECT_TRUE(EncodeStory(u"one").lastLineUnbroken);
  EXPECT_FALSE(EncodeStory(u"one\r\n\r\n").lastLineUnbroken);
}

TEST(EncodeStory, UnencodableCharactersAreNamedAndWrittenAsQuestionMarks) {
  const EncodedStory story = EncodeStory(u"ok\r\nx\U0001F600é\r\n");
  EXPECT_EQ(story.codes, "111 107 13 10 120 63 63 13 10 ");
  ASSERT_EQ(story.unencodable.size(), 2u);
  EXPECT_EQ(story.unencodable[0].character, U'\U0001F600');
  EXPECT_EQ(story.unencodable[0].place.line, 2);
  EXPECT_EQ(story.unencodable[0].place.column, 2);
  EXPECT_EQ(story.unencodable[1].character, U'é');
  EXPECT_EQ(story.unencodable[1].place.column, 3);  // the pair was one character
}

// Every character and pair, in one text: made in place, it is what decoding the codes
// of the text gives, and names what encoding it names.
TEST(MakeReaderText, IsWhatTheCodesOfTheTextDecodeTo) {
  std::u16string text;
  for (std::uint32_t c = 1; c < 0x10000; ++c) text.push_back(static_cast<char16_t>(c));
  text += u"\U0001F600\r\nend\xD800";  // a pair, and a lone surrogate at the end
  const EncodedStory encoded = EncodeStory(text);
  std::u16string held = text;
  const std::vector<Unencodable> replaced = MakeReaderText(held);
  EXPECT_EQ(held, DecodeCharCodes(encoded.codes, Cp932CodePage()));
  ASSERT_EQ(replaced.size(), encoded.unencodable.size());
  for (std::size_t i = 0; i < replaced.size(); ++i) {
    EXPECT_EQ(replaced[i].character, encoded.unencodable[i].character);
    EXPECT_EQ(replaced[i].place.line, encoded.unencodable[i].place.line);
    EXPECT_EQ(replaced[i].place.column, encoded.unencodable[i].place.column);
  }
}

}  // namespace
}  // namespace quillshade
