// A document's story: loaded as `qsd check` loads it, split into line models, placed.
#include "tools/qsd/lsp/story_document.h"

#include <algorithm>
#include <cstring>

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

// The units of the editor's text that the story holds one fewer of, line by line, its
// lines counted from `firstLine`.
std::vector<DroppedUnit> DroppedUnits(std::u16string_view editorText, std::size_t firstLine = 1) {
  std::vector<DroppedUnit> dropped;
  std::size_t line = firstLine;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < editorText.size(); ++i) {
    const char16_t c = editorText[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < editorText.size() && editorText[i + 1] == u'\n') ++i;
      ++line;
      lineStart = i + 1;
    } else if ((i == 0 && c == 0xFEFF) || (IsLowSurrogate(c) && i > lineStart && IsHighSurrogate(editorText[i - 1]))) {
      dropped.push_back({static_cast<std::uint32_t>(line), static_cast<std::uint32_t>(i - lineStart)});
    }
  }
  return dropped;
}

// How many units at the start of two texts agree; compared a piece at a time, as a
// keystroke in a long story leaves millions of them alike.
constexpr std::size_t kComparedPiece = 1024;

// The changes since earlier versions kept by each: typing faster than the checks leaves
// the last checked version a few behind.
constexpr std::size_t kKeptChanges = 8;

std::size_t CommonPrefix(std::u16string_view a, std::u16string_view b) {
  const std::size_t most = std::min(a.size(), b.size());
  std::size_t alike = 0;
  while (alike + kComparedPiece <= most &&
         std::memcmp(a.data() + alike, b.data() + alike, kComparedPiece * sizeof(char16_t)) == 0)
    alike += kComparedPiece;
  while (alike < most && a[alike] == b[alike]) ++alike;
  return alike;
}

// How many units at the end of two texts agree, up to `most`.
std::size_t CommonSuffix(std::u16string_view a, std::u16string_view b, std::size_t most) {
  std::size_t alike = 0;
  while (alike + kComparedPiece <= most &&
         std::memcmp(a.data() + a.size() - alike - kComparedPiece, b.data() + b.size() - alike - kComparedPiece,
                     kComparedPiece * sizeof(char16_t)) == 0)
    alike += kComparedPiece;
  while (alike < most && a[a.size() - 1 - alike] == b[b.size() - 1 - alike]) ++alike;
  return alike;
}

// The editor's line breaks: LF, CR LF, or a CR that no LF follows.
bool EndsALine(std::u16string_view text, std::size_t at) {
  return text[at] == u'\n' || (text[at] == u'\r' && (at + 1 == text.size() || text[at + 1] != u'\n'));
}

std::size_t LineBreaks(std::u16string_view text) {
  std::size_t breaks = 0;
  for (std::size_t at = 0; at < text.size(); ++at) breaks += EndsALine(text, at) ? 1 : 0;
  return breaks;
}

// The lines of the editor's text that changed between two versions: units [from,
// previousTo) of the previous text became [from, to) of the new one. `from` begins a
// line in both; the units after the ends are alike and each end begins a line, or is
// the end.
struct ChangedUnits {
  std::size_t from = 0;
  std::size_t previousTo = 0;
  std::size_t to = 0;
};

ChangedUnits FindChangedLines(std::u16string_view previous, std::u16string_view text) {
  const std::size_t prefix = CommonPrefix(previous, text);
  const std::size_t suffix = CommonSuffix(previous, text, std::min(previous.size(), text.size()) - prefix);
  // A CR at the end of what agrees may be the CR of a CR LF in one text and not in the
  // other: a line begins after it in both only when the unit after it agrees too.
  std::size_t from = prefix;
  while (from > 0 && !(previous[from - 1] == u'\n' || (from < prefix && EndsALine(previous, from - 1)))) --from;
  std::size_t kept = suffix == 0 ? 0 : suffix - 1;
  while (kept > 0 && !EndsALine(previous, previous.size() - kept - 1)) --kept;
  return {from, previous.size() - kept, text.size() - kept};
}

// What loading found, spliced: the previous version's before the changed lines and
// after them (moved by the lines the change adds or takes away), the changed lines' own
// between. Without `previousEndLine`, the change reached the end of the text.
std::vector<Diagnostic> SplicedDiagnostics(const std::vector<Diagnostic>& previous, std::vector<Diagnostic> slice,
                                           std::size_t firstLine, std::optional<std::size_t> previousEndLine,
                                           std::size_t endLine) {
  std::vector<Diagnostic> spliced;
  for (const Diagnostic& diagnostic : previous)
    if (static_cast<std::size_t>(diagnostic.line) < firstLine) spliced.push_back(diagnostic);
  for (Diagnostic& diagnostic : slice) {
    diagnostic.line += static_cast<std::int64_t>(firstLine) - 1;
    spliced.push_back(std::move(diagnostic));
  }
  if (previousEndLine)
    for (const Diagnostic& diagnostic : previous)
      if (static_cast<std::size_t>(diagnostic.line) >= *previousEndLine) {
        spliced.push_back(diagnostic);
        spliced.back().line += static_cast<std::int64_t>(endLine) - static_cast<std::int64_t>(*previousEndLine);
      }
  return spliced;
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

std::variant<FromNothing, std::shared_ptr<const StoryDocument>> NextVersionOf(const StoryDocument& previous,
                                                                             std::int64_t version,
                                                                             const DocumentText& editorText) {
  if (!previous.textSource || !previous.editorText_) return FromNothing::StoryFile;
  if (!previous.loadable) return FromNothing::EarlierRefused;
  // What loading found must be named in full to be moved with its lines: a count of
  // the problems not named says nothing of where they are.
  if (previous.loadDiagnostics.size() > kMaxNamedProblems) return FromNothing::EarlierProblems;
  for (const Diagnostic& diagnostic : previous.loadDiagnostics)
    if (diagnostic.check != "unencodable") return FromNothing::EarlierProblems;
  const std::u16string_view before = *previous.editorText_;
  const std::u16string_view text = editorText.Text();
  const ChangedUnits change = FindChangedLines(before, text);
  // A large change costs about as much either way; the byte-order mark is dropped only
  // at the very start of the text.
  if ((change.previousTo - change.from) * 4 > before.size() || (change.to - change.from) * 4 > text.size())
    return FromNothing::LargeChange;
  if (change.from > 0 && change.to > change.from && text[change.from] == 0xFEFF) return FromNothing::LaterMark;
  const std::u16string_view changed = text.substr(change.from, change.to - change.from);
  LoadedForCheck slice = LoadForCheck(ToUtf8(changed), SourceEncoding::Utf8);
  if (!slice.loaded) return FromNothing::Refused;

  // Editor lines are story lines: the line that begins the change, and those that
  // follow it in each version.
  const std::size_t firstLine = editorText.LineOf(change.from) + 1;
  const bool toTheEnd = change.previousTo == before.size();
  const std::size_t previousEndLine =
      firstLine + LineBreaks(before.substr(change.from, change.previousTo - change.from));
  const std::size_t endLine = firstLine + LineBreaks(changed);
  std::vector<Diagnostic> diagnostics =
      SplicedDiagnostics(previous.loadDiagnostics, std::move(slice.diagnostics), firstLine,
                         toTheEnd ? std::nullopt : std::optional<std::size_t>(previousEndLine), endLine);
  if (diagnostics.size() > kMaxNamedProblems) return FromNothing::ManyProblems;

  const StoryLines& lines = previous.Lines();
  const auto storyStart = [&](std::size_t line) { return line <= lines.Count() ? lines.Start(line) : previous.text.size(); };
  const std::size_t storyFrom = storyStart(firstLine);
  const std::size_t storyPreviousTo = toTheEnd ? previous.text.size() : storyStart(previousEndLine);
  auto story = std::make_shared<StoryDocument>(previous.uri, version, true);
  story->text.reserve(storyFrom + slice.text.size() + (previous.text.size() - storyPreviousTo));
  story->text.append(previous.text, 0, storyFrom);
  story->text += slice.text;
  story->text.append(previous.text, storyPreviousTo);
  story->loadable = true;
  story->loadDiagnostics = std::move(diagnostics);
  story->firstLineLength =
      change.from > 0 ? previous.firstLineLength : std::min(text.find_first_of(u"\r\n"), text.size());
  const std::size_t storyTo = storyFrom + slice.text.size();
  story->lines_.emplace(story->text, lines, storyFrom, storyPreviousTo, storyTo);
  story->labels_.emplace(story->text, previous.Labels(), storyFrom, storyPreviousTo, storyTo);

  std::vector<DroppedUnit>& dropped = story->dropped_;
  for (const DroppedUnit& unit : previous.dropped_)
    if (unit.line < firstLine) dropped.push_back(unit);
  for (const DroppedUnit& unit : DroppedUnits(changed, firstLine))
    dropped.push_back(unit);
  if (!toTheEnd)
    for (const DroppedUnit& unit : previous.dropped_)
      if (unit.line >= previousEndLine)
        dropped.push_back({static_cast<std::uint32_t>(unit.line - previousEndLine + endLine), unit.offset});
  story->editorText_ = editorText.SharedText();

  // Story lines are editor lines; a change that reaches the end takes the last line too.
  const ChangedLines step{firstLine, toTheEnd ? previous.LineCount() + 1 : previousEndLine,
                          toTheEnd ? story->LineCount() + 1 : endLine};
  story->changes_.push_back({previous.weak_from_this(), step});
  for (const StoryDocument::EarlierChange& earlier : previous.changes_) {
    if (story->changes_.size() == kKeptChanges) break;
    story->changes_.push_back({earlier.version, Then(earlier.change, step)});
  }
  return story;
}

std::optional<ChangedLines> StoryDocument::ChangeSince(const std::shared_ptr<const void>& earlier) const {
  const auto same = [&](const std::weak_ptr<const StoryDocument>& kept) {
    return !kept.owner_before(earlier) && !earlier.owner_before(kept);
  };
  if (same(weak_from_this())) return ChangedLines{LineCount() + 1, LineCount() + 1, LineCount() + 1};
  for (const EarlierChange& known : changes_)
    if (same(known.version)) return known.change;
  return std::nullopt;
}

std::shared_ptr<const StoryDocument> StoryDocumentOf(const std::string& uri, std::int64_t version,
                                                     std::u16string_view editorText, bool textSource) {
  auto story = std::make_shared<StoryDocument>(uri, version, textSource);
  story->fromNothing = FromNothing::NoEarlier;
  Load(*story, ToUtf8(editorText));
  story->firstLineLength = std::min(editorText.find_first_of(u"\r\n"), editorText.size());
  return Analysed(std::move(story), editorText);
}

std::shared_ptr<const StoryDocument> StoryDocumentOf(const std::string& uri, std::int64_t version,
                                                     const DocumentText& editorText, bool textSource,
                                                     const StoryDocument* previous) {
  FromNothing why = FromNothing::NoEarlier;
  if (previous && textSource && previous->uri == uri) {
    auto next = NextVersionOf(*previous, version, editorText);
    if (auto* made = std::get_if<std::shared_ptr<const StoryDocument>>(&next)) return std::move(*made);
    why = std::get<FromNothing>(next);
  } else if (previous && !textSource) {
    why = FromNothing::StoryFile;
  }
  auto story = std::make_shared<StoryDocument>(uri, version, textSource);
  story->fromNothing = why;
  Load(*story, ToUtf8(editorText.Text()));
  story->firstLineLength = std::min(editorText.Text().find_first_of(u"\r\n"), editorText.Text().size());
  if (textSource) story->editorText_ = editorText.SharedText();
  return Analysed(std::move(story), editorText.Text());
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

std::span<const DroppedUnit> StoryDocument::DroppedOn(std::size_t line) const {
  const auto first = std::partition_point(dropped_.begin(), dropped_.end(),
                                          [line](const DroppedUnit& unit) { return unit.line < line; });
  const auto last =
      std::partition_point(first, dropped_.end(), [line](const DroppedUnit& unit) { return unit.line == line; });
  return {first, last};
}

Position StoryDocument::ToEditor(const StoryPlace& place) const {
  std::size_t offset = place.offset;
  for (const DroppedUnit& unit : DroppedOn(place.line))
    if (unit.offset <= offset) ++offset;
  return Position{static_cast<std::int64_t>(place.line) - 1, static_cast<std::int64_t>(offset)};
}

std::optional<StoryPlace> StoryDocument::ToStory(const Position& position) const {
  if (position.line < 0 || position.character < 0 || static_cast<std::size_t>(position.line) >= LineCount())
    return std::nullopt;
  StoryPlace place{static_cast<std::size_t>(position.line) + 1, static_cast<std::size_t>(position.character)};
  std::size_t shift = 0;
  for (const DroppedUnit& unit : DroppedOn(place.line)) shift += unit.offset <= place.offset ? 1 : 0;
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
