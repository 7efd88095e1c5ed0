#include "story/decode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/story/decode_reference.h"

namespace quillshade {
namespace {

std::u16string Decode(std::string_view file) { return DecodeCharCodes(file, Cp932CodePage()); }

TEST(DecodeCharCodes, CodesBecomeCharacters) {
  EXPECT_EQ(Decode("72 105 13 10 "), u"Hi\r\n");
  EXPECT_EQ(Decode("33440 -32096 0 "), std::u16string(u"\u3042\u3042") + u'\0');
  EXPECT_EQ(Decode(""), u"");
  EXPECT_EQ(Decode("     "), u"");
}

TEST(DecodeCharCodes, LastCodeOfALineStillConverts) {
  // The read step appends CR LF to the last line, and tab, CR and LF at a token's ends
  // are ignored, so a file ending in "13 10" keeps its last line break.
  EXPECT_EQ(Decode("72 105 13 10\r\n"), u"Hi\r\n");
  EXPECT_EQ(Decode("\t72\t 105\n"), u"Hi");
}

TEST(DecodeCharCodes, LineBreakBetweenTwoCodesLosesBoth) {
  EXPECT_EQ(Decode("72 105\r\n13 10\r\n"), u"H\n");
  EXPECT_EQ(Decode("72 105 \r\n 13 10 "), u"Hi\r\n");  // a break with spaces round it costs nothing
}

TEST(DecodeCharCodes, BadTokensAddNothingAndDecodingGoesOn) {
  EXPECT_EQ(Decode("65x 66 A 67  68 +69 - 70 1-2 0x41 ++71"), u"BCDEF");
  EXPECT_EQ(Decode("65536 -32769 2147483648 -2147483649 99999999999999999999 129 33344 72"), u"H");
  EXPECT_EQ(Decode("00000000000000000000000000072"), u"H");
  // Below -32768 a code would wrap onto a slot that holds a character: -65471 onto 'A'.
  EXPECT_EQ(Decode("-65471 -32769 72"), u"H");
}

TEST(CodeDecoder, ReportsBadTokensWithTheirPlace) {
  std::vector<std::pair<std::uint64_t, TokenFault>> faults;
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text);
  decoder.onBadToken = [&](const BadToken& bad) { faults.emplace_back(bad.offset, bad.fault); };
  decoder.Feed("72  x1 \r\n 99999999999 129 65");
  decoder.Finish();
  EXPECT_EQ(text, u"HA");
  EXPECT_THAT(faults, testing::ElementsAre(std::pair<std::uint64_t, TokenFault>{4, TokenFault::NotANumber},
                                           std::pair<std::uint64_t, TokenFault>{10, TokenFault::OutOfRange},
                                           std::pair<std::uint64_t, TokenFault>{22, TokenFault::NoCharacter}));
}

TEST(CodeDecoder, PiecesOfAnySizeDecodeLikeTheWhole) {
  const std::string file = " 33440 -32096\r\n72 105 13 10 65x 2147483647 -2147483648 +66 ";
  const std::u16string whole = Decode(file);
  for (std::size_t piece = 1; piece <= 7; ++piece) {
    std::u16string text;
    CodeDecoder decoder(Cp932CodePage(), text);
    for (std::size_t at = 0; at < file.size(); at += piece) decoder.Feed(std::string_view(file).substr(at, piece));
    decoder.Finish();
    EXPECT_EQ(text, whole) << "pieces of " << piece;
  }
}

TEST(CodeDecoder, StopsAtTheLengthLimit) {
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text, 2);
  decoder.Feed("65 66 ");
  EXPECT_FALSE(decoder.TooLong());
  decoder.Feed("67 ");
  EXPECT_TRUE(decoder.TooLong());
  EXPECT_EQ(text, u"AB");
}

// Files of every kind of token, so that the blocks the decoder reads at once start and
// end everywhere: inside numbers, on signs, on line breaks, on runs of spaces.
std::string TokenSoup(std::mt19937& random, std::size_t tokens) {
  static const std::vector<std::string> kTokens{
      "0", "65", "-32096", "33440", "+66", "00000072", "12345678", "123456789", "2147483647", "-2147483648",
      "2147483648", "-2147483649", "65x", "-", "+", "", "\r\n72", "72\r\n", "\t", "99999999999999", "1\r2",
      "129", "33344", "-0", "65536", "-32769", "-32768", "65535", "+-5", "7\n", "\n\n", "\x80", "0000000000065"};
  std::string file;
  for (std::size_t i = 0; i < tokens; ++i) {
    file += kTokens[random() % kTokens.size()];
    file.append(1 + (random() % 8 == 0 ? random() % 3 : 0), ' ');
  }
  return file;
}

TEST(CodeDecoder, AgreesWithThePlainRulesInPiecesOfEverySize) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    const std::string file = TokenSoup(random, random() % 400);
    const test::ReferenceDecoding expected = test::ReferenceDecode(file, Cp932CodePage());
    for (const std::size_t piece : {file.size() + 1, std::size_t{1}, std::size_t{9}, std::size_t{80},
                                    std::size_t{81 + random() % 200}}) {
      std::u16string text;
      std::vector<BadToken> bad;
      CodeDecoder decoder(Cp932CodePage(), text);
      decoder.onBadToken = [&](const BadToken& token) { bad.push_back(token); };
      for (std::size_t at = 0; at < file.size(); at += piece) decoder.Feed(std::string_view(file).substr(at, piece));
      decoder.Finish();
      ASSERT_EQ(text, expected.text) << "round " << round << ", pieces of " << piece << ": " << file;
      ASSERT_EQ(bad, expected.badTokens) << "round " << round << ", pieces of " << piece << ": " << file;
    }
  }
  // A long file in the reader's pieces: the tokens it remembers outgrow one cache after
  // another while it is read.
  const std::string file = TokenSoup(random, 300000);
  const test::ReferenceDecoding expected = test::ReferenceDecode(file, Cp932CodePage());
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text);
  for (std::size_t at = 0; at < file.size(); at += 65536) decoder.Feed(std::string_view(file).substr(at, 65536));
  decoder.Finish();
  EXPECT_EQ(text, expected.text);
}

TEST(CodeDecoder, ListenerSeesTheTextUpToEachBadToken) {
  // Tools place a bad token in the decoded text by its length at that moment.
  std::string file;
  for (int i = 0; i < 3000; ++i) file += i % 1000 == 999 ? "x " : "65 ";
  std::u16string text;
  std::vector<std::size_t> lengths;
  CodeDecoder decoder(Cp932CodePage(), text);
  decoder.onBadToken = [&](const BadToken&) { lengths.push_back(text.size()); };
  decoder.Feed(file);
  decoder.Finish();
  EXPECT_THAT(lengths, testing::ElementsAre(999, 1998, 2997));
}

}  // namespace
}  // namespace quillshade
