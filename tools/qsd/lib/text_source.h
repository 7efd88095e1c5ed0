// Text sources of stories: UTF-8 or code page 932 text in, story text out; and which files are text sources.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "story/utf16.h"
#include "tools/qsd/lib/result.h"

namespace quillshade::qsd {

enum class SourceEncoding { Utf8, Cp932 };

// What a UTF-8 problem suggests to a command that reads code page 932 with --from.
inline constexpr std::string_view kTryCp932 = " (try --from cp932)";

// The text of a source as the story will hold it: the byte-order mark dropped and
// every line break (LF, CR LF or a lone CR) made CR LF; or why it is no text, and where
// (the column counting characters).
Result<std::u16string> ReadTextSource(std::string_view bytes, SourceEncoding encoding);

// The same, with what was read when the source is refused: `text` up to the end of the
// line that holds the problem, `problemAt` the index in it where the problem stands.
struct DecodedSource {
  std::u16string text;
  std::optional<Failure> problem;
  std::size_t problemAt = 0;
};
DecodedSource DecodeTextSource(std::string_view bytes, SourceEncoding encoding);

// "U+00E9 'é'" for messages; control characters are not quoted raw.
std::string DescribeCharacter(char32_t character);

// Whether bytes look like a story file rather than a text source: most of their words
// (at least four in five, judged on the first kStoryFileJudgedBytes) are plain decimal
// numbers.
inline constexpr std::size_t kStoryFileJudgedBytes = std::size_t{1} << 16;
bool LooksLikeStoryFile(std::string_view bytes);

// Story files and text sources, told apart the same way by every command and the editor
// service: a name that ends in ".txt" (in any case), and stdin ("-"), is a text source
// unless its bytes hold character codes (LooksLikeStoryFile on `head`, its first bytes),
// when it is the story file it is; any other name is a story file, whatever it holds.
enum class StoryKind { StoryFile, TextSource };
StoryKind KindOfStory(std::string_view name, std::string_view head);

// Whether a name is one a story may have: it ends in ".txt" or ".qsd", in any case.
bool IsStoryName(std::string_view name);

}  // namespace quillshade::qsd
