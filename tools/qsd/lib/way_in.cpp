// The ways in that the walk keeps: keys from the start, the flags on the way, and why a way stops.
#include <algorithm>
#include <tuple>

#include "story/script_line.h"
#include "story/text.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/walk.h"

namespace quillshade::qsd {

std::uint64_t ScanLimit(std::uint64_t maxScan, std::size_t storyLength) {
  return maxScan != kDefaultMaxScan ? maxScan : kScanPerCharacter * storyLength + kScanAtLeast;
}

WayIn WayInOf(const WalkResult& walk, Step step) {
  WayIn way;
  if (step.key != 0) way.keys.push_back(step.key);
  std::uint32_t at = step.from;
  way.flags = walk.FlagsAt(at);
  for (;;) {
    const std::uint32_t parent = walk.parent[at];
    if (parent == kNoState) break;
    if (walk.parentKey[at] != 0) way.keys.push_back(walk.parentKey[at]);
    at = parent;
  }
  std::reverse(way.keys.begin(), way.keys.end());
  way.arriving = walk.FlagsAt(at);
  return way;
}

std::string FlagNames(FlagBits flags) {
  std::vector<char> letters;
  for (std::size_t flag = 0; flag < kFlagCount; ++flag)
    if (flags & (1u << flag)) letters.push_back(static_cast<char>(kFlagLetters[flag]));
  std::string out;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    if (i > 0) out += i + 1 == letters.size() ? " and " : ", ";
    out.push_back(letters[i]);
  }
  return out;
}

std::string FlagLetters(FlagBits flags) {
  std::string out;
  for (std::size_t flag = 0; flag < kFlagCount; ++flag)
    if (flags & (1u << flag)) out.push_back(static_cast<char>(kFlagLetters[flag]));
  return out;
}

std::string ReplayOptions(const WayIn& way) {
  std::string out = way.arriving != 0 ? "--flags " + FlagLetters(way.arriving) : "";
  if (!way.keys.empty()) out += (out.empty() ? "" : " ") + std::string("--keys ") + way.keys;
  return out;
}

std::string DescribeWayIn(const WayIn& way) {
  std::string out = way.keys.empty() ? "reached as the story loads" : "reached by the keys " + way.keys;
  if (way.flags != 0) out += ", with " + FlagNames(way.flags) + " set";
  // Flags D and E that this way needs set when the story is loaded, and how to replay it.
  if (way.arriving != 0) {
    const bool one = (way.arriving & (way.arriving - 1)) == 0;
    out += ", once flag" + std::string(one ? " " : "s ") + FlagNames(way.arriving) + (one ? " arrives" : " arrive") +
           " set from an earlier story (qsd play " + ReplayOptions(way) + ")";
  }
  return out;
}

const Arrival* FirstShown(const WalkResult& walk, std::size_t line) {
  const auto found = std::lower_bound(walk.shownFirst.begin(), walk.shownFirst.end(), line,
                                      [](const Arrival& a, std::size_t l) { return a.line < l; });
  return found != walk.shownFirst.end() && found->line == line ? &*found : nullptr;
}

std::optional<Step> FirstStepShowing(const WalkResult& walk, std::size_t line) {
  std::optional<Step> first;
  if (const Arrival* arrival = FirstShown(walk, line)) first = arrival->step;
  auto answer = std::lower_bound(walk.answeredFirst.begin(), walk.answeredFirst.end(), line,
                                 [](const Arrival& a, std::size_t l) { return a.line < l; });
  // The first of the ways that need no earlier story, if there are any.
  const auto order = [&walk](const Step& step) {
    return std::tuple(walk.arriving[step.from] != 0, step.from, step.key);
  };
  for (; answer != walk.answeredFirst.end() && answer->line == line; ++answer)
    if (!first || order(answer->step) < order(*first)) first = answer->step;
  return first;
}

std::vector<std::optional<Step>> FirstShownWith(const WalkResult& walk, const StoryLines& lines,
                                                const std::vector<ShownWith>& questions) {
  std::vector<std::optional<Step>> found(questions.size());
  if (questions.empty()) return found;
  // The line starts asked about, a bit each, so that most states are passed over at a glance.
  std::vector<bool> asked(lines.TextLength() + 2, false);
  std::vector<CommandEffects> effects;
  for (const ShownWith& question : questions) {
    asked[lines.Start(question.line) + 1] = true;
    effects.push_back(SplitScriptLine(lines.Text(question.line)).effects);
  }
  std::size_t left = questions.size();
  for (std::uint32_t state = 0; state < walk.packed.size() && left > 0; ++state) {
    const std::int32_t readPos = walk.ReadPosAt(state);
    if (!asked[static_cast<std::size_t>(readPos)] || walk.ChoosingAt(state)) continue;
    for (std::size_t i = 0; i < questions.size(); ++i) {
      const ShownWith& question = questions[i];
      const bool settled = found[i] && walk.arriving[found[i]->from] == 0;
      if (settled || lines.Start(question.line) + 1 != static_cast<std::size_t>(readPos)) continue;
      if ((effects[i].Apply(walk.FlagsAt(state)) & question.mask) != question.flagsWanted) continue;
      // A way that needs an earlier story is kept until one that needs none is found.
      if (found[i] && walk.arriving[state] != 0) continue;
      found[i] = Step{state, walk.parent[state] == kNoState ? '\0' : 'd'};
      if (walk.arriving[state] == 0) --left;
    }
  }
  return found;
}

namespace {

// What keeps Down from going on past a reached line: "ends with END", "asks a choice", ...
std::string WhyNotReadOn(std::u16string_view line) {
  const ScriptLine parts = SplitScriptLine(line);
  if (parts.Ends()) return "ends with END";
  if (parts.choiceAt != kAbsent) return "asks a choice";
  if (parts.HasJump()) return "jumps";
  return "never reads on";
}

// Why a line that no step shows is not reached, as far as the text around it says: reading
// on from the line before it, or a jump or an answer that leads to it.
std::string WhyUnreached(std::u16string_view text, const StoryLines& lines, const WalkResult& walk, std::size_t line) {
  if (!lines.Terminated(line)) return "it has no line break after it, so reading stops before it";
  std::size_t first = line;  // the first of the unreached lines that end at this one
  while (first > 1 && !walk.lineReached[first - 1]) --first;
  const std::string before = std::to_string(line - 1);
  std::string why;
  if (first < line)
    why = (first + 1 == line ? "line " + before + " before it is"
                             : "lines " + std::to_string(first) + (first + 2 == line ? " and " : " to ") + before +
                                   " before it are") +
          " not reached either";
  if (first > 1) {
    const std::string by = "line " + std::to_string(first - 1) + " " + WhyNotReadOn(lines.Text(first - 1));
    why += why.empty() ? by + ", so reading never goes on to it" : ", as " + by;
  }
  why += why.empty() ? "" : ", and ";
  // A jump finds the first line that begins with its label, so a label used twice
  // leads only to its first line.
  const LinePart label = SplitScriptLine(lines.Text(line)).prefix;
  if (label.Present() && !label.text.empty()) {
    const std::int32_t found = FindLabelLine(text, label.text);
    if (found > 0 && lines.LineAfterBreak(found) < line)
      return why + "a jump or answer to " + Quote(label.text) + " goes to line " +
             std::to_string(lines.LineAfterBreak(found)) + ", the first that begins with it";
  }
  return why + "no jump or answer that a reader reaches leads to it";
}

}  // namespace

Result<WayIn> WayInToLine(std::u16string_view text, const StoryLines& lines, const WalkResult& walk, std::size_t line) {
  if (const std::optional<Step> step = FirstStepShowing(walk, line)) return WayInOf(walk, *step);
  // A walk cut short knows only what it reached.
  if (!walk.complete)
    return Failure("the walk stopped after " + std::to_string(walk.states) + " reader states without reaching line " +
                   std::to_string(line) + ": whether a reader reaches it is not known");
  return Failure("no state reaches line " + std::to_string(line) + ": " + WhyUnreached(text, lines, walk, line));
}

StopPlace ExplainStop(std::u16string_view text, const StoryLines& lines, std::int32_t readPos, FlagBits flags) {
  StopPlace place;
  const std::size_t begin = readPos > 0 ? static_cast<std::size_t>(readPos) - 1 : text.size();
  const std::size_t lineEnd = begin < text.size() ? FindLineBreak(text, begin) : std::u16string_view::npos;
  if (lineEnd == std::u16string_view::npos) {
    // Past the last line break: the unbroken last line, if there is one, is never shown.
    place.line = lines.Count() == 0 ? 1 : lines.Count();
    place.column = begin < text.size() || lines.Count() == 0 ? 1 : lines.Text(place.line).size() + 1;
    return place;
  }
  place.line = lines.LineOf(begin);
  const std::size_t offset = begin - lines.Start(place.line);  // a choice's rest begins inside its line
  const ScriptLine parts = SplitScriptLine(text.substr(begin, lineEnd - begin));
  const LineExits exits = ExitsOf(parts, parts.effects.Apply(flags));
  if (exits.down == Flow::End) {
    place.kind = StopKind::End;
    place.column = offset + parts.effects.keywordAt[kEndKeyword] + 1;
  } else if (exits.down == Flow::Jump) {
    place.kind = StopKind::MissingLabel;
    place.label = exits.target;
    place.column = offset + static_cast<std::size_t>(exits.target.data() - text.substr(begin).data()) + 1;
  }
  return place;
}

StopPlace ExplainChoiceStop(std::u16string_view text, const StoryLines& lines, std::int32_t readPos,
                            std::size_t choiceKey) {
  StopPlace place;
  place.kind = StopKind::MissingChoiceLabel;
  const auto begin = static_cast<std::size_t>(std::max(readPos, 1)) - 1;
  const std::size_t lineEnd = std::min(FindLineBreak(text, begin), text.size());
  place.line = lines.LineOf(begin);
  const ScriptLine parts = SplitScriptLine(text.substr(begin, lineEnd - begin));
  const LinePart& label = parts.choices[choiceKey];
  place.label = label.text;
  place.column = begin - lines.Start(place.line) + (label.Present() ? label.at : 0) + 1;
  return place;
}

StopPlace ExplainStop(std::u16string_view text, const StoryLines& lines, const StopFound& stop) {
  return stop.kind == StopKind::MissingChoiceLabel ? ExplainChoiceStop(text, lines, stop.readPos, stop.choiceKey)
                                                   : ExplainStop(text, lines, stop.readPos, stop.flags);
}

LinePart ShownPart(std::u16string_view line, std::size_t labelLength) {
  const std::u16string_view rest = line.substr(std::min(labelLength, line.size()));
  LinePart shown = SplitScriptLine(rest).Showing();
  shown.at += line.size() - rest.size();
  return shown;
}

std::vector<ShownWidth> WidthsOnWaysIn(const WalkResult& walk, const StoryLines& lines, std::size_t line) {
  std::vector<ShownWidth> widths;
  const auto add = [&](const Arrival& arrival) {
    const LinePart shown = ShownPart(lines.Text(line), arrival.labelLength);
    widths.push_back({arrival.labelLength, shown.at + 1, shown.text.size(), DisplayWidth(shown.text), arrival.step});
  };
  if (const Arrival* arrival = FirstShown(walk, line)) add(*arrival);
  auto answer = std::lower_bound(walk.answeredFirst.begin(), walk.answeredFirst.end(), line,
                                 [](const Arrival& a, std::size_t l) { return a.line < l; });
  for (; answer != walk.answeredFirst.end() && answer->line == line; ++answer) add(*answer);
  return widths;
}

}  // namespace quillshade::qsd
