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

// How printed text shows its control characters (below U+0020, and U+007F), which would
// otherwise move a terminal's cursor or break a message's line.
enum class ControlCharacters {
  Replaced,  // each as U+FFFD
  Escaped,   // \r, \n, \t, and \xNN for the others
  Marked,    // \r, \n, \t, and '?' for the others
};

// Story text as UTF-8 for a terminal or a message. Text longer than maxUnits code units
// is cut there, and "..." marks the cut.
std::string PrintableText(std::u16string_view text, ControlCharacters how,
                          std::size_t maxUnits = std::u16string_view::npos);

}  // namespace quillshade
