// Story files as the reader loads them, with the place of every token that adds nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "story/decode.h"
#include "story/story_file.h"
#include "tools/qsd/text_source.h"

namespace quillshade::qsd {

// A token that added nothing, placed both in the file and in the decoded story.
struct PlacedToken {
  BadToken token;
  std::int64_t fileLine = 1;    // lines of the file end at CR LF, a lone CR or a lone LF
  std::int64_t fileColumn = 1;  // 1-based byte in that line
  std::size_t storyIndex = 0;   // 0-based index in the decoded text where its character would be
  std::string excerpt;          // the token's first bytes, printable
};

struct LoadedStory {
  StoryFileStatus status = StoryFileStatus::NotFound;
  std::u16string text;              // exactly what the reader holds after loading the file
  std::vector<PlacedToken> badTokens;  // the first `maxPlaced` of them
  std::uint64_t badTokenCount = 0;  // all of them
};

// How many problems of one file the commands name one by one before giving a count.
inline constexpr std::size_t kMaxNamedProblems = 100;

// Why a token adds nothing, as the commands say it: "65x is not a number".
const char* FaultText(TokenFault fault);

// Loads a story file through the reader's own read step and decoder. "-" reads stdin.
LoadedStory LoadStory(const std::string& path, std::size_t maxPlaced);

// The same for story file bytes already in memory.
LoadedStory DecodeStoryBytes(std::string_view bytes, std::size_t maxPlaced);

// A story from a story file or from a text source (told apart by content), for
// commands that only need its text: a text source is encoded as `qsd encode --lossy`
// would and decoded again, so the text is what the reader would hold.
struct AnyStory {
  std::u16string text;
  std::optional<std::string> error;
};

AnyStory ReadStoryOrSource(const std::string& path, SourceEncoding encoding);

}  // namespace quillshade::qsd
