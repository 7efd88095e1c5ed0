// Columns on the title bar: one for a character of one byte in code page 932, else two.
#include "story/title_bar.h"

#include <gtest/gtest.h>

namespace quillshade {
namespace {

TEST(DisplayWidth, OneColumnPerSingleByteCharacter) {
  EXPECT_EQ(DisplayWidth(u""), 0u);
  EXPECT_EQ(DisplayWidth(u"ab~"), 3u);
  EXPECT_EQ(DisplayWidth(u"ｱｲ"), 2u);         // half-width katakana: one byte each
  EXPECT_EQ(DisplayWidth(u"あ\u3000"), 4u);   // full width, the ideographic space too
  EXPECT_EQ(DisplayWidth(u"é"), 2u);          // not in the page
  EXPECT_EQ(DisplayWidth(u"😀a"), 3u);        // a pair is one character of two columns
  EXPECT_EQ(DisplayWidth(std::u16string(1, u'\xD800')), 2u);  // a lone surrogate too
}

}  // namespace
}  // namespace quillshade
