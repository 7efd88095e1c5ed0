// Plain UTF-8 coding, strict on input: no overlongs, no surrogates, nothing past U+10FFFF.
#include "story/utf8.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "story/utf16.h"

namespace quillshade {
namespace {

// The UTF-8 bytes of every character outside the surrogates (the first in the lowest
// byte) and their count in the top byte; 0 for a surrogate.
using Utf8Table = std::array<std::uint32_t, 0x10000>;

const Utf8Table& Utf8OfUnit() {
  static const auto table = [] {
    auto made = std::make_unique<Utf8Table>();
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      if (c < 0x80) (*made)[c] = c | (1U << 24);
      else if (c < 0x800) (*made)[c] = (0xC0 | (c >> 6)) | ((0x80 | (c & 0x3F)) << 8) | (2U << 24);
      else if (c < 0xD800 || c > 0xDFFF)
        (*made)[c] = (0xE0 | (c >> 12)) | ((0x80 | ((c >> 6) & 0x3F)) << 8) | ((0x80 | (c & 0x3F)) << 16) | (3U << 24);
    }
    return made;
  }();
  return *table;
}

}  // namespace

// Two passes: a bound on the length first, then the bytes written in place, so a story of
// hundreds of megabytes is converted without growing the string or testing its room
// byte by byte. Each character outside the surrogates is one look-up and one 4-byte
// store, without a branch: story text mixes ASCII, half-width and double-byte
// characters without a pattern.
std::string ToUtf8(std::u16string_view text) {
  std::size_t length = 0;
  for (const char16_t c : text) length += 1 + (c >= 0x80) + (c >= 0x800);  // a pair: 3 + 3 > 4
  constexpr std::size_t kSlack = 3;  // the store of the last character may write three bytes more
  std::string out(length + kSlack, '\0');
  const Utf8Table& utf8Of = Utf8OfUnit();
  char* at = out.data();
  const auto put = [&at](unsigned value) { *at++ = static_cast<char>(value); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint32_t bytes = utf8Of[text[i]];
    if (bytes != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &bytes, sizeof bytes);
      } else {
        for (int b = 0; b < 4; ++b) at[b] = static_cast<char>(bytes >> (8 * b));
      }
      at += bytes >> 24;
      continue;
    }
    const Utf16Character character = CharacterAt(text, i);
    if (character.length == 2) {
      const char32_t c = character.codePoint;
      ++i;
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {  // an unpaired surrogate
      put(0xEF);
      put(0xBF);
      put(0xBD);
    }
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
  return out;
}

std::optional<Utf8Character> DecodeUtf8Character(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return Utf8Character{lead, 1};
  std::size_t extra = 0;
  char32_t c = 0;
  char32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (extra >= bytes.size()) return std::nullopt;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(bytes[k]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  // No overlong forms, no surrogates, nothing past U+10FFFF.
  if (c < least || c > 0x10FFFF || IsSurrogate(c)) return std::nullopt;
  return Utf8Character{c, extra + 1};
}

std::optional<std::u16string> FromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::optional<Utf8Character> character = DecodeUtf8Character(bytes.substr(i));
    if (!character) return std::nullopt;
    AppendCharacter(out, character->codePoint);
    i += character->length;
  }
  return out;
}

std::string PrintableText(std::u16string_view text, ControlCharacters how, std::size_t maxUnits) {
  std::u16string shown;
  std::size_t count = 0;
  for (const char16_t c : text) {
    if (count++ == maxUnits) {
      shown += u"...";
      break;
    }
    const bool control = c < 0x20 || c == 0x7F;
    if (!control) {
      shown.push_back(c);
    } else if (how == ControlCharacters::Replaced) {
      shown.push_back(u'\uFFFD');
    } else if (c == u'\r') {
      shown += u"\\r";
    } else if (c == u'\n') {
      shown += u"\\n";
    } else if (c == u'\t') {
      shown += u"\\t";
    } else if (how == ControlCharacters::Marked) {
      shown.push_back(u'?');
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(c));
      for (const char* p = buffer; *p; ++p) shown.push_back(static_cast<char16_t>(*p));
    }
  }
  return ToUtf8(shown);
}

}  // namespace quillshade
