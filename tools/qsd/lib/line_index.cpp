// Line index of a story text and small helpers for messages about it.
#include "tools/qsd/lib/line_index.h"

#include <algorithm>
#include <bitset>

#include "story/encode.h"
#include "story/text.h"
#include "story/utf16.h"
#include "story/utf8.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

StoryLines::StoryLines(std::u16string_view text) : text_(text) {
  std::size_t start = 0;
  std::size_t lineBreak = 0;
  while ((lineBreak = FindLineBreak(text, start)) != std::u16string_view::npos) {
    starts_.push_back(static_cast<std::uint32_t>(start));
    start = lineBreak + 2;
  }
  if (start < text.size()) {
    starts_.push_back(static_cast<std::uint32_t>(start));
    unbrokenTail_ = true;
  }
}

std::u16string_view StoryLines::Text(std::size_t line) const {
  const std::size_t start = Start(line);
  if (line == Count() && unbrokenTail_) return text_.substr(start);
  // A line ends two units before the next begins, the last one two before the text ends.
  const std::size_t end = line < Count() ? starts_[line] : text_.size();
  return text_.substr(start, end - 2 - start);
}

std::size_t StoryLines::LineOf(std::size_t index) const {
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), index);
  return static_cast<std::size_t>(after - starts_.begin());
}

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

std::string Quote(std::u16string_view text, std::size_t maxCharacters) {
  return "'" + PrintableText(text, ControlCharacters::Escaped, maxCharacters) + "'";
}

}  // namespace quillshade::qsd
