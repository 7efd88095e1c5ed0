// A story loaded for the checks: a story file as the reader decodes it, a text source encoded
// and decoded again, each with the diagnostics loading finds.
#include "tools/qsd/lib/check.h"

#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/source_columns.h"
#include "tools/qsd/lib/source_encoder.h"
#include "tools/qsd/lib/story_loader.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {
namespace {

void AddTokenDiagnostics(const LoadedStory& story, DiagnosticSink& sink) {
  const StoryLines lines(story.text);
  for (const PlacedToken& placed : story.badTokens) {
    std::size_t line = 1;
    std::size_t column = 1;
    if (lines.Count() > 0) {
      line = lines.LineOf(placed.storyIndex);
      column = placed.storyIndex - lines.Start(line) + 1;
    }
    sink.Add("invalid-token", line, column, 0,
             "the token '" + placed.excerpt + "' (file line " + std::to_string(placed.fileLine) + ", column " +
                 std::to_string(placed.fileColumn) + ") " + FaultText(placed.token.fault) + ": it adds nothing");
  }
  if (story.badTokenCount > story.badTokens.size())
    sink.Add("invalid-token", 1, 1, 0,
             std::to_string(story.badTokenCount - story.badTokens.size()) + " more invalid tokens are not named");
}

}  // namespace

LoadedForCheck LoadForCheck(LoadedStory story) {
  DiagnosticSink sink;
  LoadedForCheck loaded;
  if (story.status != StoryFileStatus::Loaded) {
    sink.Add("empty-story", 1, 1, 0, "the reader cannot load it: " + DescribeLoadFailure(story.status));
  } else {
    AddTokenDiagnostics(story, sink);
    loaded.text = std::move(story.text);
    loaded.loaded = true;
  }
  loaded.diagnostics = std::move(sink.All());
  return loaded;
}

LoadedForCheck LoadForCheck(std::string_view source, SourceEncoding encoding) {
  DiagnosticSink sink;
  LoadedForCheck loaded;
  DecodedSource decoded = DecodeTextSource(source, encoding);
  if (decoded.problem) {
    // The bad byte is one character to an editor that shows it (a replacement
    // character, or the NUL itself), so the finding marks one unit.
    const std::u16string_view read = decoded.text;
    const std::size_t at = decoded.problemAt;
    const std::size_t lastBreak = at < 2 ? std::u16string_view::npos : read.rfind(u"\r\n", at - 2);
    const std::size_t lineStart = lastBreak == std::u16string_view::npos ? 0 : lastBreak + 2;
    Diagnostic* found = sink.Add("encoding", static_cast<std::size_t>(decoded.problem->place->line), at - lineStart + 1, 1,
                                 decoded.problem->message);
    found->screenColumn = ScreenColumn(read.substr(lineStart), at - lineStart);
  } else {
    // The story exactly as the reader would hold it once the source is encoded.
    loaded.text = std::move(decoded.text);
    loaded.replaced = MakeReaderText(loaded.text);
    for (const Unencodable& bad : loaded.replaced)
      sink.Add("unencodable", static_cast<std::size_t>(bad.place.line), static_cast<std::size_t>(bad.place.column), 1,
               DescribeCharacter(bad.character) + " cannot be written in code page 932");
    loaded.loaded = true;
  }
  loaded.diagnostics = std::move(sink.All());
  return loaded;
}

}  // namespace quillshade::qsd
