// Searches over story text, written to stay fast on texts of hundreds of megabytes.
#include "story/text.h"

#include <algorithm>

namespace quillshade {

std::u16string_view TrimSpaces(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(u' ');
  return text.substr(first, last - first + 1);
}

std::size_t FindLineBreak(std::u16string_view text, std::size_t from) {
  for (std::size_t i = from; i + 1 < text.size(); ++i) {
    i = text.find(u'\r', i);
    if (i == std::u16string_view::npos || i + 1 >= text.size()) return std::u16string_view::npos;
    if (text[i + 1] == u'\n') return i;
  }
  return std::u16string_view::npos;
}

std::int32_t FindLabelLine(std::u16string_view text, std::u16string_view lineStart) {
  std::size_t at = 0;
  while ((at = FindLineBreak(text, at)) != std::u16string_view::npos) {
    const std::u16string_view after = text.substr(at + 2);
    if (after.substr(0, lineStart.size()) == lineStart) return static_cast<std::int32_t>(at + 1);
    ++at;
  }
  return 0;
}

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; });
  return upper;
}

bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

}  // namespace quillshade
