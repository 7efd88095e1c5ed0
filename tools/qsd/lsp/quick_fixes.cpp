// Fixes for the checks that have one obvious fix.
#include "tools/qsd/lsp/features.h"

#include <algorithm>

#include "story/utf8.h"
#include "tools/qsd/lib/label_suggestion.h"

namespace quillshade::qsd::lsp {
namespace {

std::optional<QuickFix> LowerCaseFlag(const StoryDocument& story, std::size_t line) {
  const ScriptLine& script = story.Script(line);
  const std::u16string_view text = story.Line(line);
  if (script.jumpKind != JumpKind::Plain) return std::nullopt;
  const std::size_t letterAt = script.JumpTextFrom();
  if (letterAt >= text.size()) return std::nullopt;
  const std::size_t flag = FlagOfLowerCase(text[letterAt]);
  if (flag == kFlagCount) return std::nullopt;
  const char16_t upper = kFlagLetters[flag];
  return QuickFix{"Make it a jump on flag " + std::string(1, static_cast<char>(upper)) + " ('>>" +
                      static_cast<char>(upper) + "')",
                  {}, {}, {TextEdit{story.EditorRange(line, letterAt, 1), std::u16string(1, upper)}}};
}

std::optional<QuickFix> LastLineBreak(const StoryDocument& story) {
  const std::size_t last = story.LineCount();
  if (last == 0 || story.Terminated(last)) return std::nullopt;
  const Position end = story.ToEditor({last, story.Line(last).size()});
  return QuickFix{"Add a line break after the last line", {}, {}, {TextEdit{Range{end, end}, u"\n"}}};
}

// The label the diagnostic stands on, or else the line's first that begins with a space.
std::optional<QuickFix> LeadingSpace(const StoryDocument& story, const StoryPlace& place) {
  std::vector<LabelUse> uses = LabelUsesOf(story, place.line);
  std::stable_partition(uses.begin(), uses.end(), [&](const LabelUse& use) {
    return place.offset >= use.part.at && place.offset <= use.part.at + use.part.text.size();
  });
  for (const LabelUse& use : uses) {
    const std::size_t line = place.line;
    const std::u16string_view label = use.part.text;
    const std::size_t spaces = label.find_first_not_of(u' ');
    if (spaces == 0 || spaces == std::u16string_view::npos) continue;
    return QuickFix{"Remove the space before '" + ToUtf8(label.substr(spaces)) + "'", {}, {},
                    {TextEdit{story.EditorRange(line, use.part.at, spaces), u""}}};
  }
  return std::nullopt;
}

// A label that no line begins with, changed to the line beginning nearest to it.
std::optional<QuickFix> NearestLabel(const StoryDocument& story, const StoryPlace& place) {
  const auto use = LabelUseAt(story, place);
  if (!use || story.LabelLine(use->part.text) != 0) return std::nullopt;
  const StoryLines lines(story.text);
  LabelSuggester suggester(lines);
  const auto meant = suggester.Suggest(use->part.text).meant;
  if (!meant) return std::nullopt;
  return QuickFix{"Change to '" + ToUtf8(*meant) + "'", {}, {},
                  {TextEdit{story.PartRange(place.line, use->part), *meant}}};
}

std::optional<QuickFix> UnclosedPrefix(const StoryDocument& story, std::size_t line) {
  if (!story.Script(line).unclosedPrefix) return std::nullopt;
  const std::u16string_view text = story.Line(line);
  const std::size_t open = text.find(kPrefixOpen);
  // The prefix most likely ends where its first word does, or where the script begins.
  std::size_t end = open + 1;
  while (end < text.size() && text[end] != u' ' && text.substr(end, 2) != kJumpMarker &&
         text.substr(end, 2) != kCommandMarker && text.substr(end, 2) != kChoiceMarker)
    ++end;
  const Position at = story.ToEditor({line, end});
  return QuickFix{"Close the prefix: '" + ToUtf8(text.substr(open, end - open)) + "]'", {}, {},
                  {TextEdit{Range{at, at}, u"]"}}};
}

}  // namespace

std::vector<QuickFix> QuickFixes(const StoryDocument& story, const std::vector<DiagnosticRef>& diagnostics) {
  std::vector<QuickFix> fixes;
  if (!story.textSource || !story.loadable) return fixes;
  for (const DiagnosticRef& diagnostic : diagnostics) {
    const auto place = story.ToStory(diagnostic.range.start);
    if (!place) continue;
    std::optional<QuickFix> fix;
    if (diagnostic.check == "lowercase-conditional") fix = LowerCaseFlag(story, place->line);
    if (diagnostic.check == "last-line-unbroken") fix = LastLineBreak(story);
    if (diagnostic.check == "label-leading-space") fix = LeadingSpace(story, *place);
    if (diagnostic.check == "unclosed-prefix") fix = UnclosedPrefix(story, place->line);
    if (diagnostic.check == "missing-label" || diagnostic.check == "missing-choice-label")
      fix = NearestLabel(story, *place);
    if (!fix) continue;
    fix->check = diagnostic.check;
    fix->diagnostic = diagnostic.range;
    fixes.push_back(std::move(*fix));
  }
  return fixes;
}

}  // namespace quillshade::qsd::lsp
