#include "story/text.h"

#include <gtest/gtest.h>

#include <string>

namespace quillshade {
namespace {

// The plain definition the fast searches must agree with.
std::size_t NaiveFind(std::u16string_view text, std::size_t from, std::u16string_view needle) {
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i)
    if (text.substr(i, needle.size()) == needle) return i;
  return std::u16string_view::npos;
}

std::int32_t NaiveLabelLine(std::u16string_view text, std::u16string_view label) {
  const std::size_t at = NaiveFind(text, 0, std::u16string(u"\r\n") + std::u16string(label));
  return at == std::u16string_view::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

// Filler that offers the searches many near misses: lone CRs, CR LF pairs, and units
// equal to the label's last one.
std::u16string Filler(std::size_t length) {
  static constexpr std::u16string_view kPattern = u"\u3042]x\rL\r\n[LAS]\u3044\n\r";
  std::u16string text;
  for (std::size_t i = 0; i < length; ++i) text += kPattern[(i * 7 + i / 13) % kPattern.size()];
  return text;
}

TEST(FindLabelLine, AgreesWithAPlainSearchAtEveryPlace) {
  // Every offset across several blocks of the wide search, and every distance to the end.
  for (std::size_t before = 0; before < 300; before += 1) {
    for (const std::size_t after : {0, 1, 2, 7, 31, 64, 65, 200}) {
      const std::u16string text = Filler(before) + u"\r\n[LAST]end" + Filler(after);
      ASSERT_EQ(FindLabelLine(text, u"[LAST]"), NaiveLabelLine(text, u"[LAST]")) << before << " " << after;
      ASSERT_EQ(FindLabelLine(text, u"[LAST]"), static_cast<std::int32_t>(before + 1)) << before << " " << after;
    }
  }
}

TEST(FindLabelLine, FirstMatchingLineWinsAndPartialMatchesDoNot) {
  const std::u16string text = Filler(500) + u"\r\n[LA_T]\r\n[LAST]\r\n[LAST]";
  EXPECT_EQ(FindLabelLine(text, u"[LAST]"), 509);  // the CR after "[LA_T]"
  // A label cut off by the end of the text is no match.
  EXPECT_EQ(FindLabelLine(Filler(100) + u"\r\n[LAS", u"[LAST]"), NaiveLabelLine(Filler(100), u"[LAST]"));
  EXPECT_EQ(FindLabelLine(u"[LAST]\r\n", u"[LAST]"), 0);  // no CR LF before the first line
  EXPECT_EQ(FindLabelLine(u"", u""), 0);
  EXPECT_EQ(FindLabelLine(u"a\r\n", u""), 2);  // an empty label matches the first CR LF
}

TEST(FindLabelLine, LongLabelsAndLabelsWithLineBreaks) {
  const std::u16string longLabel(300, u'\u3042');
  const std::u16string text = Filler(1000) + u"\r\n" + longLabel.substr(0, 299) + u"x\r\n" + longLabel;
  EXPECT_EQ(FindLabelLine(text, longLabel), NaiveLabelLine(text, longLabel));
  EXPECT_EQ(FindLabelLine(text, longLabel), 1000 + 2 + 300 + 1);
  const std::u16string lone = Filler(90) + u"\r\n\r\nX";
  EXPECT_EQ(FindLabelLine(lone, u"\r\nX"), NaiveLabelLine(lone, u"\r\nX"));
}

TEST(FindLineBreak, FindsTheFirstCrLfAtOrAfterAPlace) {
  const std::u16string text = Filler(777) + u"\r\r\n";
  for (std::size_t from = 0; from <= text.size() + 2; from += 3)
    ASSERT_EQ(FindLineBreak(text, from), NaiveFind(text, from, u"\r\n")) << from;
  EXPECT_EQ(FindLineBreak(u"ab\r", 0), std::u16string_view::npos);  // a CR at the very end
  EXPECT_EQ(FindLineBreak(u"\n\r\r\n", 0), 2U);
  EXPECT_EQ(FindLineBreak(u"\r\n", 5), std::u16string_view::npos);
  // A break at every distance, across the first units that are looked at one by one.
  for (std::size_t gap = 0; gap < 40; ++gap) ASSERT_EQ(FindLineBreak(std::u16string(gap, u'\r') + u"\r\n", 0), gap);
}

}  // namespace
}  // namespace quillshade
