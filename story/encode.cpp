// Writing characters as the codes of a story file, in code page 932.
#include "story/encode.h"

#include <array>
#include <charconv>
#include <memory>

#include "story/code_page.h"

namespace quillshade {
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;  // lead byte 0xFF is no lead byte: never a code

// Windows writes a character that the page holds more than once from the first of:
// the single bytes, the JIS X 0208 rows, NEC row 13, the IBM extensions, and last the
// NEC-selected IBM extensions. Other rows hold no duplicates.
int Preference(int code) {
  if (code < 256) return 0;
  const int lead = code >> 8;
  if ((lead >= 0x81 && lead <= 0x84) || (lead >= 0x88 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEA)) return 1;
  if (lead == 0x87) return 2;
  if (lead >= 0xFA && lead <= 0xFC) return 3;
  if (lead == 0xED || lead == 0xEE) return 4;
  return 5;
}

using CodeTable = std::array<std::uint16_t, 65536>;

std::unique_ptr<CodeTable> BuildCodeTable() {
  const CodePage& page = Cp932CodePage();
  auto table = std::make_unique<CodeTable>();
  table->fill(kNoCode);
  for (int code = 0; code < 65536; ++code) {
    const char16_t c = page.characterOf[static_cast<std::size_t>(code)];
    if (c == CodePage::kNoCharacter) continue;
    std::uint16_t& slot = (*table)[c];
    if (slot == kNoCode || Preference(code) < Preference(slot)) slot = static_cast<std::uint16_t>(code);
  }
  return table;
}

const CodeTable& Codes() {
  static const std::unique_ptr<CodeTable> table = BuildCodeTable();
  return *table;
}

}  // namespace

std::optional<std::uint16_t> CodeOfCharacter(char16_t character) {
  const std::uint16_t code = Codes()[character];
  if (code == kNoCode) return std::nullopt;
  return code;
}

std::vector<Unencodable> MakeReaderText(std::u16string& text) {
  std::vector<Unencodable> unencodable;
  PlaceCounter counter;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Utf16Character character = CharacterAt(text, i);
    // The table gives each character the code of a place that decodes to it.
    const bool held = character.length == 1 && CodeOfCharacter(text[i]);
    if (!held) unencodable.push_back(Unencodable{counter.Place(), character.codePoint});
    text[kept++] = held ? text[i] : u'?';
    counter.Count(character.codePoint);
    i += character.length;
  }
  text.resize(kept);
  return unencodable;
}

EncodedStory EncodeStory(std::u16string_view text) {
  EncodedStory result;
  result.codes.reserve(text.size() * 6);
  PlaceCounter counter;
  char buffer[8];
  for (std::size_t i = 0; i < text.size();) {
    const Utf16Character character = CharacterAt(text, i);
    i += character.length;
    std::optional<std::uint16_t> code;
    if (character.length == 1) code = CodeOfCharacter(text[i - 1]);
    if (!code) {
      result.unencodable.push_back(Unencodable{counter.Place(), character.codePoint});
      code = static_cast<std::uint16_t>('?');
    }
    counter.Count(character.codePoint);
    // to_chars rather than a formatted print: an editor re-encodes the whole text on
    // every change, and the print took most of that time.
    char* end = std::to_chars(buffer, buffer + sizeof buffer, *code).ptr;
    *end++ = ' ';
    result.codes.append(buffer, static_cast<std::size_t>(end - buffer));
  }
  const std::size_t lastBreak = text.rfind(u"\r\n");
  const std::size_t lastLineStart = lastBreak == std::u16string_view::npos ? 0 : lastBreak + 2;
  result.lastLineUnbroken = lastLineStart < text.size();
  return result;
}

}  // namespace quillshade
