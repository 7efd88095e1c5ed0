// UTF-16 story text to and from UTF-8, for the edges: terminal, JSON, the toolkit's files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillshade {

// One character at the start of some UTF-8 bytes, and how many bytes it takes.
struct Utf8Character {
  char32_t codePoint = 0;
  std::size_t length = 0;
};

// Nothing when the bytes begin no well-formed character (or are empty).
std::optional<Utf8Character> DecodeUtf8Character(std::string_view bytes);

// An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// Nothing when the bytes are not well-formed UTF-8.
std::optional<std::u16string> FromUtf8(std::string_view bytes);

}  // namespace quillshade
