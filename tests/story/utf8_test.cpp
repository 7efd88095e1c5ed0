#include "story/utf8.h"

#include <gtest/gtest.h>

namespace quillshade {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00E9\u3042\uFF71\U0001F600";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE3\x81\x82\xEF\xBD\xB1\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(ToUtf8(std::u16string{u'a', 0xD800, u'b', 0xDC00}), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Utf8, EveryLengthAtItsEdgesAndSurrogatesAtTheEnd) {
  const std::u16string edges{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xD83D, 0xDE00, 0xD83D};
  EXPECT_EQ(ToUtf8(edges), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x9F\x98\x80\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(u""), "");
}

TEST(Utf8, EveryUnitOutsideTheSurrogatesRoundTrips) {
  std::u16string units;
  for (char32_t c = 0; c < 0x10000; ++c)
    if (c < 0xD800 || c > 0xDFFF) units += static_cast<char16_t>(c);
  EXPECT_EQ(FromUtf8(ToUtf8(units)), units);
}

TEST(Utf8, MalformedInputIsRefused) {
  for (const std::string_view bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "a\x80"}) {
    EXPECT_EQ(FromUtf8(bad), std::nullopt);
  }
}

// One text, each way of showing its control characters, and a cut after four units.
TEST(PrintableText, ControlCharactersShownThreeWays) {
  const std::u16string text = u"a\r\n\t\x01\x7F\u3042";
  EXPECT_EQ(PrintableText(text, ControlCharacters::Replaced),
            "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xE3\x81\x82");
  EXPECT_EQ(PrintableText(text, ControlCharacters::Escaped), "a\\r\\n\\t\\x01\\x7f\xE3\x81\x82");
  EXPECT_EQ(PrintableText(text, ControlCharacters::Marked), "a\\r\\n\\t??\xE3\x81\x82");
  EXPECT_EQ(PrintableText(text, ControlCharacters::Escaped, 4), "a\\r\\n\\t...");
  EXPECT_EQ(PrintableText(u"abcd", ControlCharacters::Escaped, 4), "abcd");
}

}  // namespace
}  // namespace quillshade
