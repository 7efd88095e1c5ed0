// Reading text sources (UTF-8 or code page 932) into story text, and telling them from story files.
#include "tools/qsd/lib/text_source.h"

#include <algorithm>
#include <cstdio>

#include "story/code_page.h"
#include "story/utf16.h"
#include "story/utf8.h"

namespace quillshade::qsd {
namespace {

Failure Problem(const TextPlace& place, std::string message) { return Failure{std::move(message), place}; }

std::string ByteText(unsigned char byte) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", byte);
  return buffer;
}

// Decodes UTF-8 strictly, handing each character to `emit`; names the first byte that is
// not well-formed.
template <typename Emit>
std::optional<Failure> DecodeUtf8(std::string_view bytes, const Emit& emit) {
  PlaceCounter counter;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::optional<Utf8Character> character = DecodeUtf8Character(bytes.substr(i));
    if (!character) {
      const auto lead = static_cast<unsigned char>(bytes[i]);
      return Problem(counter.Place(), "byte " + ByteText(lead) + " begins no UTF-8 character" + std::string(kTryCp932));
    }
    emit(character->codePoint);
    counter.Count(character->codePoint);
    i += character->length;
  }
  return std::nullopt;
}

template <typename Emit>
std::optional<Failure> DecodeCp932(std::string_view bytes, const Emit& emit) {
  const CodePage& page = Cp932CodePage();
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
    emit(c);
    counter.Count(c);
  }
  return std::nullopt;
}

}  // namespace

DecodedSource DecodeTextSource(std::string_view bytes, SourceEncoding encoding) {
  if (encoding == SourceEncoding::Utf8 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  // Each character straight into the text: no byte gives more than one unit but a lone
  // CR or LF, which becomes CR LF, so this is room enough.
  DecodedSource decoded;
  std::u16string& text = decoded.text;
  text.reserve(bytes.size() + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
               static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\r')));
  PlaceCounter counter;
  std::optional<Failure> binary;
  std::size_t binaryAt = 0;
  bool afterCr = false;
  const auto emit = [&](char32_t c) {
    // A NUL byte means a binary file, not a story someone wrote; a byte that is no
    // character, even a later one, is named before it.
    if (c == 0 && !binary) {
      binary = Problem(counter.Place(), "a NUL byte: this is a binary file, not a text");
      binaryAt = text.size();
    }
    const bool lfOfCrLf = afterCr && c == U'\n';  // already written with its CR
    afterCr = c == U'\r';
    if (lfOfCrLf) return;
    counter.Count(c);
    if (c == U'\r' || c == U'\n')
      text += u"\r\n";
    else
      AppendCharacter(text, c);
  };
  decoded.problem = encoding == SourceEncoding::Utf8 ? DecodeUtf8(bytes, emit) : DecodeCp932(bytes, emit);
  decoded.problemAt = text.size();
  if (!decoded.problem && binary) {
    decoded.problem = std::move(binary);
    decoded.problemAt = binaryAt;
  }
  if (decoded.problem) {
    // The problem's own line is all a caller needs of a text that is refused.
    const std::size_t lineEnd = text.find(u"\r\n", decoded.problemAt);
    if (lineEnd != std::u16string::npos) text.resize(lineEnd);
  }
  return decoded;
}

Result<std::u16string> ReadTextSource(std::string_view bytes, SourceEncoding encoding) {
  DecodedSource decoded = DecodeTextSource(bytes, encoding);
  if (decoded.problem) return std::move(*decoded.problem);
  return std::move(decoded.text);
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

namespace {

bool EndsWithLowerCase(std::string_view name, std::string_view extension) {
  if (name.size() < extension.size()) return false;
  const std::string_view end = name.substr(name.size() - extension.size());
  return std::equal(end.begin(), end.end(), extension.begin(),
                    [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

}  // namespace

StoryKind KindOfStory(std::string_view name, std::string_view head) {
  const bool textByName = name == "-" || EndsWithLowerCase(name, ".txt");
  return textByName && !LooksLikeStoryFile(head) ? StoryKind::TextSource : StoryKind::StoryFile;
}

bool IsStoryName(std::string_view name) { return EndsWithLowerCase(name, ".txt") || EndsWithLowerCase(name, ".qsd"); }

}  // namespace quillshade::qsd
