// The exhaustive walk over every reader state reachable from the start of a story.
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "story/choice.h"
#include "story/line_interpreter.h"
#include "story/script_line.h"
#include "story/story.h"
#include "story/text.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {
namespace {

// A reader state, packed: ReadPos (31 bits, never negative), the five flags (5 bits),
// and the pending choice list as an index into the lists seen (28 bits; 0 is none).
// Story text never changes during a walk, so these are all a state has.
using PackedState = std::uint64_t;
constexpr std::uint32_t kMaxChoiceLists = (1u << 28) - 1;
constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::size_t kBatch = 64;  // states stepped before the states they lead to are added

// Open addressing from a packed state to its number: far smaller per state than a
// node-based map, which is what lets the walk hold millions of states. A slot holds the
// state's number and 32 bits of its hash, so that a probe rarely reads the state itself.
class StateTable {
 public:
  // Room for `expected` states from the start, so that a large walk does not spend its
  // time moving them to ever larger tables.
  explicit StateTable(std::size_t expected) {
    std::size_t slots = 1024;
    while (slots < 2 * expected) slots *= 2;
    slots_.assign(slots, kEmpty);
  }

  // The number of the state among `states`, and whether it was new: it is then given the
  // number `states.size()` for the caller to add, unless `full`, when it is left out.
  std::pair<std::uint32_t, bool> Insert(PackedState key, const std::vector<PackedState>& states, bool full) {
    if ((count_ + 1) * 2 > slots_.size()) Grow(states);
    const std::uint64_t hash = Hash(key);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = hash & (slots_.size() - 1);; slot = (slot + 1) & (slots_.size() - 1)) {
      if (slots_[slot] == kEmpty) {
        if (full) return {kNone, true};
        const auto number = static_cast<std::uint32_t>(states.size());
        slots_[slot] = std::uint64_t{tag} << 32 | number;
        ++count_;
        return {number, true};
      }
      const auto number = static_cast<std::uint32_t>(slots_[slot]);
      if (slots_[slot] >> 32 == tag && states[number] == key) return {number, false};
    }
  }

  // Asks for the slot where a probe for the state begins, ahead of the probe.
  void Prefetch(PackedState key) const {
#if defined(__GNUC__)
    __builtin_prefetch(&slots_[Hash(key) & (slots_.size() - 1)]);
#else
    (void)key;
#endif
  }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  static std::uint64_t Hash(PackedState key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ULL;
    return key ^ (key >> 33);
  }

  void Grow(const std::vector<PackedState>& states) {
    slots_.assign(slots_.size() * 2, kEmpty);
    for (std::size_t number = 0; number < states.size(); ++number) {
      const std::uint64_t hash = Hash(states[number]);
      std::size_t slot = hash & (slots_.size() - 1);
      while (slots_[slot] != kEmpty) slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = (hash >> 32) << 32 | number;
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t count_ = 0;
};

std::uint64_t ScanLimit(std::uint64_t maxScan, std::size_t storyLength) {
  return maxScan != kDefaultMaxScan ? maxScan : kScanPerCharacter * storyLength + kScanAtLeast;
}

class Walker {
 public:
  Walker(std::u16string_view text, const StoryLines& lines, const LabelIndex& labels, std::uint64_t maxStates,
         std::uint64_t maxScan, const std::atomic<bool>* stop)
      : text_(text),
        lines_(lines),
        labels_(labels),
        maxStates_(maxStates),
        maxScan_(ScanLimit(maxScan, text.size())),
        stop_(stop),
        // Each line is usually read with a few mixes of the flags; the limit caps the guess.
        table_(std::min<std::uint64_t>(maxStates, 4 * static_cast<std::uint64_t>(lines.Count()) + 64)) {
    choiceLists_.emplace_back();
    shownAt_ = IndexSet(text_.size());
  }

  WalkResult Run() {
    // A load sets ReadPos to 1 and clears A, B and C; D and E may arrive set, and no
    // choice is pending. The load's own first step is then an ordinary Down step.
    for (FlagBits carried = 0; carried <= kCarriedFlags; carried = static_cast<FlagBits>(carried + 1)) {
      if (carried & ~kCarriedFlags) continue;
      Story start;
      start.ReadPos = 1;
      SetFlags(start, carried);
      if (!Add(start)) break;
    }
    // A batch of states is stepped first and the states they lead to added after, in the
    // same order: the table's slots for those are then fetched from memory together
    // rather than one after another.
    for (std::size_t next = 0; next < states_.size() && result_.complete;) {
      const std::size_t end = std::min(states_.size(), next + kBatch);
      bool goOn = true;
      for (; next < end && goOn; ++next) goOn = Visit(static_cast<std::uint32_t>(next));
      if (!AddPending()) break;
    }
    result_.states = states_.size();
    MarkLinesReached();
    if (result_.complete) FindLoops();
    return std::move(result_);
  }

 private:
  PackedState Pack(const Story& story) {
    const std::uint64_t flags = FlagsOf(story);
    return static_cast<std::uint64_t>(std::max<std::int32_t>(story.ReadPos, 0)) | (flags << 31) |
           (static_cast<std::uint64_t>(ChoiceIndex(story.ChoiceList)) << 36);
  }

  void Unpack(PackedState state) {
    story_.ReadPos = static_cast<std::int32_t>(state & 0x7FFFFFFF);
    SetFlags(story_, static_cast<FlagBits>((state >> 31) & 0x1F));
    story_.ChoiceList = choiceLists_[static_cast<std::size_t>(state >> 36)];
  }

  std::uint32_t ChoiceIndex(const std::u16string& list) {
    if (list.empty()) return 0;
    const auto found = choiceIndex_.find(list);
    if (found != choiceIndex_.end()) return found->second;
    // Every list comes from the text of one line, so there are never more lists than
    // lines; the cap only guards the packing.
    const auto index = static_cast<std::uint32_t>(std::min<std::size_t>(choiceLists_.size(), kMaxChoiceLists));
    choiceLists_.push_back(list);
    choiceIndex_.emplace(list, index);
    return index;
  }

  // Adds a state if it is new, its number given through `number`; false once the limit is reached.
  bool Add(const Story& story, std::uint32_t* number = nullptr) { return Add(Pack(story), number); }

  // A state that a visit leads to, added once its batch has been visited.
  struct Pending {
    PackedState key;
    std::uint32_t from;  // the state visited
    bool down;           // reached by Down, rather than by a choice key
  };

  void Defer(std::uint32_t from, bool down) { pending_.push_back({Pack(story_), from, down}); }

  // Adds the states the batch led to, in the order they were reached; false once the
  // limit is reached, which then stopped the walk before anything the batch did later.
  bool AddPending() {
    for (const Pending& next : pending_) table_.Prefetch(next.key);
    bool added = true;
    for (const Pending& next : pending_) {
      std::uint32_t number = kNone;
      if (!Add(next.key, &number)) {
        added = false;
        break;
      }
      if (next.down) downNext_[next.from] = number;
    }
    pending_.clear();
    return added;
  }

  bool Add(PackedState packed, std::uint32_t* number) {
    const auto [index, added] = table_.Insert(packed, states_, states_.size() >= maxStates_);
    if (added) {
      if (index == kNone) {
        result_.complete = false;
        result_.stoppedBy = WalkLimit::States;
        return false;
      }
      states_.push_back(packed);
      downNext_.push_back(kNone);
    }
    if (number) *number = index;
    return true;
  }

  void MarkStep(std::int32_t readPos, const LineStep& step) {
    if (!step.shownText || readPos <= 0) return;
    // The empty step that a jump makes on the line break before its label line shows
    // no line of the story.
    if (IsJumpLanding(text_, readPos)) return;
    shownAt_.Add(static_cast<std::size_t>(readPos) - 1);
  }

  // Charges the characters a step reads before it is taken; false once the budget is
  // spent. A step reads its line; labels are found through the index, not searched for.
  bool Charge(std::uint64_t characters) {
    if (stop_ && stop_->load(std::memory_order_relaxed)) {
      result_.complete = false;
      result_.stoppedBy = WalkLimit::Stopped;
      return false;
    }
    if (scanned_ + characters > maxScan_) {
      result_.complete = false;
      result_.stoppedBy = WalkLimit::Scan;
      return false;
    }
    scanned_ += characters;
    return true;
  }

  std::uint64_t StepCost(std::int32_t readPos) const {
    const auto begin = std::min(static_cast<std::size_t>(readPos) - 1, text_.size());
    const std::size_t lineEnd = FindLineBreak(text_, begin);
    return (lineEnd == std::u16string_view::npos ? text_.size() : lineEnd) - begin + 1;
  }

  // Steps from one state, deferring the states it leads to; false once a limit stops
  // the walk.
  bool Visit(std::uint32_t number) {
    const PackedState state = states_[number];
    Unpack(state);
    if (story_.ChoiceList.empty()) {
      if (story_.ReadPos <= 0) return true;  // stopped: only a new load leaves this state
      const std::int32_t readPos = story_.ReadPos;
      if (!Charge(StepCost(readPos))) return false;
      const LineStep step = ReadNextLine(text_, labels_, story_);
      story_.ReadPos = step.nextPos;
      MarkStep(readPos, step);
      Defer(number, true);
      return true;
    }
    // A pending choice: Down does nothing, each key with a label answers it.
    const std::u16string list = story_.ChoiceList;
    for (std::int32_t key = 0; key < static_cast<std::int32_t>(kChoiceKeyCount); ++key) {
      const std::u16string label = PickField(list, key);
      if (label.empty()) continue;
      Unpack(state);
      const std::int32_t labelLine = labels_.Find(label).first;
      // The rest of the label line, which may jump.
      if (labelLine > 0 && !Charge(StepCost(LabelLineStart(labelLine)))) return false;
      const std::optional<std::u16string_view> shown = ChooseBranch(text_, labels_, story_, key);
      if (shown && labelLine > 0) shownAt_.Add(static_cast<std::size_t>(LabelLineStart(labelLine)) - 1);
      Defer(number, false);
    }
    return true;
  }

  // The lines that hold a place where a step began showing a line: a bit a character
  // while walking, cheaper than looking up the line of every step.
  void MarkLinesReached() {
    result_.lineReached.assign(lines_.Count() + 1, false);
    std::size_t line = 1;
    shownAt_.ForEach([&](std::size_t at) {
      while (line < lines_.Count() && lines_.Start(line + 1) <= at) ++line;
      result_.lineReached[line] = true;
    });
    shownAt_ = IndexSet(0);
  }

  // Down goes from each state without a pending choice to exactly one next state, so a
  // loop is a cycle of that function; every such cycle lacks a choice and an END.
  void FindLoops() {
    enum : std::uint8_t { kUnseen, kOnPath, kDone };
    std::vector<std::uint8_t> mark(states_.size(), kUnseen);
    std::set<std::vector<std::size_t>> seen;
    std::vector<std::uint32_t> path;
    for (std::uint32_t start = 0; start < states_.size(); ++start) {
      path.clear();
      std::uint32_t at = start;
      while (at != kNone && mark[at] == kUnseen) {
        mark[at] = kOnPath;
        path.push_back(at);
        at = downNext_[at];
      }
      if (at != kNone && mark[at] == kOnPath) {
        std::vector<std::size_t> loopLines;
        for (auto it = std::find(path.begin(), path.end(), at); it != path.end(); ++it) {
          const auto readPos = static_cast<std::int32_t>(states_[*it] & 0x7FFFFFFF);
          if (IsJumpLanding(text_, readPos)) continue;
          loopLines.push_back(lines_.LineOf(static_cast<std::size_t>(readPos) - 1));
        }
        std::sort(loopLines.begin(), loopLines.end());
        loopLines.erase(std::unique(loopLines.begin(), loopLines.end()), loopLines.end());
        if (seen.insert(loopLines).second) result_.loops.push_back(LoopFound{loopLines});
      }
      for (const std::uint32_t done : path) mark[done] = kDone;
    }
    std::sort(result_.loops.begin(), result_.loops.end(),
              [](const LoopFound& a, const LoopFound& b) { return a.lines < b.lines; });
  }

  std::u16string_view text_;
  const StoryLines& lines_;   // the check's own indexes of the lines and the labels, not a second one
  const LabelIndex& labels_;
  std::uint64_t maxStates_;
  std::uint64_t maxScan_;
  const std::atomic<bool>* stop_;
  std::uint64_t scanned_ = 0;
  Story story_;  // the one working state, without the text: it is reset per step
  WalkResult result_;
  StateTable table_;
  std::vector<PackedState> states_;
  IndexSet shownAt_{0};  // 0-based text indexes where a step began showing a line
  std::vector<std::uint32_t> downNext_;  // by state: the state Down leads to; kNone after a choice
  std::vector<Pending> pending_;          // the states the batch being visited leads to
  std::vector<std::u16string> choiceLists_;
  std::unordered_map<std::u16string, std::uint32_t> choiceIndex_;
};

}  // namespace

WalkResult WalkStory(std::u16string_view text, std::uint64_t maxStates, std::uint64_t maxScan,
                     const std::atomic<bool>* stop) {
  return Walker(text, StoryLines(text), LabelIndex(text), maxStates, maxScan, stop).Run();
}

WalkResult WalkStoryLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& labels,
                          std::uint64_t maxStates, std::uint64_t maxScan, const std::atomic<bool>* stop) {
  return Walker(text, lines, labels, maxStates, maxScan, stop).Run();
}

}  // namespace quillshade::qsd

namespace quillshade::qsd {
namespace {

std::string LineList(const std::vector<std::size_t>& lines) {
  std::string out;
  const std::size_t shown = std::min<std::size_t>(lines.size(), 6);
  for (std::size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + std::to_string(lines[i]);
  if (shown < lines.size()) out += " and " + std::to_string(lines.size() - shown) + " more";
  return out;
}

void ReportUnreached(const StoryLines& lines, const WalkResult& walk, DiagnosticSink& sink) {
  // One message per run of unreached lines; blank lines show nothing, so they are not
  // named, but they do not end a run either.
  std::size_t first = 0;
  std::size_t last = 0;
  const auto flush = [&] {
    if (first == 0) return;
    if (first == last)
      sink.Add("unreachable", first, 1, lines.Text(first).size(), "no way through the story reaches this line");
    else if (Diagnostic* run = sink.Add("unreachable", first, 1, lines.Text(first).size(),
                                        "no way through the story reaches lines " + std::to_string(first) + " to " +
                                            std::to_string(last)))
      run->lastLine = static_cast<std::int64_t>(last);
    first = last = 0;
  };
  for (std::size_t line = 1; line <= lines.Count(); ++line) {
    if (!lines.Terminated(line) || walk.lineReached[line]) {
      flush();
      continue;
    }
    if (TrimSpaces(lines.Text(line)).empty()) continue;
    if (first == 0) first = line;
    last = line;
  }
  flush();
}

// The first reached line that sets each flag (and does not clear it again), and the
// first reached jump that tests each flag.
void RecordFlagUse(const StoryLines& lines, const WalkResult& walk, FlagUse& flags) {
  for (std::size_t line = 1; line <= lines.Count(); ++line) {
    if (!walk.lineReached[line]) continue;
    const ScriptLine parts = SplitScriptLine(lines.Text(line));
    const FlagBits set = parts.effects.LeavesSet();
    for (std::size_t flag = 0; flag < kFlagCount; ++flag) {
      if (!(set & (1u << flag)) || (flags.set & (1u << flag))) continue;
      flags.set = static_cast<FlagBits>(flags.set | (1u << flag));
      // Pointed at the keyword that sets it, such as the BON of ":: BON".
      std::size_t keyword = 0;
      while (kKeywords[keyword].kind != CommandKind::Set || kKeywords[keyword].flag != flag) ++keyword;
      flags.firstSet[flag] = Diagnostic{static_cast<std::int64_t>(line),
                                        static_cast<std::int64_t>(parts.effects.keywordAt[keyword] + 1),
                                        static_cast<std::int64_t>(kKeywords[keyword].text.size()),
                                        Severity::Warning, {}, {}, {}};
    }
    const std::size_t flag = ExitsOf(parts, 0).testedFlag;
    if (flag == kFlagCount || (flags.tested & (1u << flag))) continue;
    flags.tested = static_cast<FlagBits>(flags.tested | (1u << flag));
    flags.firstTest[flag] = Diagnostic{static_cast<std::int64_t>(line), static_cast<std::int64_t>(parts.flagMarkerAt + 1),
                                       static_cast<std::int64_t>(kJumpMarker.size() + 1), Severity::Warning, {}, {}, {}};
  }
}

}  // namespace

void CheckFlow(std::u16string_view text, const StoryLines& lines, const WalkResult& walk, const CheckOptions& options,
               DiagnosticSink& sink, FlagUse& flags) {
  if (walk.stoppedBy == WalkLimit::Stopped) return;  // nobody waits for the result
  if (!walk.complete) {
    const std::string why = walk.stoppedBy == WalkLimit::States
                                ? "after " + std::to_string(walk.states) + " reader states (--max-states)"
                                : "once it had read " + std::to_string(ScanLimit(options.maxScan, text.size())) +
                                      " characters (--max-scan)";
    sink.Add("walk-limit", 1, 1, 0,
             "stopped walking the story " + why + ": unreached lines, endless loops and flag use were not checked");
    return;
  }
  ReportUnreached(lines, walk, sink);
  for (const LoopFound& loop : walk.loops)
    sink.Add("endless-loop", loop.lines.front(), 1, lines.Text(loop.lines.front()).size(),
             "Down can go round line" + std::string(loop.lines.size() > 1 ? "s " : " ") + LineList(loop.lines) +
                 " forever: no choice and no END on the way");

  RecordFlagUse(lines, walk, flags);
  // Flags A, B and C start cleared in every story; D and E are judged across stories.
  constexpr auto kOwnFlags = static_cast<FlagBits>(((1u << kFlagCount) - 1) & ~kCarriedFlags);
  ReportFlagUse(flags, kOwnFlags, flags.set, flags.tested, false, sink);
}

}  // namespace quillshade::qsd
