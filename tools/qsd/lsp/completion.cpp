// Completion of labels after ">>" and in choice lists, and of command keywords after "::".
#include "tools/qsd/lsp/features.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "story/utf8.h"

namespace quillshade::qsd::lsp {
namespace {

enum class Context { None, Label, Keyword };

// Where the word being typed begins: after the marker, a comma or spaces before it.
std::size_t WordStart(std::u16string_view line, std::size_t from, std::size_t offset, std::u16string_view stops) {
  std::size_t start = offset;
  while (start > from && stops.find(line[start - 1]) == std::u16string_view::npos) --start;
  return start;
}

// The labels a story already has: every bracketed prefix, and every label that a jump
// or choice names and that leads somewhere (but not on the line being written, whose
// labels are not finished). At most kMaxCompletionItems, those that begin with what is
// typed first, so that a story of a million labels costs no more than one of a thousand.
Completion Labels(const StoryDocument& story, std::size_t editing, std::u16string_view typed, const CancelCheck& cancel) {
  std::set<std::u16string_view> seen;
  std::vector<CompletionItem> matching;
  std::vector<CompletionItem> others;
  bool incomplete = false;
  const auto add = [&](std::u16string_view label, std::size_t line) {
    if (label.empty() || seen.contains(label)) return;
    std::vector<CompletionItem>& items = label.starts_with(typed) ? matching : others;
    if (items.size() == kMaxCompletionItems) {
      incomplete = true;
      return;
    }
    seen.insert(label);
    items.push_back({CompletionItem::Kind::Label, ToUtf8(label), "line " + std::to_string(line) + ": " +
                                                                     ToUtf8(story.Script(line).shown.text), {}});
  };
  for (std::size_t line = 1; line <= story.LineCount(); ++line) {
    cancel.Poll(line);
    const LinePart& prefix = story.Script(line).prefix;
    if (prefix.Present() && prefix.at == 0 && line > 1) add(prefix.text, line);
  }
  for (std::size_t line = 1; line <= story.LineCount(); ++line) {
    cancel.Poll(line);
    for (const LabelUse& use : line == editing ? std::vector<LabelUse>{} : LabelUsesOf(story, line))
      if (const std::size_t target = story.LabelLine(use.part.text); target != 0) add(use.part.text, target);
  }
  if (matching.size() + others.size() > kMaxCompletionItems) incomplete = true;
  others.resize(std::min(others.size(), kMaxCompletionItems - matching.size()));
  matching.insert(matching.end(), std::make_move_iterator(others.begin()), std::make_move_iterator(others.end()));
  return {std::move(matching), incomplete};
}

std::vector<CompletionItem> Keywords() {
  std::vector<CompletionItem> items;
  for (const Keyword& keyword : kKeywords) {
    std::string detail = "ends the story";
    if (keyword.kind != CommandKind::End)
      detail = std::string(keyword.kind == CommandKind::Set ? "sets" : "clears") + " flag " +
               static_cast<char>(kFlagLetters[keyword.flag]);
    items.push_back({CompletionItem::Kind::Keyword, ToUtf8(keyword.text), detail, {}});
  }
  return items;
}

}  // namespace

Completion Complete(const StoryDocument& story, const Position& position, const CancelCheck& cancel) {
  const auto place = story.ToStory(position);
  if (!story.textSource || !place) return {};
  const std::u16string_view line = story.Line(place->line);
  const std::size_t offset = place->offset;
  const std::u16string_view before = line.substr(0, offset);
  // The markers split a line from its end: text after "??" is a choice list whatever
  // it holds, text after "::" is commands, and only then is ">>" a jump.
  Context context = Context::None;
  std::size_t start = offset;
  if (const std::size_t choice = before.find(kChoiceMarker); choice != std::u16string_view::npos) {
    context = Context::Label;
    start = WordStart(line, choice + kChoiceMarker.size(), offset, u", ");
  } else if (const std::size_t commands = before.find(kCommandMarker); commands != std::u16string_view::npos) {
    context = Context::Keyword;
    start = WordStart(line, commands + kCommandMarker.size(), offset, u" ,");
  } else if (const std::size_t jump = before.find(kJumpMarker); jump != std::u16string_view::npos) {
    context = Context::Label;
    std::size_t from = jump + kJumpMarker.size();
    const bool onFlag = from < before.size() && kFlagLetters.find(before[from]) != std::u16string_view::npos;
    // A jump on a flag: its labels, comma-separated, begin after the flag letter.
    start = onFlag ? WordStart(line, from + 1, offset, u",") : WordStart(line, from, offset, u"");
    while (start < offset && line[start] == u' ') ++start;
  }
  if (context == Context::None) return {};
  Completion completion = context == Context::Label ? Labels(story, place->line, line.substr(start, offset - start), cancel)
                                                    : Completion{Keywords(), false};
  const Range replace = story.EditorRange(place->line, start, offset - start);
  for (CompletionItem& item : completion.items) item.replace = replace;
  return completion;
}

}  // namespace quillshade::qsd::lsp
