// Text sources in, character codes out: the code page 932 reverse map and its choices.
#include "tools/qsd/text_source.h"

#include <gtest/gtest.h>

#include "story/code_page.h"
#include "story/decode.h"

namespace quillshade::qsd {
namespace {

std::u16string TextOf(const SourceResult& result) {
  if (const auto* problem = std::get_if<SourceProblem>(&result)) {
    ADD_FAILURE() << "problem at " << problem->place.line << ":" << problem->place.column << ": " << problem->message;
    return {};
  }
  return std::get<std::u16string>(result);
}

SourceProblem ProblemOf(const SourceResult& result) {
  if (const auto* problem = std::get_if<SourceProblem>(&result)) return *problem;
  ADD_FAILURE() << "the source was read without a problem";
  return {};
}

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

TEST(ReadTextSource, EveryLineBreakBecomesCrLf) {
  EXPECT_EQ(TextOf(ReadTextSource("a\nb\r\nc\rd\r\r\ne", SourceEncoding::Utf8)), u"a\r\nb\r\nc\r\nd\r\n\r\ne");
}

TEST(ReadTextSource, ByteOrderMarkIsDroppedOnlyAtTheStart) {
  EXPECT_EQ(TextOf(ReadTextSource("\xEF\xBB\xBFHi\n", SourceEncoding::Utf8)), u"Hi\r\n");
  EXPECT_EQ(TextOf(ReadTextSource("H\xEF\xBB\xBFi", SourceEncoding::Utf8)), u"H\uFEFFi");
}

TEST(ReadTextSource, MalformedUtf8IsPlaced) {
  SourceProblem problem = ProblemOf(ReadTextSource("ok\r\nCaf\xE9 au lait", SourceEncoding::Utf8));
  EXPECT_EQ(problem.place.line, 2);
  EXPECT_EQ(problem.place.column, 4);
  EXPECT_NE(problem.message.find("0xE9"), std::string::npos);
  // Overlong forms, encoded surrogates and a sequence cut off at the end are refused too.
  problem = ProblemOf(ReadTextSource("\xC0\xAF", SourceEncoding::Utf8));
  EXPECT_EQ(problem.place.column, 1);
  ProblemOf(ReadTextSource("\xED\xA0\x80", SourceEncoding::Utf8));
  problem = ProblemOf(ReadTextSource("あ\xE3\x81", SourceEncoding::Utf8));
  EXPECT_EQ(problem.place.column, 2);
}

TEST(ReadTextSource, NulByteMeansBinary) {
  const SourceProblem problem = ProblemOf(ReadTextSource(std::string_view("ab\ncd\0", 6), SourceEncoding::Utf8));
  EXPECT_EQ(problem.place.line, 2);
  EXPECT_NE(problem.message.find("binary"), std::string::npos);
}

TEST(ReadTextSource, CodePage932) {
  EXPECT_EQ(TextOf(ReadTextSource("\x82\xA0\xB1\\\r\n", SourceEncoding::Cp932)), u"あｱ\\\r\n");
  // A lead byte without its trail byte, and a pair that is no character.
  EXPECT_EQ(ProblemOf(ReadTextSource("a\x82", SourceEncoding::Cp932)).place.column, 2);
  EXPECT_EQ(ProblemOf(ReadTextSource("\n\x82\x40", SourceEncoding::Cp932)).place.line, 2);
}

TEST(LooksLikeStoryFile, JudgedByMostWords) {
  EXPECT_TRUE(LooksLikeStoryFile("72 105 13 10 "));
  EXPECT_TRUE(LooksLikeStoryFile("72\r\n-32096 +13 10"));
  EXPECT_TRUE(LooksLikeStoryFile("72 105 65x 13 10 33 "));  // one bad token in six
  EXPECT_FALSE(LooksLikeStoryFile("Start.\nThe end. :: END\n"));
  EXPECT_FALSE(LooksLikeStoryFile("12 apples\n"));
  EXPECT_FALSE(LooksLikeStoryFile(""));
  EXPECT_FALSE(LooksLikeStoryFile(" - + \n"));
}

TEST(DescribeCharacter, QuotesPrintableCharactersOnly) {
  EXPECT_EQ(DescribeCharacter(U'é'), "U+00E9 'é'");
  EXPECT_EQ(DescribeCharacter(U'\U0001F600'), "U+1F600 '\xF0\x9F\x98\x80'");
  EXPECT_EQ(DescribeCharacter(U'\x85'), "U+0085");
}

}  // namespace
}  // namespace quillshade::qsd
