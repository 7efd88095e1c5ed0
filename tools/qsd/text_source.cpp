// Reading text sources and writing character codes through code page 932.
#include "tools/qsd/text_source.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <memory>

#include "story/code_page.h"
#include "story/utf8.h"

namespace quillshade::qsd {
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

// Line and column of every character while a text is walked.
struct PlaceCounter {
  TextPlace place;
  bool afterCr = false;
  // Counts one character; a CR LF pair is one line break.
  void Count(char32_t c) {
    if (c == U'\n' && afterCr) {
      afterCr = false;
      return;
    }
    afterCr = c == U'\r';
    if (c == U'\r' || c == U'\n') {
      ++place.line;
      place.column = 1;
    } else {
      ++place.column;
    }
  }
};

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
      return Problem(counter.place, "byte " + ByteText(lead) + " begins no UTF-8 character" + std::string(kTryCp932));
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
      return Problem(counter.place, "byte " + ByteText(byte) + " begins no code page 932 character");
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
    if (c == 0) return Problem(counter.place, "a NUL byte: this is a binary file, not a text");
    counter.Count(c);
    if (c == U'\r' || c == U'\n') {
      text += u"\r\n";
      if (c == U'\r' && i + 1 < characters.size() && characters[i + 1] == U'\n') ++i;
    } else if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(c));
    }
  }
  return text;
}

std::optional<std::uint16_t> CodeOfCharacter(char16_t character) {
  const std::uint16_t code = Codes()[character];
  if (code == kNoCode) return std::nullopt;
  return code;
}

EncodedStory EncodeStory(std::u16string_view text) {
  EncodedStory result;
  result.codes.reserve(text.size() * 6);
  PlaceCounter counter;
  char buffer[8];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    std::optional<std::uint16_t> code;
    if (!pair) code = CodeOfCharacter(static_cast<char16_t>(c));
    if (!code) {
      result.unencodable.push_back(Unencodable{counter.place, c});
      code = static_cast<std::uint16_t>('?');
    }
    counter.Count(c);
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

std::string DescribeCharacter(char32_t character) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(character));
  std::string out = buffer;
  const bool control = character < 0x20 || (character >= 0x7F && character < 0xA0);
  const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
  if (!control && !surrogate) {
    std::u16string unit;
    if (character >= 0x10000) {
      unit.push_back(static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10)));
      unit.push_back(static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF)));
    } else {
      unit.push_back(static_cast<char16_t>(character));
    }
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
