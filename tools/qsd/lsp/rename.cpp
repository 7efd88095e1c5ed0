// Renaming a label on its line and wherever a jump or choice names it, or saying why not.
#include "tools/qsd/lsp/features.h"

#include <algorithm>
#include <tuple>

#include "story/text.h"
#include "story/utf8.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd::lsp {
namespace {

// A label found at a position: its text, the line it leads to, and the part a rename
// changes (inside the brackets of a bracketed label).
struct LabelAt {
  std::u16string_view text;
  std::size_t target = 0;
  std::size_t nameFrom = 0;
  std::size_t nameLength = 0;
};

LabelAt Named(std::u16string_view text, std::size_t target) {
  const bool bracketed = IsBracketedLabel(text);
  return LabelAt{text, target, bracketed ? 1u : 0u, bracketed ? text.size() - 2 : text.size()};
}

std::optional<LabelAt> FindLabelAt(const StoryDocument& story, const StoryPlace& place) {
  if (const auto use = LabelUseAt(story, place)) {
    const std::size_t target = story.LabelLine(use->part.text);
    if (target == 0) return std::nullopt;
    return Named(use->part.text, target);
  }
  const LinePart& prefix = story.Script(place.line).prefix;
  if (prefix.Present() && prefix.at == 0 && place.offset <= prefix.text.size()) return Named(prefix.text, place.line);
  // The start of a line that a label leads to: the longest such label under the cursor.
  std::optional<LabelAt> found;
  for (std::size_t line = 1; line <= story.LineCount(); ++line)
    for (const LabelUse& use : LabelUsesOf(story, line))
      if (place.offset <= use.part.text.size() && (!found || use.part.text.size() > found->text.size()) &&
          story.LabelLine(use.part.text) == place.line)
        found = Named(use.part.text, place.line);
  return found;
}

std::optional<std::string> InvalidName(std::u16string_view name, bool bracketed) {
  if (name.empty()) return "the new label is empty";
  for (const std::u16string_view bad : kLabelSplitters)
    if (name.find(bad) != std::u16string_view::npos)
      return "the new label holds " + Quote(bad) + ", which would split it";
  if (!bracketed && TrimSpaces(name).size() != name.size())
    return "the new label begins or ends with a space, which a jump's target loses";
  return std::nullopt;
}

// What a line does, in the terms a rename must not change.
auto Shape(const ScriptLine& line) {
  return std::tuple(line.prefix.Present(), line.jumpKind, line.jumpFlag, line.Ends(), line.Chooses());
}

// The rename applied to the story text, checked line by line: every label must still
// lead where it led, and every line must still do what it did.
std::optional<std::string> Misleads(const StoryDocument& story, std::u16string_view oldLabel,
                                    std::u16string_view newLabel, const std::vector<std::pair<std::size_t, LinePart>>& parts) {
  std::vector<std::size_t> starts;  // each part's index in the whole text
  for (const auto& [line, part] : parts)
    starts.push_back(static_cast<std::size_t>(story.Line(line).data() - story.text.data()) + part.at);
  std::vector<std::size_t> order(parts.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  // From the end of the text backwards, so the places still to replace stay where they are.
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return starts[a] > starts[b]; });
  std::u16string text = story.text;
  for (const std::size_t i : order) text.replace(starts[i], parts[i].second.text.size(), newLabel);
  const auto renamed = StoryDocumentOfText(text);
  for (std::size_t line = 1; line <= story.LineCount(); ++line) {
    if (Shape(story.Script(line)) != Shape(renamed->Script(line)))
      return "line " + std::to_string(line) + " would then do something else";
    const std::vector<LabelUse> before = LabelUsesOf(story, line);
    const std::vector<LabelUse> after = LabelUsesOf(*renamed, line);
    if (before.size() != after.size()) return "line " + std::to_string(line) + " would then do something else";
    for (std::size_t i = 0; i < before.size(); ++i) {
      const std::size_t was = story.LabelLine(before[i].part.text);
      const std::size_t now = renamed->LabelLine(after[i].part.text);
      if (was == now) continue;
      if (before[i].part.text == oldLabel)
        return "the new label would be shadowed: line " + std::to_string(now) + " begins with " + Quote(newLabel) +
               " too, and " + (now < was ? "it comes first" : "it would be found instead");
      return "the new label would shadow " + Quote(before[i].part.text) + ": the " +
             (before[i].kind == LabelUse::Kind::Choice ? "choice" : "jump") + " on line " + std::to_string(line) +
             " would lead to line " + std::to_string(now) + " instead of line " + std::to_string(was);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Range> RenameRange(const StoryDocument& story, const Position& position) {
  const auto place = story.ToStory(position);
  if (!story.textSource || !place) return std::nullopt;
  const auto label = FindLabelAt(story, *place);
  if (!label) return std::nullopt;
  if (const auto use = LabelUseAt(story, *place))
    return story.EditorRange(place->line, use->part.at + label->nameFrom, label->nameLength);
  return story.EditorRange(place->line, label->nameFrom, label->nameLength);
}

std::variant<std::vector<TextEdit>, std::string> Rename(const StoryDocument& story, const Position& position,
                                                        std::u16string_view newName) {
  const auto place = story.ToStory(position);
  if (!story.textSource || !place) return std::string("no label here");
  const auto label = FindLabelAt(story, *place);
  if (!label) return std::string("no label here: put the cursor on a jump's target, a choice, or a line's label");
  if (const auto invalid = InvalidName(newName, label->nameFrom > 0)) return *invalid;
  std::u16string newLabel(label->text);
  newLabel.replace(label->nameFrom, label->nameLength, newName);

  std::vector<std::pair<std::size_t, LinePart>> parts{{label->target, LinePart{0, story.Line(label->target).substr(0, label->text.size())}}};
  for (std::size_t line = 1; line <= story.LineCount(); ++line)
    for (const LabelUse& use : LabelUsesOf(story, line))
      if (use.part.text == label->text) parts.emplace_back(line, use.part);
  if (const auto refusal = Misleads(story, label->text, newLabel, parts)) return *refusal;

  std::vector<TextEdit> edits;
  for (const auto& [line, part] : parts)
    edits.push_back(TextEdit{story.EditorRange(line, part.at + label->nameFrom, label->nameLength), std::u16string(newName)});
  return edits;
}

}  // namespace quillshade::qsd::lsp
