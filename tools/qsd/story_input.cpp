// Decoding story files and placing their bad tokens by line and column.
#include "tools/qsd/story_input.h"

#include "story/code_page.h"
#include "tools/qsd/files.h"

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

std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\r') out += "\\r";
    else if (byte == '\n') out += "\\n";
    else if (byte == '\t') out += "\\t";
    else if (byte < 0x20 || byte >= 0x7F) out += "?";
    else out.push_back(c);
  }
  return out;
}

// Where a token begins in the file: lines end at CR LF, a lone CR or a lone LF.
struct FilePlace {
  std::int64_t line = 1;
  std::int64_t column = 1;
  bool afterCr = false;

  void Advance(std::string_view bytes) {
    for (const char c : bytes) {
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
  }
};

}  // namespace

LoadedStory DecodeStoryBytes(std::string_view bytes, std::size_t maxPlaced) {
  LoadedStory story;
  story.status = StoryFileStatus::Loaded;
  std::u16string text;
  CodeDecoder decoder(Cp932CodePage(), text);
  FilePlace place;
  std::string_view token;
  decoder.onBadToken = [&](const BadToken& bad) {
    ++story.badTokenCount;
    if (story.badTokens.size() >= maxPlaced) return;
    story.badTokens.push_back(
        PlacedToken{bad, place.line, place.column, text.size(), Printable(token.substr(0, kExcerptBytes))});
  };
  // The decoder is fed one token and its space at a time, so a bad token is reported
  // while this loop still knows where it began.
  std::size_t from = 0;
  while (from < bytes.size()) {
    const std::size_t space = bytes.find(' ', from);
    const std::size_t end = space == std::string_view::npos ? bytes.size() : space + 1;
    token = bytes.substr(from, (space == std::string_view::npos ? bytes.size() : space) - from);
    decoder.Feed(bytes.substr(from, end - from));
    if (decoder.TooLong()) return LoadedStory{StoryFileStatus::TooLong, {}, {}, 0};
    if (space != std::string_view::npos) place.Advance(bytes.substr(from, end - from));
    from = end;
  }
  decoder.Finish();
  if (decoder.TooLong()) return LoadedStory{StoryFileStatus::TooLong, {}, {}, 0};
  story.text = std::move(text);
  return story;
}

LoadedStory LoadStory(const std::string& path, std::size_t maxPlaced) {
  if (path == "-") {
    InputFile input = ReadInput(path);
    if (input.error) return LoadedStory{StoryFileStatus::ReadError, {}, {}, 0};
    return DecodeStoryBytes(input.bytes, maxPlaced);
  }
  // The reader's own read step gives the text; only when it met bad tokens is the file
  // read a second time to place them.
  std::uint64_t badTokens = 0;
  StoryFileOptions options;
  options.onBadToken = [&badTokens](const BadToken&) { ++badTokens; };
  StoryFile file = ReadStoryFile(path, Cp932CodePage(), options);
  LoadedStory story{file.status, std::move(file.text), {}, badTokens};
  if (file.status != StoryFileStatus::Loaded || badTokens == 0) return story;

  InputFile input = ReadInput(path);
  if (input.error) return story;  // placed nowhere, but counted
  LoadedStory placed = DecodeStoryBytes(input.bytes, maxPlaced);
  story.badTokens = std::move(placed.badTokens);
  return story;
}

AnyStory ReadStoryOrSource(const std::string& path, SourceEncoding encoding) {
  AnyStory story;
  const InputFile input = ReadInput(path);
  if (input.error) {
    story.error = input.error;
    return story;
  }
  if (LooksLikeStoryFile(input.bytes)) {
    LoadedStory loaded = DecodeStoryBytes(input.bytes, 0);
    if (loaded.status != StoryFileStatus::Loaded) story.error = Describe(loaded.status);
    story.text = std::move(loaded.text);
  } else {
    const SourceResult source = ReadTextSource(input.bytes, encoding);
    if (const auto* problem = std::get_if<SourceProblem>(&source)) {
      story.error = "line " + std::to_string(problem->place.line) + ", column " +
                    std::to_string(problem->place.column) + ": " + problem->message;
      return story;
    }
    story.text = DecodeCharCodes(EncodeStory(std::get<std::u16string>(source)).codes, Cp932CodePage());
  }
  if (!story.error && story.text.empty()) story.error = "the story is empty";
  return story;
}

}  // namespace quillshade::qsd
