// Small exact operations on story text: 16-bit code units, no folding of any kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillshade {

// Removes U+0020 at both ends; tabs, CR, LF and the ideographic space stay. Inline:
// every line is trimmed several times as it is split.
inline std::u16string_view TrimSpaces(std::u16string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == u' ') ++first;
  if (first == last) return text.substr(0, 0);  // empty, but still pointing into the text
  while (text[last - 1] == u' ') --last;
  return text.substr(first, last - first);
}

// The 0-based index of the first CR LF at or after `from`, or npos.
std::size_t FindLineBreak(std::u16string_view text, std::size_t from);

// The 1-based position of the CR of the first CR LF in the text that is directly
// followed by `lineStart`, searching the whole text from its start; 0 if there is none.
std::int32_t FindLabelLine(std::u16string_view text, std::u16string_view lineStart);

// ASCII letters to upper case; everything else stays.
std::u16string UpperAscii(std::u16string_view text);

bool Contains(std::u16string_view text, std::u16string_view part);

}  // namespace quillshade
