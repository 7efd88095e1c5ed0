// The Windows code page tables against the portable table and the known codes.
#include "ui/win32/ansi_code_page.h"

#include <gtest/gtest.h>

namespace quillshade {
namespace {

TEST(WindowsCodePage, Cp932AgreesWithThePortableTableOnEveryCode) {
  const std::unique_ptr<CodePage> windows = BuildWindowsCodePage(932);
  const CodePage& portable = Cp932CodePage();
  int differences = 0;
  for (int code = 0; code < 65536; ++code) {
    if (windows->characterOf[code] == portable.characterOf[code]) continue;
    // Wine's code page 932 lacks four single bytes that Windows maps to private-use
    // characters; under Wine they decode to nothing, on Windows as in the portable table.
    const bool wineGap = code == 160 || code == 253 || code == 254 || code == 255;
    if (wineGap && windows->characterOf[code] == CodePage::kNoCharacter) continue;
    if (++differences <= 10) {
      ADD_FAILURE() << "code " << code << ": system U+" << std::hex << int{windows->characterOf[code]}
                    << ", portable U+" << int{portable.characterOf[code]};
    }
  }
  EXPECT_EQ(differences, 0);
}

TEST(WindowsCodePage, Cp932KnownCodes) {
  const std::unique_ptr<CodePage> page = BuildWindowsCodePage(932);
  EXPECT_EQ(CharacterOfCode(*page, 33440), u'あ');
  EXPECT_EQ(CharacterOfCode(*page, -32096), u'あ');
  EXPECT_EQ(CharacterOfCode(*page, 177), u'ｱ');
  EXPECT_EQ(CharacterOfCode(*page, 92), u'\\');
  EXPECT_EQ(CharacterOfCode(*page, 0), u'\0');
  EXPECT_EQ(CharacterOfCode(*page, 129), std::nullopt);    // a lone lead byte
  EXPECT_EQ(CharacterOfCode(*page, 33344), std::nullopt);  // an unmapped pair
  EXPECT_EQ(CharacterOfCode(*page, 0x4142), std::nullopt); // two single bytes are two characters
  EXPECT_EQ(CharacterOfCode(*page, 65536), std::nullopt);
}

TEST(WindowsCodePage, SingleBytePageHasOnlyCodesUpTo255) {
  const std::unique_ptr<CodePage> page = BuildWindowsCodePage(1252);
  EXPECT_EQ(CharacterOfCode(*page, 65), u'A');
  EXPECT_EQ(CharacterOfCode(*page, 128), u'€');
  EXPECT_EQ(CharacterOfCode(*page, 233), u'é');
  for (const int code : {256, 33440, 65535, -1, -32096}) EXPECT_EQ(CharacterOfCode(*page, code), std::nullopt) << code;
}

}  // namespace
}  // namespace quillshade
