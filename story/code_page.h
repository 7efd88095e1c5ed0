// Character codes of a story file to characters: the one code-page interface.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quillshade {

// A code page as one flat table from a 16-bit code to its character. Codes -32768..-1
// are the same as the code plus 65536, so a 32-bit code finds its slot as code & 0xFFFF
// once it is known to lie in -32768..65535.
struct CodePage {
  static constexpr char16_t kNoCharacter = 0xFFFF;  // never a character of any code page
  std::array<char16_t, 65536> characterOf{};
};

// The character a code stands for, or nothing: a code gives a character only if it is
// exactly one character of the code page (a lone lead byte or an unmapped pair is none).
inline std::optional<char16_t> CharacterOfCode(const CodePage& page, std::int32_t code) {
  if (code < -32768 || code > 65535) return std::nullopt;
  const char16_t c = page.characterOf[static_cast<std::uint16_t>(code)];
  if (c == CodePage::kNoCharacter) return std::nullopt;
  return c;
}

// Code page 932 (Shift-JIS) as Windows decodes it; the page story files are made for,
// used wherever the system has no ANSI code page of its own. Built once, on first use.
const CodePage& Cp932CodePage();

}  // namespace quillshade
