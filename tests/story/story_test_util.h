// Helpers for engine tests: stories written as text, with "|" standing for CR LF.
#pragma once

#include <string>
#include <string_view>

#include "story/story.h"

namespace quillshade::test {

// "a|b|" becomes "a\r\nb\r\n": story lines are easier to read that way.
inline std::u16string Lines(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c == u'|') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

inline Story StoryAt(std::u16string_view text, std::int32_t readPos = 1) {
  Story story;
  story.StoryText = Lines(text);
  story.ReadPos = readPos;
  return story;
}

}  // namespace quillshade::test
