// Reading text sources and writing character codes through code page 932.
#include "tools/qsd/lib/text_source.h"

#include <algorithm>
#include <cstdio>

#include "story/code_page.h"
#include "story/utf16.h"
#include "story/utf8.h"

namespace quillshade::qsd {
namespace {

SourceProblem Problem(const TextPlace& place, std::string message) { return SourceProblem{place, std::move(message)}; }

std::string ByteText(unsigned char byte) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", byte);
  return buffer;
}

// Decodes UTF-8 strictly, naming the first byte that is not well-formed.
std::variant<std::u32string, SourceProblem> DecodeUtf8(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  PlaceCounter counter;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::optional<Utf8Character> character = DecodeUtf8Character(bytes.substr(i));
    if (!character) {
      const auto lead = static_cast<unsigned char>(bytes[i]);
      return Problem(counter.Place(), "byte " + ByteText(lead) + " begins no UTF-8 character" + std::string(kTryCp932));
    }
    out.push_back(character->codePoint);
    counter.Count(character->codePoint);
    i += character->length;
  }
  return out;
}

std::variant<std::u32string, SourceProblem> DecodeCp932(std::string_view bytes) {
  const CodePage& page = Cp932CodePage();
  std::u32string out;
  out.reserve(bytes.size());
  PlaceCounter counter;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    char16_t c = page.characterOf[byte];
    if (c == CodePage::kNoCharacter && i + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[i + 1]);
      c = page.characterOf[static_cast<std::size_t>(byte) * 256 + trail];
      if (c != CodePage::kNoCharacter) ++i;
    }
    if (c == CodePage::kNoCharacter)
      return Problem(counter.Place(), "byte " + ByteText(byte) + " begins no code page 932 character");
    out.push_back(c);
    counter.Count(c);
  }
  return out;
}

}  // namespace

SourceResult ReadTextSource(std::string_view bytes, SourceEncoding encoding) {
  if (encoding == SourceEncoding::Utf8 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  auto decoded = encoding == SourceEncoding::Utf8 ? DecodeUtf8(bytes) : DecodeCp932(bytes);
  if (auto* problem = std::get_if<SourceProblem>(&decoded)) return std::move(*problem);
  const std::u32string& characters = std::get<std::u32string>(decoded);

  std::u16string text;
  text.reserve(characters.size() + characters.size() / 16);
  PlaceCounter counter;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    const char32_t c = characters[i];
    // A NUL byte means a binary file, not a story someone wrote.
    if (c == 0) return Problem(counter.Place(), "a NUL byte: this is a binary file, not a text");
    counter.Count(c);
    if (c == U'\r' || c == U'\n') {
      text += u"\r\n";
      if (c == U'\r' && i + 1 < characters.size() && characters[i + 1] == U'\n') ++i;
    } else {
      AppendCharacter(text, c);
    }
  }
  return text;
}

std::string DescribeCharacter(char32_t character) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(character));
  std::string out = buffer;
  const bool control = character < 0x20 || (character >= 0x7F && character < 0xA0);
  if (!control && !IsSurrogate(character)) {
    std::u16string unit;
    AppendCharacter(unit, character);
    out += " '" + ToUtf8(unit) + "'";
  }
  return out;
}

bool IsTextSourceName(std::string_view path) {
  constexpr std::string_view kExtension = ".txt";
  if (path.size() < kExtension.size()) return false;
  const std::string_view end = path.substr(path.size() - kExtension.size());
  return std::equal(end.begin(), end.end(), kExtension.begin(),
                    [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

bool LooksLikeStoryFile(std::string_view bytes) {
  // A few bad tokens do not make a story file a text, so judge by most of its words:
  // a text source has hardly any word that is a plain number.
  bytes = bytes.substr(0, kStoryFileJudgedBytes);
  std::size_t words = 0;
  std::size_t numbers = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t start = bytes.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    std::size_t end = bytes.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view word = bytes.substr(start, end - start);
    const std::size_t digits = word.front() == '-' || word.front() == '+' ? 1 : 0;
    ++words;
    if (word.size() > digits && word.find_first_not_of("0123456789", digits) == std::string_view::npos) ++numbers;
    at = end;
  }
  return numbers > 0 && numbers * 5 >= words * 4;
}

}  // namespace quillshade::qsd
