// Story files as the reader loads them, with the place of every token that adds nothing,
// and a story of either kind read for its text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "story/decode.h"
#include "story/story_file.h"
#include "tools/qsd/lib/source_encoder.h"
#include "tools/qsd/lib/text_source.h"

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
  bool holdsText = false;           // its words are mostly no numbers: a text source, misnamed
};

// The hint for a story file that holds text rather than character codes.
inline constexpr std::string_view kTextSourceHint = "a text source? name it .txt to play it, or `qsd encode` it";

// How many problems of one file the commands name one by one before giving a count.
inline constexpr std::size_t kMaxNamedProblems = 100;

// Why a token adds nothing, as the commands say it: "65x is not a number".
const char* FaultText(TokenFault fault);

// Loads a story file through the reader's own read step and decoder. "-" reads stdin.
LoadedStory LoadStory(const std::string& path, std::size_t maxPlaced);

// KindOfStory for a file, judged by its first bytes; a file that cannot be read is
// judged by its name alone. Not for "-": stdin is read only once.
StoryKind KindOfStoryFile(const std::string& path);

// Whether `path` names a story file, which LoadStory reads piece by piece, rather than
// a text source; false for "-". A failure when the file cannot be read, saying why.
Result<bool> IsStoryFile(const std::string& path);

// The same for story file bytes already in memory.
LoadedStory DecodeStoryBytes(std::string_view bytes, std::size_t maxPlaced);

// Why a load with this status failed, in the words every command uses: the one place
// where a StoryFileStatus becomes words. With the path, a file that cannot be opened
// says why; without it, the status of bytes already in memory.
std::string DescribeLoadFailure(const std::string& path, StoryFileStatus status);
std::string DescribeLoadFailure(StoryFileStatus status);

// Fine when the reader loads the story file at `path`; otherwise why it refuses it:
// "no such file", "is a folder, not a file", "is empty", "holds no character codes"
// (with kTextSourceHint when it holds text), or why it could not be read.
Result<void> CheckStoryLoads(const std::string& path);

// A story from a story file or from a text source (told apart by content), for
// commands that only need its text: a text source is encoded as `qsd encode --lossy`
// would and decoded again, so the text is what the reader would hold. A failure when
// the file cannot be read or its codes give no story; a text source that does not
// encode gives no text and the notes that say why.
struct AnyStory {
  std::u16string text;            // empty when the notes refuse the source
  std::vector<SourceNote> notes;  // what encoding the text source had to say
  std::vector<Unencodable> replaced;  // characters of a text source that `text` holds as '?'
};

Result<AnyStory> ReadStoryOrSource(const std::string& path, SourceEncoding encoding);

}  // namespace quillshade::qsd
