// Text sources of stories: UTF-8 or code page 932 text in, character codes out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "story/encode.h"
#include "story/utf16.h"

namespace quillshade::qsd {

enum class SourceEncoding { Utf8, Cp932 };

// Why a text source could not be read, and where.
struct SourceProblem {
  TextPlace place;
  std::string message;
};

// What a UTF-8 problem suggests to a command that reads code page 932 with --from.
inline constexpr std::string_view kTryCp932 = " (try --from cp932)";

// The text of a source as the story will hold it: the byte-order mark dropped and
// every line break (LF, CR LF or a lone CR) made CR LF.
using SourceResult = std::variant<std::u16string, SourceProblem>;
SourceResult ReadTextSource(std::string_view bytes, SourceEncoding encoding);

// "U+00E9 'é'" for messages; control characters are not quoted raw.
std::string DescribeCharacter(char32_t character);

// Whether a file is a text source by its name, which ends in ".txt" (in any case);
// every other file is a story file.
bool IsTextSourceName(std::string_view path);

// Whether bytes look like a story file rather than a text source: most of their words
// (at least four in five, judged on the first kStoryFileJudgedBytes) are plain decimal
// numbers.
inline constexpr std::size_t kStoryFileJudgedBytes = std::size_t{1} << 16;
bool LooksLikeStoryFile(std::string_view bytes);

}  // namespace quillshade::qsd
