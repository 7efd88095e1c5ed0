// Builds the decoder's table from the system's own conversion of each code.
#include "ui/win32/ansi_code_page.h"

#include <windows.h>

namespace quillshade {
namespace {

// The one UTF-16 unit that `bytes` decode to, or nothing. MB_ERR_INVALID_CHARS makes an
// unmapped code fail instead of turning into the default character.
bool DecodeOne(UINT codePage, const char* bytes, int length, char16_t& character) {
  wchar_t units[4];
  const int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, units, 4);
  if (count != 1 || units[0] == CodePage::kNoCharacter) return false;
  character = static_cast<char16_t>(units[0]);
  return true;
}

}  // namespace

std::unique_ptr<CodePage> BuildWindowsCodePage(unsigned codePage) {
  auto page = std::make_unique<CodePage>();
  page->characterOf.fill(CodePage::kNoCharacter);
  for (int code = 0; code < 128; ++code) page->characterOf[code] = static_cast<char16_t>(code);

  CPINFO info{};
  const bool doubleByte = GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
  for (int lead = 128; lead < 256; ++lead) {
    const auto leadByte = static_cast<BYTE>(lead);
    if (doubleByte && IsDBCSLeadByteEx(codePage, leadByte)) {
      // A lead byte alone is no character; with each trail byte it may be one.
      for (int trail = 0; trail < 256; ++trail) {
        const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        DecodeOne(codePage, bytes, 2, page->characterOf[lead * 256 + trail]);
      }
    } else {
      const char byte = static_cast<char>(lead);
      DecodeOne(codePage, &byte, 1, page->characterOf[lead]);
    }
  }
  return page;
}

const CodePage& AnsiCodePage() {
  static const std::unique_ptr<CodePage> page = BuildWindowsCodePage(GetACP());
  return *page;
}

}  // namespace quillshade
