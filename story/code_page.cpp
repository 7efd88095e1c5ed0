// Builds the flat code page 932 table from the generated per-lead-byte rows.
#include "story/code_page.h"

#include <cstdint>

namespace quillshade {
namespace {

#include "story/cp932_table.inc"

CodePage BuildCp932() {
  CodePage page;
  page.characterOf.fill(CodePage::kNoCharacter);
  for (int code = 0; code < 256; ++code) page.characterOf[code] = static_cast<char16_t>(kSingleByte[code]);
  int row = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail)
      page.characterOf[lead * 256 + trail] = static_cast<char16_t>(kDoubleByte[row][trail - 0x40]);
    ++row;
  }
  return page;
}

}  // namespace

const CodePage& Cp932CodePage() {
  static const CodePage page = BuildCp932();
  return page;
}

}  // namespace quillshade
