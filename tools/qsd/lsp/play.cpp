// Where an editor's play pane starts: the story's codes for the reader, and the keys to a line.
#include "tools/qsd/lsp/features.h"

#include "tools/qsd/lib/source_encoder.h"

namespace quillshade::qsd::lsp {

std::variant<PlayStart, std::string> PlayFrom(const StoryDocument& story, const WalkResult* walk,
                                              std::optional<std::size_t> editorLine) {
  if (!story.loadable || story.text.empty()) return std::string("the story does not load: its problems say why");
  PlayStart start;
  // The text as the reader holds it, so these codes decode to exactly what the walk read.
  start.codes = EncodeStory(story.text).codes;
  if (!editorLine) return start;
  if (!story.textSource) return std::string("a story file holds codes, not lines: play from a line of its text source");
  const std::optional<StoryPlace> place = story.ToStory(Position{static_cast<std::int64_t>(*editorLine), 0});
  if (!place || place->line > story.LineCount()) return "line " + std::to_string(*editorLine + 1) + " is past the end";
  if (!story.Terminated(1)) return std::string("the story has no line break, so the reader never shows any of it");
  if (!walk) return std::string("the walk of this version is not done");
  const Result<WayIn> way = WayInToLine(story.text, story.Lines(), *walk, place->line);
  if (!way.ok()) return way.error().message;
  start.way = way.value();
  start.line = place->line;
  return start;
}

}  // namespace quillshade::qsd::lsp
