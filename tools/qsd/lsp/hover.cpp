// A line described for a writer: what the title bar shows, what the line does, where
// each way out of it leads.
#include "tools/qsd/lsp/features.h"

#include <algorithm>

#include "story/text.h"
#include "story/utf8.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/walk.h"

namespace quillshade::qsd::lsp {
namespace {

// Story text quoted, control characters escaped, long text cut: in Markdown a code span.
std::string Code(std::u16string_view text, Markup markup) {
  std::string quoted = Quote(text, 60);
  if (markup == Markup::PlainText) return quoted;
  quoted = quoted.substr(1, quoted.size() - 2);  // the code span quotes it already
  // The fence is one backtick longer than the longest run the text holds, so no run
  // inside ends the span; a space each side keeps a backtick at either end apart from it.
  std::size_t longestRun = 0;
  for (std::size_t at = quoted.find('`'); at != std::string::npos; at = quoted.find('`', at)) {
    const std::size_t end = std::min(quoted.find_first_not_of('`', at), quoted.size());
    longestRun = std::max(longestRun, end - at);
    at = end;
  }
  const std::string fence(longestRun + 1, '`');
  return fence + (longestRun > 0 ? " " + quoted + " " : quoted) + fence;
}

std::string FlagList(FlagBits flags) {
  std::string out;
  for (std::size_t flag = 0; flag < kFlagCount; ++flag)
    if ((flags >> flag) & 1u) out += std::string(out.empty() ? "" : ", ") + static_cast<char>(kFlagLetters[flag]);
  return out;
}

// Where a jump or a choice of `label` goes, in words.
std::string Destination(const StoryDocument& story, std::u16string_view label, Markup markup) {
  const std::size_t line = story.LabelLine(label);
  if (line == 0) return "the story stops: no line begins with " + Code(label, markup);
  if (!story.Terminated(line))
    return "the story stops: line " + std::to_string(line) + ", which begins with " + Code(label, markup) +
           ", has no line break after it";
  return "line " + std::to_string(line) + " " + Code(story.Line(line), markup);
}

// Where a jump to `label` goes: it lands on the line break before the label line, which
// takes one empty step; a jump to no line stops at once.
std::string JumpDestination(const StoryDocument& story, std::u16string_view label, Markup markup) {
  const std::string to = Destination(story, label, markup);
  return IsJumpLanding(story.text, story.LabelBreak(label)) ? to + " (after one empty step)" : to;
}

std::string DownExit(const StoryDocument& story, std::size_t line) {
  if (line + 1 > story.LineCount()) return "Down: the story stops, no line follows";
  if (!story.Terminated(line + 1))
    return "Down: the story stops, line " + std::to_string(line + 1) + " has no line break after it";
  return "Down → line " + std::to_string(line + 1);
}

std::string Exits(const StoryDocument& story, std::size_t line, Markup markup) {
  const ScriptLine& script = story.Script(line);
  std::string out;
  if (script.Chooses()) {
    out += "A choice: the keys decide, Down waits.\n";
    for (std::size_t key = 0; key < kChoiceKeyCount; ++key) {
      const LinePart& choice = script.choices[key];
      if (!choice.Present()) break;
      out += "- key " + std::to_string(key + 1) + " → " +
             (choice.text.empty() ? std::string("nothing: the field is empty") : Destination(story, choice.text, markup)) +
             "\n";
    }
    return out;
  }
  if (script.Ends()) return "END: the story stops here.\n";
  if (script.jumpKind == JumpKind::None) return "- " + DownExit(story, line) + "\n";
  const FlagBits bit = static_cast<FlagBits>(1u << script.jumpFlag);
  const LineExits ifSet = ExitsOf(script, script.effects.Apply(script.jumpKind == JumpKind::OnFlag ? bit : 0));
  const LineExits ifNotSet = ExitsOf(script, script.effects.Apply(0));
  if (ifSet.target == ifNotSet.target) return "- Down → " + JumpDestination(story, ifSet.target, markup) + "\n";
  const std::string flag(1, static_cast<char>(kFlagLetters[script.jumpFlag]));
  return "- flag " + flag + " set → " + JumpDestination(story, ifSet.target, markup) + "\n- flag " + flag +
         " not set → " + JumpDestination(story, ifNotSet.target, markup) + "\n";
}

std::string Sentence(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

std::string Columns(std::size_t columns, std::size_t width) {
  return std::to_string(columns) + " of " + std::to_string(width) + " columns" + (columns > width ? ", too wide" : "");
}

// How the reader reaches the line, the shortest way first, and how wide it is on each
// way in: a choice shows an answer's line without its label.
std::string WaysIn(const StoryDocument& story, const WalkResult& walk, std::size_t line, std::size_t width,
                   Markup markup) {
  const bool reached = line < walk.lineReached.size() && walk.lineReached[line];
  const std::optional<Step> first = reached ? FirstStepShowing(walk, line) : std::nullopt;
  if (!first) {
    if (!walk.complete) return "\nThe walk stopped at its limit before it found a way to this line.";
    return "\nNo state reaches this line: the reader never shows it.";
  }
  std::string out = "\n" + Sentence(WayInText(WayInOf(walk, *first))) + ".";
  const std::vector<ShownWidth> widths = WidthsOnWaysIn(walk, story.Lines(), line);
  if (widths.size() == 1 && widths.front().labelLength == 0) return out;
  out += "\n\nShown on each way in:";
  for (const ShownWidth& way : widths) {
    const std::u16string_view label = story.Line(line).substr(0, way.labelLength);
    out += std::string("\n- ") + (way.labelLength == 0 ? "as it stands" : "answered, without " + Code(label, markup)) + ": " +
           Columns(way.width, width) + " (" + WayInText(WayInOf(walk, way.step)) + ")";
  }
  return out;
}

}  // namespace

std::optional<std::string> Hover(const StoryDocument& story, const Position& position, std::size_t width,
                                 const WalkResult* walk, Markup markup) {
  const auto place = story.ToStory(position);
  if (!story.textSource || !place) return std::nullopt;
  const std::size_t line = place->line;
  const ScriptLine& script = story.Script(line);
  const std::string title = "Line " + std::to_string(line);
  std::string out = markup == Markup::Markdown ? "**" + title + "**" : title;
  if (!story.Terminated(line)) return out + ": never shown, no line break follows it.";
  const std::u16string_view shown = script.Showing().text;
  const std::size_t columns = DisplayWidth(shown);
  // A line the walk finds shown only after a label (an answer's) is judged on each way
  // in below, never as it stands.
  const bool reached = walk && line < walk->lineReached.size() && walk->lineReached[line];
  const bool standsShown = !reached || FirstShown(*walk, line) != nullptr;
  if (shown.empty()) {
    out += " shows an empty title bar.\n\n";
  } else {
    out += " shows " + Code(shown, markup) + ", " + std::to_string(columns) + " of " + std::to_string(width) + " columns" +
           (columns > width && standsShown ? ": too wide, the title bar cuts it" : "") + ".\n\n";
  }
  const FlagBits sets = script.effects.LeavesSet();
  if (sets) out += "Sets flag " + FlagList(sets) + (script.effects.clears ? ". " : ".\n\n");
  if (script.effects.clears) out += "Clears flag " + FlagList(script.effects.clears) + ".\n\n";
  out += Exits(story, line, markup);
  if (walk) out += WaysIn(story, *walk, line, width, markup);
  return out;
}

}  // namespace quillshade::qsd::lsp
