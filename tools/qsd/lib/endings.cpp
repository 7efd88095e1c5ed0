// The endings of a story, read off the walk: its stops and its endless loops.
#include "tools/qsd/lib/endings.h"

#include <algorithm>
#include <tuple>

#include "story/text.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {
namespace {

EndingKind KindOf(StopKind kind) {
  switch (kind) {
    case StopKind::End: return EndingKind::End;
    case StopKind::MissingLabel: return EndingKind::MissingLabel;
    case StopKind::MissingChoiceLabel: return EndingKind::MissingChoiceLabel;
    case StopKind::EndOfText: break;
  }
  return EndingKind::EndOfText;
}

std::string LoopLines(const std::vector<std::size_t>& loop) {
  std::string out;
  for (std::size_t i = 0; i < loop.size(); ++i) {
    if (i > 0) out += i + 1 == loop.size() ? " and " : ", ";
    out += std::to_string(loop[i]);
  }
  return out;
}

}  // namespace

std::string_view EndingKindName(EndingKind kind) {
  switch (kind) {
    case EndingKind::End: return "end";
    case EndingKind::MissingLabel: return "missing-label";
    case EndingKind::MissingChoiceLabel: return "missing-choice-label";
    case EndingKind::EndOfText: return "end-of-text";
    case EndingKind::EndlessLoop: break;
  }
  return "endless-loop";
}

std::size_t LinesShownOnWay(std::u16string_view text, const WalkResult& walk, Step step, bool lastShows) {
  std::size_t shown = lastShows ? 1 : 0;
  // Every step before it shows a line, but the empty one on the line break before a
  // jump's label line.
  for (std::uint32_t at = step.from; walk.parent[at] != kNoState; at = walk.parent[at]) {
    const std::uint32_t from = walk.parent[at];
    const char key = walk.parentKey[at];
    if (key != 'd' && key != '\0') ++shown;
    else if (!IsJumpLanding(text, walk.ReadPosAt(from))) ++shown;
  }
  return shown;
}

std::vector<Ending> FindEndings(std::u16string_view text, const StoryLines& lines, const WalkResult& walk) {
  std::vector<Ending> endings;
  for (const StopFound& stop : walk.stops) {
    const StopPlace place = ExplainStop(text, lines, stop);
    Ending ending;
    ending.kind = KindOf(place.kind);
    ending.line = place.line;
    ending.column = place.column;
    ending.flags = stop.flags;
    ending.way = WayInOf(walk, stop.step);
    switch (ending.kind) {
      case EndingKind::End:
        ending.message = "END";
        break;
      case EndingKind::MissingLabel:
        ending.message = "no line begins with " + Quote(place.label) + ": the jump stops the story";
        break;
      case EndingKind::MissingChoiceLabel:
        ending.message = "no line begins with " + Quote(place.label) + ": answering " +
                         std::to_string(stop.choiceKey + 1) + " stops the story";
        break;
      default:
        ending.message = lines.Terminated(lines.Count())
                             ? "the text ends after line " + std::to_string(place.line) + ": reading stops"
                             : "line " + std::to_string(place.line) +
                                   " has no line break after it: it is never shown, and reading stops";
        break;
    }
    // The key that stops the story shows the line, unless it found nothing to show.
    const bool shows = ending.kind == EndingKind::End || ending.kind == EndingKind::MissingLabel;
    ending.linesShown = LinesShownOnWay(text, walk, stop.step, shows);
    endings.push_back(std::move(ending));
  }
  for (const LoopFound& loop : walk.loops) {
    if (loop.entry == kNoState) continue;
    Ending ending;
    ending.kind = EndingKind::EndlessLoop;
    ending.line = loop.lines.front();
    ending.message = "Down goes round line" + std::string(loop.lines.size() > 1 ? "s " : " ") + LoopLines(loop.lines) +
                     " forever";
    ending.flags = walk.FlagsAt(loop.entry);
    const Step step = DownFrom(walk, loop.entry);
    ending.way = WayInOf(walk, step);
    ending.linesShown = LinesShownOnWay(text, walk, step, true);
    ending.loop = loop.lines;
    endings.push_back(std::move(ending));
  }
  std::stable_sort(endings.begin(), endings.end(),
                   [](const Ending& a, const Ending& b) { return std::tie(a.line, a.column) < std::tie(b.line, b.column); });
  return endings;
}

std::string WalkLimitText(const WalkResult& walk, std::uint64_t maxScan, std::size_t storyLength) {
  if (walk.stoppedBy == WalkLimit::States)
    return "the walk stopped after " + std::to_string(walk.states) + " reader states (--max-states)";
  return "the walk stopped once it had read " + std::to_string(ScanLimit(maxScan, storyLength)) +
         " characters (--max-scan)";
}

}  // namespace quillshade::qsd
