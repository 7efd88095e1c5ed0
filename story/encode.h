// The encoder: characters to the codes of a story file, in code page 932.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "story/utf16.h"

namespace quillshade {

// The code of a character in code page 932, as a story file writes it (a double-byte
// character as lead byte * 256 + trail byte), or nothing when the page cannot hold it.
// Where the page has several codes for one character, the one Windows writes is chosen.
std::optional<std::uint16_t> CodeOfCharacter(char16_t character);

// A character that code page 932 cannot hold, and where it stands in the text.
struct Unencodable {
  TextPlace place;
  char32_t character = 0;
};

struct EncodedStory {
  std::string codes;                     // "c1 c2 ... cn " on one line; "" for an empty text
  std::vector<Unencodable> unencodable;  // written as "?" in `codes`
  bool lastLineUnbroken = false;         // text after the last CR LF: never shown
};

// Turns story text (CR LF line breaks) into the codes of a story file. A surrogate pair
// counts as one character (which the page never holds).
EncodedStory EncodeStory(std::u16string_view text);

// Makes story text, in place, what the reader holds once it loads the story file that
// EncodeStory makes of it: a character the page holds decodes to itself, every other
// one (a surrogate pair counting as one) becomes "?". No codes are made in between.
// Answers the characters replaced, and where they stood.
std::vector<Unencodable> MakeReaderText(std::u16string& text);

}  // namespace quillshade
