// JSON string escaping over UTF-16.
#include "tools/qsd/json.h"

#include <cstdio>

#include "story/utf8.h"

namespace quillshade::qsd {
namespace {

void AppendEscape(std::string& out, char16_t unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit));
  out += buffer;
}

}  // namespace

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  std::size_t plainFrom = 0;
  const auto flush = [&](std::size_t upTo) { out += ToUtf8(text.substr(plainFrom, upTo - plainFrom)); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;  // a proper pair stays in the plain run
      continue;
    }
    const char* escape = nullptr;
    switch (c) {
      case u'"': escape = "\\\""; break;
      case u'\\': escape = "\\\\"; break;
      case u'\n': escape = "\\n"; break;
      case u'\r': escape = "\\r"; break;
      case u'\t': escape = "\\t"; break;
      case u'\b': escape = "\\b"; break;
      case u'\f': escape = "\\f"; break;
      default: break;
    }
    if (!escape && c >= 0x20 && !high && !low) continue;
    flush(i);
    if (escape) {
      out += escape;
    } else {
      AppendEscape(out, c);
    }
    plainFrom = i + 1;
  }
  flush(text.size());
  out += '"';
  return out;
}

}  // namespace quillshade::qsd
