// Line index of a story text and small helpers for messages about it.
#include "tools/qsd/story_lines.h"

#include <algorithm>
#include <cstdio>

#include "story/text.h"
#include "story/utf8.h"
#include "tools/qsd/text_source.h"

namespace quillshade::qsd {

StoryLines::StoryLines(std::u16string_view text) : text_(text) {
  std::size_t start = 0;
  std::size_t lineBreak = 0;
  while ((lineBreak = FindLineBreak(text, start)) != std::u16string_view::npos) {
    starts_.push_back(start);
    start = lineBreak + 2;
  }
  if (start < text.size()) {
    starts_.push_back(start);
    unbrokenTail_ = true;
  }
}

std::u16string_view StoryLines::Text(std::size_t line) const {
  const std::size_t start = Start(line);
  if (line == Count() && unbrokenTail_) return text_.substr(start);
  return text_.substr(start, FindLineBreak(text_, start) - start);
}

std::size_t StoryLines::LineOf(std::size_t index) const {
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), index);
  return static_cast<std::size_t>(after - starts_.begin());
}

std::size_t DisplayWidth(std::u16string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    const auto code = CodeOfCharacter(c);
    width += code && *code < 256 ? 1 : 2;
  }
  return width;
}

std::string Quote(std::u16string_view text, std::size_t maxCharacters) {
  std::u16string shown;
  std::size_t count = 0;
  for (const char16_t c : text) {
    if (count++ == maxCharacters) {
      shown += u"...";
      break;
    }
    if (c == u'\r') shown += u"\\r";
    else if (c == u'\n') shown += u"\\n";
    else if (c == u'\t') shown += u"\\t";
    else if (c < 0x20 || c == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(c));
      for (const char* p = buffer; *p; ++p) shown.push_back(static_cast<char16_t>(*p));
    } else {
      shown.push_back(c);
    }
  }
  return "'" + ToUtf8(shown) + "'";
}

}  // namespace quillshade::qsd
