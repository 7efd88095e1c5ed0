#include "story/code_page.h"

#include <gtest/gtest.h>

namespace quillshade {
namespace {

std::optional<char16_t> Cp932(std::int32_t code) { return CharacterOfCode(Cp932CodePage(), code); }

TEST(Cp932CodePage, KnownCharacters) {
  EXPECT_EQ(Cp932(33440), u'\u3042');
  EXPECT_EQ(Cp932(-32096), u'\u3042');
  EXPECT_EQ(Cp932(33119), u'\uFF3C');
  EXPECT_EQ(Cp932(33120), u'\uFF5E');
  EXPECT_EQ(Cp932(34624), u'\u2460');
  EXPECT_EQ(Cp932(92), u'\u005C');
  EXPECT_EQ(Cp932(177), u'\uFF71');
  EXPECT_EQ(Cp932(34975), u'\u4E9C');
  EXPECT_EQ(Cp932(0), u'\0');
  EXPECT_EQ(Cp932(13), u'\r');
}

TEST(Cp932CodePage, SingleBytesThatWindowsMaps) {
  EXPECT_EQ(Cp932(128), u'\u0080');
  EXPECT_EQ(Cp932(160), u'\uF8F0');
  EXPECT_EQ(Cp932(253), u'\uF8F1');
  EXPECT_EQ(Cp932(254), u'\uF8F2');
  EXPECT_EQ(Cp932(255), u'\uF8F3');
}

TEST(Cp932CodePage, CodesThatAreNoCharacter) {
  for (const std::int32_t code : {129, 224, 33344, 0x4142, 0x817F, 65536, -32769, -65471, -65536, 65535, -1}) {
    EXPECT_EQ(Cp932(code), std::nullopt) << code;
  }
  for (int code = 0; code < 128; ++code) EXPECT_EQ(Cp932(code), static_cast<char16_t>(code));
}

}  // namespace
}  // namespace quillshade
