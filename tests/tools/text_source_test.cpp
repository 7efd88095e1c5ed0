// Text sources in, character codes out: the code page 932 reverse map and its choices.
#include "tools/qsd/lib/text_source.h"

#include <gtest/gtest.h>

#include "story/code_page.h"
#include "story/decode.h"
#include "tools/qsd/lib/source_encoder.h"

namespace quillshade::qsd {
namespace {

std::u16string TextOf(const Result<std::u16string>& result) {
  if (!result.ok()) {
    const Failure& problem = result.error();
    ADD_FAILURE() << "problem at " << problem.place->line << ":" << problem.place->column << ": " << problem.message;
    return {};
  }
  return result.value();
}

// A failure of ReadTextSource always has its place.
struct SourceProblem {
  TextPlace place;
  std::string message;
};
SourceProblem ProblemOf(const Result<std::u16string>& result) {
  if (!result.ok() && result.error().place) return SourceProblem{*result.error().place, result.error().message};
  ADD_FAILURE() << "the source was read without a placed problem";
  return {};
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
  // A byte that is no character is named even when it comes after the NUL.
  EXPECT_NE(ProblemOf(ReadTextSource(std::string_view("a\0b\xE9", 4), SourceEncoding::Utf8)).message.find("0xE9"),
            std::string::npos);
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

// The one rule that check, graph, play and the language server share.
TEST(KindOfStory, TxtOrStdinIsATextSourceUnlessItHoldsCodes) {
  const std::string_view text = "Start.\n";
  const std::string_view codes = "72 105 13 10 ";
  EXPECT_EQ(KindOfStory("a.txt", text), StoryKind::TextSource);
  EXPECT_EQ(KindOfStory("dir.qsd/A.TXT", text), StoryKind::TextSource);
  EXPECT_EQ(KindOfStory("file:///a.Txt", text), StoryKind::TextSource);
  EXPECT_EQ(KindOfStory("-", text), StoryKind::TextSource);
  EXPECT_EQ(KindOfStory("a.txt", codes), StoryKind::StoryFile);
  EXPECT_EQ(KindOfStory("-", codes), StoryKind::StoryFile);
  EXPECT_EQ(KindOfStory("a.qsd", text), StoryKind::StoryFile);
  EXPECT_EQ(KindOfStory("a.txt.bak", text), StoryKind::StoryFile);
  EXPECT_TRUE(IsStoryName("A.QSD"));
  EXPECT_TRUE(IsStoryName("a.TXT"));
  EXPECT_FALSE(IsStoryName("qsd"));
  EXPECT_FALSE(IsStoryName("a.md"));
}

TEST(DescribeCharacter, QuotesPrintableCharactersOnly) {
  EXPECT_EQ(DescribeCharacter(U'é'), "U+00E9 'é'");
  EXPECT_EQ(DescribeCharacter(U'\U0001F600'), "U+1F600 '\xF0\x9F\x98\x80'");
  EXPECT_EQ(DescribeCharacter(U'\x85'), "U+0085");
}

TEST(EncodeSource, OnlyAnErrorRefusesTheSource) {
  const std::string moon = "a \xF0\x9F\x8C\x99\r\n";  // U+1F319: no code page 932 character
  EXPECT_TRUE(EncodeSource(moon, SourceEncoding::Utf8, /*lossy=*/false).Refused());
  EXPECT_FALSE(EncodeSource(moon, SourceEncoding::Utf8, /*lossy=*/true).Refused()) << "written as '?'";
  const EncodedSource unbroken = EncodeSource("a\r\nb", SourceEncoding::Utf8, /*lossy=*/false);
  ASSERT_EQ(unbroken.notes.size(), 1u);  // a warning only
  EXPECT_FALSE(unbroken.Refused());
  EXPECT_TRUE(EncodeSource("72 105 13 10", SourceEncoding::Utf8, /*lossy=*/false).Refused()) << "already codes";
}

}  // namespace
}  // namespace quillshade::qsd
