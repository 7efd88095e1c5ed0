// Columns on the title bar, counted from the bytes each character takes in code page 932.
#include "story/title_bar.h"

#include <bitset>

#include "story/encode.h"
#include "story/utf16.h"

namespace quillshade {
namespace {

// Whether each character takes one byte in code page 932, worked out once from the
// encoder: a bit each, where a lookup per character costs less than asking the encoder.
const std::bitset<65536>& SingleByteCharacters() {
  static const std::bitset<65536> single = [] {
    std::bitset<65536> bits;
    for (std::size_t c = 0; c < bits.size(); ++c)
      if (const auto code = CodeOfCharacter(static_cast<char16_t>(c)); code && *code < 256) bits.set(c);
    return bits;
  }();
  return single;
}

}  // namespace

std::size_t DisplayWidth(std::u16string_view text) {
  const std::bitset<65536>& single = SingleByteCharacters();
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Utf16Character character = CharacterAt(text, i);
    // A pair is never in the page; a lone unit is looked up as it stands.
    width += character.length == 1 && single[text[i]] ? 1 : 2;
    i += character.length;
  }
  return width;
}

}  // namespace quillshade
