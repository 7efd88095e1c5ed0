// The exhaustive walk over every reader state reachable from the start of a story.
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "story/choice.h"
#include "story/line_interpreter.h"
#include "story/script_line.h"
#include "story/story.h"
#include "story/text.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/walk.h"

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
      if (!Add(Pack(start), {kNoState, 0})) break;
      ++starts_;
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
    SortStops();
    result_.packed = std::move(states_);
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
    choiceListAt_.push_back(stepAt_);
    // Every list comes from the text of one line, so there are never more lists than
    // lines; the cap only guards the packing.
    const auto index = static_cast<std::uint32_t>(std::min<std::size_t>(choiceLists_.size(), kMaxChoiceLists));
    choiceLists_.push_back(list);
    choiceIndex_.emplace(list, index);
    return index;
  }

  // A state that a visit leads to, added once its batch has been visited.
  struct Pending {
    PackedState key;
    Step step;  // the state visited and the key
  };

  void Defer(Step step) { pending_.push_back({Pack(story_), step}); }

  // Down, or the step a load takes itself from one of the starts.
  Step DownFrom(std::uint32_t number) const { return {number, number < starts_ ? '\0' : 'd'}; }

  // Adds the states the batch led to, in the order they were reached; false once the
  // limit is reached, which then stopped the walk before anything the batch did later.
  bool AddPending() {
    for (const Pending& next : pending_) table_.Prefetch(next.key);
    bool added = true;
    for (const Pending& next : pending_) {
      std::uint32_t number = kNone;
      if (!Add(next.key, next.step, &number)) {
        added = false;
        break;
      }
      if (next.step.key == 'd' || next.step.key == '\0') downNext_[next.step.from] = number;
    }
    pending_.clear();
    return added;
  }

  bool Add(PackedState packed, Step step, std::uint32_t* number = nullptr) {
    const auto [index, added] = table_.Insert(packed, states_, states_.size() >= maxStates_);
    if (added) {
      if (index == kNone) {
        result_.complete = false;
        result_.stoppedBy = WalkLimit::States;
        return false;
      }
      states_.push_back(packed);
      downNext_.push_back(kNone);
      result_.parent.push_back(step.from);
      result_.parentKey.push_back(step.key);
    }
    if (number) *number = index;
    return true;
  }

  void MarkStep(std::int32_t readPos, const LineStep& step, Step how) {
    if (!step.shownText || readPos <= 0) return;
    // The empty step that a jump makes on the line break before its label line shows
    // no line of the story.
    if (IsJumpLanding(text_, readPos)) return;
    MarkShown(static_cast<std::size_t>(readPos) - 1, how);
  }

  // The first step to show a place is kept: the breadth-first order makes it a shortest.
  void MarkShown(std::size_t index, Step how) {
    if (shownAt_.Has(index)) return;
    shownAt_.Add(index);
    firstShown_.push_back({static_cast<std::uint32_t>(index), 0, how});  // text positions fit ReadPos
  }

  // A step that left the story stopped, kept once per place.
  void MarkStop(StopKind kind, std::int32_t readPos, std::uint8_t choiceKey, Step how) {
    const std::uint64_t place = static_cast<std::uint64_t>(readPos) << 4 | (kind == StopKind::MissingChoiceLabel ? 8u : 0u) | choiceKey;
    if (!stopsSeen_.insert(place).second) return;
    result_.stops.push_back({kind, readPos, choiceKey, FlagsOf(story_), how});
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
      MarkStep(readPos, step, DownFrom(number));
      if (story_.ReadPos <= 0 && story_.ChoiceList.empty()) MarkStop(StopKind::End, readPos, 0, DownFrom(number));
      stepAt_ = readPos;
      Defer(DownFrom(number));
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
      const Step how{number, static_cast<char>('1' + key)};
      const std::optional<std::u16string_view> shown = ChooseBranch(text_, labels_, story_, key);
      const std::int32_t restAt = ChoiceResumePos(labelLine, label.size());
      if (shown && labelLine > 0) {
        // The label line's start, kept apart from the lines shown as they stand.
        if (answersSeen_.insert(static_cast<std::uint64_t>(labelLine) << 32 | label.size()).second)
          answeredFirst_.push_back(
              {static_cast<std::uint32_t>(labelLine) + 1, static_cast<std::uint32_t>(label.size()), how});
      }
      if (story_.ReadPos <= 0 && story_.ChoiceList.empty()) {
        if (labelLine > 0) MarkStop(StopKind::End, restAt, 0, how);
        else MarkStop(StopKind::MissingChoiceLabel, choiceListAt_[state >> 36], static_cast<std::uint8_t>(key), how);
      }
      stepAt_ = restAt;
      Defer(how);
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
    // Places to lines, each line keeping the step that showed it first.
    const auto byPlace = [](const Arrival& a, const Arrival& b) { return a.line < b.line; };
    std::sort(firstShown_.begin(), firstShown_.end(), byPlace);
    for (Arrival& arrival : firstShown_) arrival.line = static_cast<std::uint32_t>(lines_.LineOf(arrival.line));
    for (const Arrival& arrival : firstShown_) {
      std::vector<Arrival>& kept = result_.shownFirst;
      if (!kept.empty() && kept.back().line == arrival.line) {
        if (Earlier(arrival.step, kept.back().step)) kept.back() = arrival;
      } else {
        kept.push_back(arrival);
      }
    }
    std::vector<Arrival>().swap(firstShown_);
    for (Arrival& arrival : answeredFirst_) {
      arrival.line = static_cast<std::uint32_t>(lines_.LineOf(arrival.line));
      result_.lineReached[arrival.line] = true;
    }
    std::sort(answeredFirst_.begin(), answeredFirst_.end(), [](const Arrival& a, const Arrival& b) {
      return std::tie(a.line, a.labelLength) < std::tie(b.line, b.labelLength);
    });
    result_.answeredFirst = std::move(answeredFirst_);
  }

  // Steps were taken in the order of their states, and a state's keys in turn.
  static bool Earlier(Step a, Step b) { return std::tie(a.from, a.key) < std::tie(b.from, b.key); }

  // What each stop is, from the line it stopped on; the order of the text.
  void SortStops() {
    for (StopFound& stop : result_.stops)
      if (stop.kind != StopKind::MissingChoiceLabel) stop.kind = ExplainStop(text_, lines_, stop).kind;
    std::sort(result_.stops.begin(), result_.stops.end(), [](const StopFound& a, const StopFound& b) {
      return std::tie(a.readPos, a.choiceKey) < std::tie(b.readPos, b.choiceKey);
    });
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
        const auto cycle = std::find(path.begin(), path.end(), at);
        for (auto it = cycle; it != path.end(); ++it) {
          const auto readPos = static_cast<std::int32_t>(states_[*it] & 0x7FFFFFFF);
          if (IsJumpLanding(text_, readPos)) continue;
          loopLines.push_back(lines_.LineOf(static_cast<std::size_t>(readPos) - 1));
        }
        std::sort(loopLines.begin(), loopLines.end());
        // The way in is the one to the loop's first line that the walk reached first.
        std::uint32_t entry = kNone;
        for (auto it = cycle; it != path.end(); ++it) {
          const auto index = static_cast<std::size_t>(states_[*it] & 0x7FFFFFFF) - 1;
          if (lines_.Start(loopLines.front()) == index) entry = std::min(entry, *it);
        }
        loopLines.erase(std::unique(loopLines.begin(), loopLines.end()), loopLines.end());
        if (seen.insert(loopLines).second) result_.loops.push_back(LoopFound{loopLines, entry});
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
  std::vector<std::uint32_t> downNext_;
  std::vector<Pending> pending_;  // the state Down leads to; kNone after a choice
  std::vector<std::u16string> choiceLists_;
  std::vector<std::int32_t> choiceListAt_{0};  // where each list was first read: the step's ReadPos
  std::int32_t stepAt_ = 0;                    // where the step being deferred began reading
  std::uint32_t starts_ = 0;                   // states 0 .. starts_ - 1 are the starts
  std::vector<Arrival> firstShown_;            // by 0-based place in the text, until lines are known
  std::vector<Arrival> answeredFirst_;
  std::unordered_set<std::uint64_t> answersSeen_;  // label line and label length
  std::unordered_set<std::uint64_t> stopsSeen_;
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

