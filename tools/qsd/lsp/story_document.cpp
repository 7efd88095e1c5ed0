// A document's story: loaded as `qsd check` loads it, split into line models, placed.
#include "tools/qsd/lsp/story_document.h"

#include <algorithm>

#include "story/utf16.h"
#include "story/utf8.h"
#include "tools/qsd/lib/story_loader.h"

namespace quillshade::qsd::lsp {
namespace {

// Loads the bytes as `qsd check` does; what loading finds goes into the diagnostics.
void Load(StoryDocument& story, std::string_view bytes) {
  LoadedForCheck loaded = story.textSource ? LoadForCheck(bytes, SourceEncoding::Utf8)
                                           : LoadForCheck(DecodeStoryBytes(bytes, kMaxNamedProblems));
  story.loadable = loaded.loaded;
  story.text = std::move(loaded.text);
  story.loadDiagnostics = std::move(loaded.diagnostics);
}

// The units of the editor's text that the story holds one fewer of, line by line.
std::map<std::size_t, std::vector<std::size_t>> DroppedUnits(std::u16string_view editorText) {
  std::map<std::size_t, std::vector<std::size_t>> dropped;
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < editorText.size(); ++i) {
    const char16_t c = editorText[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < editorText.size() && editorText[i + 1] == u'\n') ++i;
      ++line;
      lineStart = i + 1;
    } else if ((i == 0 && c == 0xFEFF) || (IsLowSurrogate(c) && i > lineStart && IsHighSurrogate(editorText[i - 1]))) {
      dropped[line].push_back(i - lineStart);
    }
  }
  return dropped;
}

}  // namespace

StoryDocument::StoryDocument(std::string uriOf, std::int64_t versionOf, bool isTextSource)
    : uri(std::move(uriOf)), version(versionOf), textSource(isTextSource) {}

std::shared_ptr<const StoryDocument> Analysed(std::shared_ptr<StoryDocument> story, std::u16string_view editorText) {
  story->lines_.emplace(story->text);
  story->labels_.emplace(story->text);
  if (story->textSource) story->dropped_ = DroppedUnits(editorText);
  return story;
}

std::shared_ptr<const StoryDocument> StoryDocumentOf(const std::string& uri, std::int64_t version,
                                                     std::u16string_view editorText, bool textSource) {
  auto story = std::make_shared<StoryDocument>(uri, version, textSource);
  Load(*story, ToUtf8(editorText));
  story->firstLineLength = std::min(editorText.find_first_of(u"\r\n"), editorText.size());
  return Analysed(std::move(story), editorText);
}

std::shared_ptr<const StoryDocument> StoryDocumentOfBytes(const std::string& uri, std::string_view bytes,
                                                          bool textSource) {
  auto story = std::make_shared<StoryDocument>(uri, 0, textSource);
  Load(*story, bytes);
  return Analysed(std::move(story), {});
}

std::shared_ptr<const StoryDocument> StoryDocumentOfText(std::u16string text) {
  auto story = std::make_shared<StoryDocument>("", 0, true);
  story->text = std::move(text);
  story->loadable = true;
  return Analysed(std::move(story), {});
}

std::size_t StoryDocument::LabelLine(std::u16string_view label) const {
  const std::int32_t cr = labels_->Find(label).first;
  if (cr == 0) return 0;
  return lines_->LineAfterBreak(cr);
}

Position StoryDocument::ToEditor(const StoryPlace& place) const {
  std::size_t offset = place.offset;
  if (const auto found = dropped_.find(place.line); found != dropped_.end())
    for (const std::size_t unit : found->second)
      if (unit <= offset) ++offset;
  return Position{static_cast<std::int64_t>(place.line) - 1, static_cast<std::int64_t>(offset)};
}

std::optional<StoryPlace> StoryDocument::ToStory(const Position& position) const {
  if (position.line < 0 || position.character < 0 || static_cast<std::size_t>(position.line) >= LineCount())
    return std::nullopt;
  StoryPlace place{static_cast<std::size_t>(position.line) + 1, static_cast<std::size_t>(position.character)};
  std::size_t shift = 0;
  if (const auto found = dropped_.find(place.line); found != dropped_.end())
    shift = static_cast<std::size_t>(std::count_if(found->second.begin(), found->second.end(),
                                                   [&](std::size_t unit) { return unit <= place.offset; }));
  place.offset = std::min(place.offset - shift, Line(place.line).size());
  return place;
}

Range StoryDocument::EditorRange(std::size_t line, std::size_t offset, std::size_t length) const {
  return Range{ToEditor({line, offset}), ToEditor({line, offset + length})};
}

Range StoryDocument::PartRange(std::size_t line, const LinePart& part) const {
  return EditorRange(line, part.at, part.text.size());
}

}  // namespace quillshade::qsd::lsp
