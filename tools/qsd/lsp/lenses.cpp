// Lenses above the places a story stops, each with the shortest way the reader gets there.
#include "tools/qsd/lsp/features.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "tools/qsd/lib/endings.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd::lsp {
namespace {

std::string EndingTitle(const Ending& ending) {
  return (ending.kind == EndingKind::End ? std::string("END") : ending.message) + ", " + WayInText(ending.way);
}

// Whether ">>A" .. ">>E" stands on the line, which a jump on a flag needs (the line's
// split decides whether it is one): most lines a walk reaches need not be split.
bool MayJumpOnAFlag(std::u16string_view line) {
  for (std::size_t at = line.find(kJumpMarker); at != std::u16string_view::npos; at = line.find(kJumpMarker, at + 1))
    if (at + kJumpMarker.size() < line.size() &&
        kFlagLetters.find(line[at + kJumpMarker.size()]) != std::u16string_view::npos)
      return true;
  return false;
}

}  // namespace

std::string WayInText(const WayIn& way) {
  if (way.keys.size() <= kMaxShownKeys) return DescribeWayIn(way);
  WayIn cut = way;
  cut.keys = way.keys.substr(0, kMaxShownKeys) + "… (" + std::to_string(way.keys.size()) + " keys)";
  return DescribeWayIn(cut);
}

std::vector<Lens> Lenses(const StoryDocument& story, const WalkResult& walk, const CancelCheck& cancel) {
  std::vector<Lens> lenses;
  if (!story.textSource || !story.loadable) return lenses;
  const auto add = [&](std::size_t line, std::size_t column, std::string title) {
    if (lenses.size() < kMaxLenses) lenses.push_back({story.EditorRange(line, column - 1, 0), std::move(title)});
  };
  // What is reached is an ending, as `qsd endings` lists it.
  std::set<std::pair<std::size_t, std::size_t>> reachedEnds;
  for (const Ending& ending : FindEndings(story.text, story.Lines(), walk)) {
    const std::size_t before = lenses.size();
    add(ending.line, ending.column, EndingTitle(ending));
    reachedEnds.emplace(ending.line, ending.column);
    // The reader is shown this line on the way to the ending, so a play pane can go there.
    if (lenses.size() > before && ending.line < walk.lineReached.size() && walk.lineReached[ending.line])
      lenses.back().playTo = ending.line;
  }
  // A walk cut short cannot tell the endings: one lens on the first line says why.
  if (!walk.complete) {
    add(1, 1, "endings not known: " + WalkLimitText(walk, kDefaultMaxScan, story.text.size()));
    return lenses;
  }
  for (std::size_t line = 1; line <= story.LineCount() && lenses.size() < kMaxLenses; ++line) {
    cancel.Poll(line);
    // A line reached may still have a way out never taken: a jump on a flag that every
    // way in finds set, or every way finds clear.
    const bool reached = line < walk.lineReached.size() && walk.lineReached[line];
    if (reached && !MayJumpOnAFlag(story.Line(line))) continue;
    if (!story.Terminated(line)) continue;  // never shown: the end of the text's own lens covers it
    if (!reached && story.Script(line).Ends()) {
      add(line, 1, "END, never reached");
      continue;
    }
    for (const LabelUse& use : LabelUsesOf(story, line)) {
      const bool eitherWay = use.kind == LabelUse::Kind::IfSet || use.kind == LabelUse::Kind::IfNotSet;
      if ((reached && !eitherWay) || !use.followed || story.LabelLine(use.part.text) != 0) continue;
      if (!reachedEnds.contains({line, use.part.at + 1}))
        add(line, use.part.at + 1, "no line begins with " + Quote(use.part.text) + ", never reached");
    }
  }
  std::stable_sort(lenses.begin(), lenses.end(), [](const Lens& a, const Lens& b) {
    return std::tie(a.range.start.line, a.range.start.character) < std::tie(b.range.start.line, b.range.start.character);
  });
  return lenses;
}

}  // namespace quillshade::qsd::lsp
