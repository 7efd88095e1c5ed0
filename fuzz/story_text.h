// Fuzz input bytes as story text: script markers and line breaks stay easy to reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillshade::fuzz {

// Bytes below 128 stand for themselves; the others for characters a story may hold
// beyond ASCII: the ideographic space, kana, a kanji, half-width katakana, the full-width
// forms of the script markers, and halves of surrogate pairs, which no story file can
// hold but text in memory might.
inline std::u16string StoryTextOf(const std::uint8_t* data, std::size_t size) {
  static constexpr char16_t kWide[] = {u'\u3000', u'\u3042', u'\u30A2', u'\u4E9C', u'\uFF71', u'\uFF5E',
                                       u'\u00E9', u'\uFF1E', u'\uFF1F', u'\uFF1A', u'\uFF3B', u'\uFF3D',
                                       u'\uFF0C', u'\u3001', 0xD83D,    0xDE00,    u'\uFFFD'};
  std::u16string text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i)
    text += data[i] < 0x80 ? static_cast<char16_t>(data[i]) : kWide[data[i] % (sizeof kWide / sizeof kWide[0])];
  return text;
}

}  // namespace quillshade::fuzz
