// Decoding story files and placing their bad tokens by line and column.
#include "tools/qsd/story_input.h"

#include <fstream>

#include "story/code_page.h"
#include "tools/qsd/files.h"
#include "tools/qsd/platform.h"

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
    if (decoder.TooLong()) return LoadedStory{StoryFileStatus::TooLong, {}, {}, 0, false};
    if (space != std::string_view::npos) place.Advance(bytes.substr(from, end - from));
    from = end;
  }
  decoder.Finish();
  if (decoder.TooLong()) return LoadedStory{StoryFileStatus::TooLong, {}, {}, 0, false};
  story.text = std::move(text);
  return story;
}

LoadedStory LoadStory(const std::string& path, std::size_t maxPlaced) {
  if (path == "-") {
    InputFile input = ReadInput(path);
    if (input.error) return LoadedStory{StoryFileStatus::ReadError, {}, {}, 0, false};
    LoadedStory story = DecodeStoryBytes(input.bytes, maxPlaced);
    story.holdsText = story.badTokenCount > 0 && !LooksLikeStoryFile(input.bytes);
    return story;
  }
  // The reader's own read step gives the text; only when it met bad tokens is the file
  // read a second time to place them.
  std::uint64_t badTokens = 0;
  StoryFileOptions options;
  options.onBadToken = [&badTokens](const BadToken&) { ++badTokens; };
  StoryFile file = ReadStoryFile(PathFromUtf8(path), Cp932CodePage(), options);
  LoadedStory story{file.status, std::move(file.text), {}, badTokens, false};
  if (file.status != StoryFileStatus::Loaded || badTokens == 0) return story;

  InputFile input = ReadInput(path);
  if (input.error) return story;  // placed nowhere, but counted
  LoadedStory placed = DecodeStoryBytes(input.bytes, maxPlaced);
  story.badTokens = std::move(placed.badTokens);
  story.holdsText = !LooksLikeStoryFile(input.bytes);
  return story;
}

std::string DescribeLoadFailure(const std::string& path, StoryFileStatus status) {
  // The read step tells a folder from a device only as "not a regular file".
  if (status == StoryFileStatus::NotFound || status == StoryFileStatus::NotARegularFile ||
      status == StoryFileStatus::CannotOpen)
    if (auto problem = FileProblem(path)) return *problem;
  return Describe(status);
}

std::string WhyNotLoaded(const std::string& path) {
  if (auto problem = FileProblem(path)) return *problem;
  std::uint64_t badTokens = 0;
  StoryFileOptions options;
  options.onBadToken = [&badTokens](const BadToken&) { ++badTokens; };
  const StoryFile file = ReadStoryFile(PathFromUtf8(path), Cp932CodePage(), options);
  if (file.status != StoryFileStatus::Loaded) return DescribeLoadFailure(path, file.status);
  if (badTokens == 0) return "is empty";
  // Only the head of the file, as much as LooksLikeStoryFile judges by.
  std::string head(kStoryFileJudgedBytes, '\0');
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (!LooksLikeStoryFile(head)) return "holds no character codes: " + std::string(kTextSourceHint);
  return "holds no character codes";
}

std::string FormatSourceNote(const std::string& name, const SourceNote& note) {
  std::string place = name;
  if (note.place) place += ":" + std::to_string(note.place->line) + ":" + std::to_string(note.place->column);
  return place + (note.error ? ": error: " : ": warning: ") + note.message;
}

EncodedSource EncodeSource(std::string_view bytes, SourceEncoding encoding, bool lossy) {
  EncodedSource source;
  const auto refuse = [&source](std::optional<TextPlace> place, std::string message) {
    source.notes.push_back(SourceNote{place, true, std::move(message)});
    source.refused = true;
    return std::move(source);
  };
  if (LooksLikeStoryFile(bytes))
    return refuse(std::nullopt, "this is already a story file: it holds only character codes "
                                "(`qsd decode` turns it back into text)");
  SourceResult text = ReadTextSource(bytes, encoding);
  if (auto* problem = std::get_if<SourceProblem>(&text)) return refuse(problem->place, std::move(problem->message));
  source.text = std::move(std::get<std::u16string>(text));
  if (source.text.empty()) return refuse(std::nullopt, "the text is empty, and the reader cannot load an empty story");

  source.story = EncodeStory(source.text);
  const std::vector<Unencodable>& unencodable = source.story.unencodable;
  for (std::size_t i = 0; i < unencodable.size() && i < kMaxNamedProblems; ++i)
    source.notes.push_back(SourceNote{unencodable[i].place, !lossy,
                                      DescribeCharacter(unencodable[i].character) +
                                          " cannot be written in code page 932" + (lossy ? "; wrote '?'" : "")});
  if (unencodable.size() > kMaxNamedProblems)
    source.notes.push_back(SourceNote{std::nullopt, !lossy,
                                      std::to_string(unencodable.size() - kMaxNamedProblems) +
                                          " more characters that code page 932 cannot hold"});
  if (!unencodable.empty() && !lossy) {
    source.refused = true;
    return source;
  }
  if (source.story.lastLineUnbroken) {
    std::int64_t lastLine = 1;
    for (std::size_t at = source.text.find(u"\r\n"); at != std::u16string::npos; at = source.text.find(u"\r\n", at + 2))
      ++lastLine;
    source.notes.push_back(SourceNote{TextPlace{lastLine, 1}, false,
                                      "the last line has no line break, so the reader never shows it"});
  }
  return source;
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
    else if (loaded.text.empty()) story.error = "decodes to no character, so the reader refuses to load it";
    story.text = std::move(loaded.text);
    return story;
  }
  EncodedSource source = EncodeSource(input.bytes, encoding, /*lossy=*/true);
  story.notes = std::move(source.notes);
  // The story exactly as the reader would hold it once the source is encoded.
  if (!source.refused) story.text = DecodeCharCodes(source.story.codes, Cp932CodePage());
  return story;
}

}  // namespace quillshade::qsd
