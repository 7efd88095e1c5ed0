// Completion of labels after ">>" and in choice lists, and of command keywords after "::".
#include "tools/qsd/lsp/features.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "story/utf8.h"

namespace quillshade::qsd::lsp {
namespace {

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
                                                                     ToUtf8(story.Script(line).shown.text), {}, {}});
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

// A character an editor counts as part of a word when it completes the word before the
// cursor: letters (of any script), digits and "_", but no bracket, space or punctuation,
// full-width ones included.
bool IsWordCharacter(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
  const auto within = [c](char16_t first, char16_t last) { return c >= first && c <= last; };
  return !within(0x3000, 0x303F) && !within(0xFF01, 0xFF0F) && !within(0xFF1A, 0xFF20) && !within(0xFF3B, 0xFF40) &&
         !within(0xFF5B, 0xFF65);
}

// Where the last word of what is typed begins.
std::size_t LastWordAt(std::u16string_view typed) {
  std::size_t at = typed.size();
  while (at > 0 && IsWordCharacter(typed[at - 1])) --at;
  return at;
}

std::vector<CompletionItem> Keywords() {
  std::vector<CompletionItem> items;
  for (const Keyword& keyword : kKeywords)
    items.push_back({CompletionItem::Kind::Keyword, ToUtf8(keyword.text), std::string(keyword.effect), {}, {}});
  return items;
}

}  // namespace

std::optional<CompletionSpan> CompletionSpanAt(std::u16string_view line, std::size_t offset) {
  // The line as the reader splits it: a "??" inside the prefix is no choice list, and a
  // jump on a flag is one wherever ">>A" .. ">>E" stands on the line.
  const ScriptLine parts = SplitScriptLine(line);
  const auto after = [offset](std::size_t markerAt, std::size_t markerSize) {
    return markerAt != kAbsent && offset >= markerAt + markerSize;
  };
  if (after(parts.choiceAt, kChoiceMarker.size()))
    return CompletionSpan{CompletionSpan::Context::Label,
                          WordStart(line, parts.choiceAt + kChoiceMarker.size(), offset, u", ")};
  if (after(parts.commandsAt, kCommandMarker.size()))
    return CompletionSpan{CompletionSpan::Context::Keyword,
                          WordStart(line, parts.commandsAt + kCommandMarker.size(), offset, u" ,")};
  if (!after(parts.jumpAt, kJumpMarker.size())) return std::nullopt;
  // A plain jump's target is one word, commas and all; a jump on a flag's labels are
  // separated by commas.
  const std::size_t jumpTextAt = parts.JumpTextFrom();
  if (offset < jumpTextAt) return std::nullopt;
  std::size_t start = WordStart(line, jumpTextAt, offset,
                                parts.jumpKind == JumpKind::OnFlag ? std::u16string_view(&kFieldSeparator, 1) : u"");
  while (start < offset && line[start] == u' ') ++start;
  return CompletionSpan{CompletionSpan::Context::Label, start};
}

Completion Complete(const StoryDocument& story, const Position& position, const CancelCheck& cancel) {
  const auto place = story.ToStory(position);
  if (!story.textSource || !place) return {};
  const std::u16string_view line = story.Line(place->line);
  const std::optional<CompletionSpan> span = CompletionSpanAt(line, place->offset);
  if (!span) return {};
  const std::u16string_view typed = line.substr(span->start, place->offset - span->start);
  Completion completion = span->context == CompletionSpan::Context::Label ? Labels(story, place->line, typed, cancel)
                                                                          : Completion{Keywords(), false};
  // Editors filter the items by the word before the cursor, and some take only its
  // letters: typed "[ha", one filters by "ha" and puts the item in its place. So an item
  // that begins with what stands before that word ("[") replaces only the word, and the
  // same text is what it is filtered by and what it inserts in every editor.
  const std::string lead = ToUtf8(typed.substr(0, LastWordAt(typed)));
  // An editor that closes a bracket as it is typed leaves its "]" after the cursor: the
  // item, which has its own, replaces that one too.
  const bool closed = typed.starts_with(u'[') && typed.find(u']') == std::u16string_view::npos &&
                      place->offset < line.size() && line[place->offset] == u']';
  const std::size_t end = place->offset + (closed ? 1 : 0);
  for (CompletionItem& item : completion.items) {
    const bool afterLead = !lead.empty() && item.label.starts_with(lead);
    const std::size_t from = span->start + (afterLead ? LastWordAt(typed) : 0);
    item.replace = story.EditorRange(place->line, from, end - from);
    item.newText = afterLead ? item.label.substr(lead.size()) : item.label;
  }
  return completion;
}

}  // namespace quillshade::qsd::lsp
