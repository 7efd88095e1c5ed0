// Decoding story files and placing their bad tokens by line and column.
#include "tools/qsd/lib/story_loader.h"

#include <algorithm>
#include <fstream>
#include <istream>

#include "story/code_page.h"
#include "story/utf16.h"
#include "story/utf8.h"
#include "tools/qsd/lib/files.h"
#include "tools/qsd/lib/platform.h"

namespace quillshade::qsd {

const char* FaultText(TokenFault fault) {
  switch (fault) {
    case TokenFault::NotANumber: return "is not a number";
    case TokenFault::OutOfRange: return "is out of the range of codes";
    case TokenFault::NoCharacter: return "is no character of code page 932";
  }
  return "is invalid";
}
namespace {

constexpr std::size_t kExcerptBytes = 24;

// The first bytes of a token for a message: anything but printable ASCII is marked.
std::string Printable(std::string_view bytes) {
  std::u16string units;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    units.push_back(byte >= 0x7F ? u'?' : static_cast<char16_t>(byte));
  }
  return PrintableText(units, ControlCharacters::Marked);
}

// Counts every bad token and keeps the first `maxPlaced`, with where its character
// would be in the text; TokenPlacer places them in the file afterwards.
void CountBadToken(LoadedStory& story, const BadToken& bad, std::size_t textLength, std::size_t maxPlaced) {
  ++story.badTokenCount;
  if (story.badTokens.size() < maxPlaced) story.badTokens.push_back(PlacedToken{bad, 1, 1, textLength, {}});
}

// Gives tokens known by their offsets their file line, column and excerpt, fed the
// file's bytes in order in pieces of any size; it needs nothing past the last token.
class TokenPlacer {
 public:
  explicit TokenPlacer(std::vector<PlacedToken>& tokens) : tokens_(tokens) {}

  bool Done() const { return next_ == tokens_.size() && excerptEnd_ <= offset_; }

  void Feed(std::string_view bytes) {
    const std::uint64_t start = offset_;
    const std::uint64_t end = start + bytes.size();
    const auto slice = [&](std::uint64_t from, std::uint64_t to) {
      return bytes.substr(static_cast<std::size_t>(from - start), static_cast<std::size_t>(to - from));
    };
    // The excerpt of a token that began in an earlier piece.
    if (excerptEnd_ > start) tokens_[next_ - 1].excerpt += Printable(slice(start, std::min(excerptEnd_, end)));
    std::uint64_t placed = start;  // `place` is where this offset is
    while (next_ < tokens_.size() && tokens_[next_].token.offset < end) {
      PlacedToken& token = tokens_[next_++];
      Advance(slice(placed, token.token.offset));
      placed = token.token.offset;
      token.fileLine = place_.Place().line;
      token.fileColumn = place_.Place().column;
      excerptEnd_ = token.token.offset + std::min<std::uint64_t>(token.token.length, kExcerptBytes);
      token.excerpt = Printable(slice(token.token.offset, std::min(excerptEnd_, end)));
    }
    if (next_ < tokens_.size()) Advance(slice(placed, end));
    offset_ = end;
  }

 private:
  void Advance(std::string_view bytes) {
    for (const char c : bytes) place_.Count(static_cast<unsigned char>(c));
  }

  std::vector<PlacedToken>& tokens_;
  std::size_t next_ = 0;
  std::uint64_t offset_ = 0;       // bytes fed so far
  std::uint64_t excerptEnd_ = 0;   // where the excerpt of the last token placed ends
  PlaceCounter place_;  // where the bytes fed so far end: lines end at CR LF, a lone CR or LF
};

// Pieces of a file read to place its bad tokens.
constexpr std::size_t kPlacingPiece = std::size_t{1} << 16;

// The first bytes of a file, as many as LooksLikeStoryFile judges by.
std::string ReadHead(std::istream& in) {
  std::string head(kStoryFileJudgedBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

}  // namespace

LoadedStory DecodeStoryBytes(std::string_view bytes, std::size_t maxPlaced) {
  LoadedStory story;
  story.status = StoryFileStatus::Loaded;
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text);
  decoder.onBadToken = [&](const BadToken& bad) { CountBadToken(story, bad, text.size(), maxPlaced); };
  decoder.Feed(bytes);
  decoder.Finish();
  if (decoder.TooLong()) return LoadedStory{StoryFileStatus::TooLong, {}, {}, 0, false};
  TokenPlacer placer(story.badTokens);
  placer.Feed(bytes);
  story.text = std::move(text);
  return story;
}

LoadedStory LoadStory(const std::string& path, std::size_t maxPlaced) {
  if (path == "-") {
    const Result<std::string> input = ReadInput(path);
    if (!input.ok()) return LoadedStory{StoryFileStatus::ReadError, {}, {}, 0, false};
    LoadedStory story = DecodeStoryBytes(input.value(), maxPlaced);
    story.holdsText = story.badTokenCount > 0 && !LooksLikeStoryFile(input.value());
    return story;
  }
  // The reader's own read step gives the text and the bad tokens; only when there are
  // some is the file read a second time, in pieces, up to the last one to be named.
  LoadedStory story;
  StoryFileOptions options;
  options.onBadToken = [&](const BadToken& bad, std::size_t textLength) {
    CountBadToken(story, bad, textLength, maxPlaced);
  };
  StoryFile file = ReadStoryFile(PathFromUtf8(path), Cp932CodePage(), options);
  story.status = file.status;
  story.text = std::move(file.text);
  if (file.status != StoryFileStatus::Loaded || story.badTokenCount == 0) {
    story.badTokens.clear();
    return story;
  }
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  const std::string head = ReadHead(in);
  story.holdsText = !LooksLikeStoryFile(head);
  TokenPlacer placer(story.badTokens);
  placer.Feed(head);
  std::string piece(kPlacingPiece, '\0');
  while (!placer.Done() && in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    placer.Feed(std::string_view(piece.data(), static_cast<std::size_t>(in.gcount())));
  }
  return story;
}

std::string DescribeLoadFailure(const std::string& path, StoryFileStatus status) {
  // The read step tells a folder from a device only as "not a regular file".
  if (status == StoryFileStatus::NotFound || status == StoryFileStatus::NotARegularFile ||
      status == StoryFileStatus::CannotOpen)
    if (const Result<void> readable = CheckReadable(path); !readable.ok()) return readable.error().message;
  return DescribeLoadFailure(status);
}

std::string DescribeLoadFailure(StoryFileStatus status) { return Describe(status); }

Result<void> CheckStoryLoads(const std::string& path) {
  if (Result<void> readable = CheckReadable(path); !readable.ok()) return readable;
  std::uint64_t badTokens = 0;
  StoryFileOptions options;
  options.onBadToken = [&badTokens](const BadToken&, std::size_t) { ++badTokens; };
  const StoryFile file = ReadStoryFile(PathFromUtf8(path), Cp932CodePage(), options);
  if (file.status != StoryFileStatus::Loaded) return Failure{DescribeLoadFailure(path, file.status)};
  if (!file.text.empty()) return {};
  if (badTokens == 0) return Failure{"is empty"};
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!LooksLikeStoryFile(ReadHead(in))) return Failure{"holds no character codes: " + std::string(kTextSourceHint)};
  return Failure{"holds no character codes"};
}

StoryKind KindOfStoryFile(const std::string& path) {
  // Only a text source by its name can turn out to be a story file: only then is the
  // file read.
  if (KindOfStory(path, {}) == StoryKind::StoryFile) return StoryKind::StoryFile;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  return KindOfStory(path, in ? ReadHead(in) : std::string());
}

Result<bool> IsStoryFile(const std::string& path) {
  if (path == "-") return false;
  if (Result<void> readable = CheckReadable(path); !readable.ok()) return readable.error();
  return KindOfStoryFile(path) == StoryKind::StoryFile;
}

Result<AnyStory> ReadStoryOrSource(const std::string& path, SourceEncoding encoding) {
  constexpr std::string_view kNoCharacter = "decodes to no character, so the reader refuses to load it";
  AnyStory story;
  // A story file is read as the reader reads it, never held whole.
  const Result<bool> storyFile = IsStoryFile(path);
  if (!storyFile.ok()) return storyFile.error();
  if (storyFile.value()) {
    LoadedStory loaded = LoadStory(path, 0);
    if (loaded.status != StoryFileStatus::Loaded) return Failure{DescribeLoadFailure(path, loaded.status)};
    if (loaded.text.empty()) return Failure{std::string(kNoCharacter)};
    story.text = std::move(loaded.text);
    return story;
  }
  const Result<std::string> input = ReadInput(path);
  if (!input.ok()) return input.error();
  const std::string& bytes = input.value();
  if (KindOfStory(path, bytes) == StoryKind::StoryFile) {
    LoadedStory loaded = DecodeStoryBytes(bytes, 0);
    if (loaded.status != StoryFileStatus::Loaded) return Failure{DescribeLoadFailure(loaded.status)};
    if (loaded.text.empty()) return Failure{std::string(kNoCharacter)};
    story.text = std::move(loaded.text);
    return story;
  }
  // The story exactly as the reader would hold it once the source is encoded.
  EncodedSource source = EncodeSource(bytes, encoding, /*lossy=*/true, SourceOutput::kReaderText);
  story.notes = std::move(source.notes);
  if (!source.Refused()) {
    story.text = std::move(source.text);
    story.replaced = std::move(source.story.unencodable);
  }
  return story;
}

}  // namespace quillshade::qsd
