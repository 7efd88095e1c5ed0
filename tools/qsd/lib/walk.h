// The state walk: every reader state reachable from the start of a story, and how each was first reached.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "story/script_line.h"
#include "story/story.h"
#include "tools/qsd/lib/result.h"

namespace quillshade {
class LabelIndex;
}

namespace quillshade::qsd {

class StoryLines;

// The walk reads the line of every state it visits, so it also stops once it has read
// this many characters. 0, the default, stands for kScanPerCharacter times the story's
// length plus kScanAtLeast: a few times the work of loading the story, whatever its size.
inline constexpr std::uint64_t kDefaultMaxScan = 0;
inline constexpr std::uint64_t kScanPerCharacter = 16;
inline constexpr std::uint64_t kScanAtLeast = 10'000'000;

std::uint64_t ScanLimit(std::uint64_t maxScan, std::size_t storyLength);

inline constexpr std::uint32_t kNoState = 0xFFFFFFFF;

// One step the walk took: the state it was taken from and its key, as `qsd play --keys`
// takes them: 'd' for Down, '1' .. '5' for an answer, '\0' for the step a load takes
// itself.
struct Step {
  std::uint32_t from = kNoState;
  char key = 0;
};

// A story line first shown by a step (as it stands, or after a label when `labelLength`
// is not 0: the rest of a label line, which a choice shows).
struct Arrival {
  std::uint32_t line = 0;         // a story line; while walking, a place in the text
  std::uint32_t labelLength = 0;  // a label is part of one line, which is far shorter
  Step step;
};

// How a way through the story stops.
enum class StopKind : std::uint8_t {
  End,                 // the command END
  MissingLabel,        // a jump whose label no line begins with
  MissingChoiceLabel,  // an answer whose label no line begins with
  EndOfText,           // reading ran past the last line break
};

// A place where the story stops, with the first step that stops there; `readPos` is
// where that step began reading (for a missing answer label: where the choice's line
// was read) and `flags` what the flags were once it stopped.
struct StopFound {
  StopKind kind = StopKind::End;
  std::int32_t readPos = 0;
  std::uint8_t choiceKey = 0;  // MissingChoiceLabel: the key's index, 0 .. 4
  FlagBits flags = 0;
  Step step;
};

struct LoopFound {
  std::vector<std::size_t> lines;  // story lines on the loop, ascending
  std::uint32_t entry = kNoState;  // the state on the loop that the walk reached first
};

// Reader states from which no stop and no endless loop can be reached: the reader goes
// round through choices forever. One per trap, by the line its first step shows.
struct TrapFound {
  std::uint32_t line = 0;  // the line the step into the trap shows
  Step step;               // that step: the first that needs no earlier story, if one does
};

enum class WalkLimit { None, States, Scan, Stopped };

// A line that sets or tests a flag, as the walk read it from the line's start: the flags
// its commands leave set whatever they were, and the flag its jump tests (kFlagCount for
// none); the checks of flag use need nothing more of a line.
struct FlagLine {
  std::uint32_t line = 0;
  FlagBits leavesSet = 0;
  std::uint8_t tested = kFlagCount;
};

// What the walk found, kept as a plain value for the checks, `endings`, `stats`, `graph`
// and the editor to read. States are numbered in the order the walk reached them, which
// is breadth first from all the starts: the way a state was first reached is a shortest
// one. The ways kept to lines, answers and stops are the first that need no earlier
// story when any does, and the first of all otherwise.
struct WalkResult {
  bool complete = true;  // false when a limit was reached
  WalkLimit stoppedBy = WalkLimit::None;
  std::uint64_t states = 0;
  std::vector<bool> lineReached;  // index: story line (1-based; [0] unused)
  std::vector<LoopFound> loops;
  std::vector<TrapFound> traps;  // by line; none when the walk did not complete

  // Per state: ReadPos, the flags and the pending choice, packed; and the step that
  // reached it first (the starts have none).
  std::vector<std::uint64_t> packed;
  std::vector<std::uint32_t> parent;
  std::vector<char> parentKey;
  std::vector<FlagBits> arriving;  // per state: the flags D and E its start had set
  // The first step that showed each reached line as it stands, by line; the first that
  // showed each rest of a line after a label, by line and then label length.
  std::vector<Arrival> shownFirst;
  std::vector<Arrival> answeredFirst;
  std::vector<StopFound> stops;  // one per place, in the order of the text
  // Every line shown as it stands (in shownFirst) was read from its start: those of them
  // that set or test a flag, by line. A line reached only after a label is not here.
  std::vector<FlagLine> flagLines;

  std::int32_t ReadPosAt(std::uint32_t state) const { return static_cast<std::int32_t>(packed[state] & 0x7FFFFFFF); }
  FlagBits FlagsAt(std::uint32_t state) const { return static_cast<FlagBits>((packed[state] >> 31) & 0x1F); }
  bool ChoosingAt(std::uint32_t state) const { return (packed[state] >> 36) != 0; }
};

WalkResult WalkStory(std::u16string_view text, std::uint64_t maxStates, std::uint64_t maxScan = kDefaultMaxScan,
                     const std::atomic<bool>* stop = nullptr);

// WalkStory over lines and labels already indexed.
WalkResult WalkStoryLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& labels,
                          std::uint64_t maxStates, std::uint64_t maxScan, const std::atomic<bool>* stop);

// The keys that take the reader from loading the story through a step, and the flags:
// those that must arrive set from an earlier story (D and E only), and those set just
// before the step.
struct WayIn {
  std::string keys;
  FlagBits arriving = 0;
  FlagBits flags = 0;
};

WayIn WayInOf(const WalkResult& walk, Step step);
// Down from a state, or the load's own step from a start.
inline Step DownFrom(const WalkResult& walk, std::uint32_t state) {
  return {state, walk.parent[state] == kNoState ? '\0' : 'd'};
}

// "reached by the keys dd2d, with A set", and what must arrive set, with the options of
// `qsd play` that replay it then.
std::string DescribeWayIn(const WayIn& way);
// The options of `qsd play` that replay a way: "--flags D --keys dd2d".
std::string ReplayOptions(const WayIn& way);

// The way to the first step that shows `line` as a caption, its first line being 1;
// otherwise why no state reaches it, or that the walk stopped before it could tell.
Result<WayIn> WayInToLine(std::u16string_view text, const StoryLines& lines, const WalkResult& walk, std::size_t line);

// "A", "A and D", "A, B and D".
std::string FlagNames(FlagBits flags);
// "AD": the letters alone, as `qsd play --flags` and scripts take them.
std::string FlagLetters(FlagBits flags);

// The first step that showed the line as it stands, if any; with `flagsWanted`, the first
// whose flags, once the line's commands have acted, hold `flagsWanted` within `mask`.
// Why a step that began reading at `readPos` stopped the story, the flags as it left them,
// and where: END, a jump's missing label, or the end of the text.
struct StopPlace {
  StopKind kind = StopKind::EndOfText;
  std::size_t line = 1;
  std::size_t column = 1;
  std::u16string_view label;  // the label no line begins with, a view into the text
};
StopPlace ExplainStop(std::u16string_view text, const StoryLines& lines, std::int32_t readPos, FlagBits flags);
// An answer whose label no line begins with: the choice was read from `readPos`.
StopPlace ExplainChoiceStop(std::u16string_view text, const StoryLines& lines, std::int32_t readPos,
                            std::size_t choiceKey);
StopPlace ExplainStop(std::u16string_view text, const StoryLines& lines, const StopFound& stop);

const Arrival* FirstShown(const WalkResult& walk, std::size_t line);
// A line reached only through answers is shown first by one of them.
std::optional<Step> FirstStepShowing(const WalkResult& walk, std::size_t line);
struct ShownWith {
  std::size_t line = 0;
  FlagBits mask = 0;
  FlagBits flagsWanted = 0;
};
// One answer per question, found in one pass over the states for them all.
std::vector<std::optional<Step>> FirstShownWith(const WalkResult& walk, const StoryLines& lines,
                                                const std::vector<ShownWith>& questions);

// How wide a line is on one way the reader reaches it, in title-bar columns: as it
// stands (read on to, or jumped to; labelLength 0) or after a label (answered).
struct ShownWidth {
  std::size_t labelLength = 0;
  std::size_t column = 1;  // where the shown text begins
  std::size_t length = 0;  // its code units
  std::size_t width = 0;
  Step step;               // the first step that shows it so
};

// The widths of a line on each way the walk reached it; an editor's hover asks this.
std::vector<ShownWidth> WidthsOnWaysIn(const WalkResult& walk, const StoryLines& lines, std::size_t line);
// The line's shown text as it stands, or after a label of `labelLength` units.
LinePart ShownPart(std::u16string_view line, std::size_t labelLength = 0);

}  // namespace quillshade::qsd
