// Characters in 16-bit code units: surrogate pairs, and where a character stands in a text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillshade {

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The character that begins at text[at]: a surrogate pair counts as one, and an unpaired
// surrogate stands for itself.
struct Utf16Character {
  char32_t codePoint = 0;
  std::size_t length = 1;  // code units: 1, or 2 for a pair
};

inline Utf16Character CharacterAt(std::u16string_view text, std::size_t at) {
  const char16_t first = text[at];
  if (IsHighSurrogate(first) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]))
    return {0x10000 + ((static_cast<char32_t>(first) - 0xD800) << 10) + (text[at + 1] - 0xDC00), 2};
  return {first, 1};
}

// Appends a character: as a surrogate pair from U+10000 on.
inline void AppendCharacter(std::u16string& text, char32_t character) {
  if (character < 0x10000) {
    text.push_back(static_cast<char16_t>(character));
    return;
  }
  const char32_t offset = character - 0x10000;
  text.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  text.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

// A place in a text: 1-based line and column.
struct TextPlace {
  std::int64_t line = 1;
  std::int64_t column = 1;
};

// Follows the place of each character while a text is walked: CR LF, a lone CR and a
// lone LF each end a line, and every other character (or byte) is one column.
class PlaceCounter {
 public:
  const TextPlace& Place() const { return place_; }

  void Count(char32_t c) {
    if (c == U'\n' && afterCr_) {
      afterCr_ = false;
      return;
    }
    afterCr_ = c == U'\r';
    if (c == U'\r' || c == U'\n') {
      ++place_.line;
      place_.column = 1;
    } else {
      ++place_.column;
    }
  }

 private:
  TextPlace place_;
  bool afterCr_ = false;
};

}  // namespace quillshade
