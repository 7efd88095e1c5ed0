// The exhaustive walk over every reader state reachable from the start of a story.
#include <algorithm>
#include <array>
#include <cassert>
#include <map>
#include <set>
#include <span>
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

// The states that stand on no place (those that stop, and those waiting on a choice), by
// open addressing from a packed state to its number: far smaller per state than a
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
    if ((held_.size() + 1) * 2 > slots_.size()) Grow(states);
    const std::uint64_t hash = Hash(key);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = hash & (slots_.size() - 1);; slot = (slot + 1) & (slots_.size() - 1)) {
      if (slots_[slot] == kEmpty) {
        if (full) return {kNone, true};
        const auto number = static_cast<std::uint32_t>(states.size());
        slots_[slot] = std::uint64_t{tag} << 32 | number;
        held_.push_back(number);
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
    for (const std::uint32_t number : held_) {
      const std::uint64_t hash = Hash(states[number]);
      std::size_t slot = hash & (slots_.size() - 1);
      while (slots_[slot] != kEmpty) slot = (slot + 1) & (slots_.size() - 1);
      slots_[slot] = (hash >> 32) << 32 | number;
    }
  }

  std::vector<std::uint64_t> slots_;
  std::vector<std::uint32_t> held_;  // the numbers of the states it holds, in order
};

// Places by their ReadPos, by open addressing: one place per ReadPos, since the states
// on a place are found with it. Its size follows the places reached, not the story.
class PlaceTable {
 public:
  std::uint32_t Find(std::int32_t readPos) const {
    for (std::size_t slot = SlotOf(readPos);; slot = (slot + 1) & (slots_.size() - 1)) {
      if (slots_[slot] == kEmpty) return kNone;
      if (static_cast<std::int32_t>(slots_[slot] >> 32) == readPos) return static_cast<std::uint32_t>(slots_[slot]);
    }
  }

  // `readPos` (at least 1) must not be held yet.
  void Add(std::int32_t readPos, std::uint32_t place) {
    if ((count_ + 1) * 2 > slots_.size()) {
      std::vector<std::uint64_t> old(slots_.size() * 2, kEmpty);
      old.swap(slots_);
      for (const std::uint64_t held : old)
        if (held != kEmpty) Put(held);
    }
    Put(static_cast<std::uint64_t>(readPos) << 32 | place);
    ++count_;
  }

 private:
  static constexpr std::uint64_t kEmpty = 0;  // no place has ReadPos 0

  std::size_t SlotOf(std::int32_t readPos) const {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(readPos) * 0x9E3779B97F4A7C15ULL) >> 32) &
           (slots_.size() - 1);
  }
  void Put(std::uint64_t held) {
    std::size_t slot = SlotOf(static_cast<std::int32_t>(held >> 32));
    while (slots_[slot] != kEmpty) slot = (slot + 1) & (slots_.size() - 1);
    slots_[slot] = held;
  }

  std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024, kEmpty);
  std::size_t count_ = 0;
};

// The numbers of the states on one place, by their flags: most places hold the four mixes
// of the flags that may arrive set, so four are kept with the place and more in a chain.
struct StatesHere {
  static constexpr std::size_t kHeld = 4;
  std::array<std::uint32_t, kHeld> number{};
  std::array<FlagBits, kHeld> flags{};
  std::uint8_t count = 0;
  std::uint32_t more = kNone;  // the next in a chain, among the walk's overflow
};

// A place where steps begin reading (a ReadPos), what a step from there does, read once
// from the engine however many states stand there, and what the walk has learnt of it.
struct Place {
  std::int32_t readPos = 0;
  std::uint32_t line = 0;      // the line holding readPos, once the place is read
  std::uint32_t downLine = 0;  // the line Down reads on to: the one after the line read
  std::uint32_t cost = 0;      // the characters a step from here reads: a ReadPos fits
  std::array<std::int32_t, 2> next{};  // ReadPos after the step, by LineReading::Way
  std::array<std::uint32_t, 2> nextPlace{kNone, kNone};  // the place there, once needed
  // The list the step leaves pending, if not empty, as a part of the text: a place is
  // kept for every line reached, so it holds no more than it needs.
  std::uint32_t choiceAt = 0;
  std::uint32_t choiceLength = 0;
  Step firstShown;  // the first step that showed the line from here
  std::uint32_t choice = kNone;    // its number among the lists, once a step has left it
  bool read = false;               // as LineReading::read
  bool landing = false;            // a jump's landing, which shows no line of the story
  bool shown = false;
  FlagBits sets = 0;
  FlagBits clears = 0;
  std::uint8_t testedFlag = kFlagCount;
  std::array<Flow, 2> down{Flow::NextLine, Flow::NextLine};
  StatesHere states;  // the states on this place that read on
};

// What one key of a pending choice does, the same for every state with that list.
struct Answer {
  std::uint32_t labelLength = 0;  // 0: the key has no label and does nothing
  std::int32_t labelLine = 0;     // as LabelIndex::Find answers it
  std::int32_t restAt = 0;        // where reading goes on, after the label
  std::uint64_t cost = 0;         // the label line, read from its start
  std::uint32_t place = kNone;    // the place at restAt
};

// The keys of one choice list, found when a state first waits on it.
struct ChoiceKeys {
  bool known = false;
  std::array<Answer, kChoiceKeyCount> answers;
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
        expected_(std::min<std::uint64_t>(maxStates, 4 * static_cast<std::uint64_t>(lines.Count()) + 64)),
        table_(64) {
    choiceLists_.emplace_back();
    choiceKeys_.emplace_back();
    // Places are about as many as the lines reached, and some jump landings and rests
    // after labels: room for a quarter more, so that they are seldom moved.
    const std::uint64_t lineStarts = std::min<std::uint64_t>(lines.Count(), expected_);
    places_.reserve(lineStarts + lineStarts / 4 + 16);
    // The places at line starts by line, read far more often than any other place, when
    // the lines are few for the states the walk may hold; all of them by ReadPos otherwise.
    if (lines.Count() < 4 * expected_) lineStartPlace_.assign(lines.Count() + 1, kNone);
    states_.reserve(expected_);
    statePlace_.reserve(expected_);
    downNext_.reserve(expected_);
    result_.parent.reserve(expected_);
    result_.parentKey.reserve(expected_);
    result_.arriving.reserve(expected_);
  }

  WalkResult Run() {
    // A load sets ReadPos to 1 and clears A, B and C; D and E may arrive set, and no
    // choice is pending. The load's own first step is then an ordinary Down step.
    const std::uint32_t first = lines_.Count() > 0 ? PlaceOfLine(1, 1) : PlaceAt(1);
    for (FlagBits carried = 0; carried <= kCarriedFlags; carried = static_cast<FlagBits>(carried + 1)) {
      if (carried & ~kCarriedFlags) continue;
      if (!Add(Pack(1, carried, 0), {kNoState, 0}, first)) break;
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
    if (result_.complete) {
      FindLoops();
      FindTraps();
    }
    SortStops();
    result_.packed = std::move(states_);
    return std::move(result_);
  }

 private:
  static PackedState Pack(std::int32_t readPos, FlagBits flags, std::uint32_t choice) {
    return static_cast<std::uint64_t>(std::max<std::int32_t>(readPos, 0)) | (std::uint64_t{flags} << 31) |
           (static_cast<std::uint64_t>(choice) << 36);
  }
  static std::int32_t ReadPosOf(PackedState state) { return static_cast<std::int32_t>(state & 0x7FFFFFFF); }
  static FlagBits FlagsIn(PackedState state) { return static_cast<FlagBits>((state >> 31) & 0x1F); }

  // The number of a choice list, by its text; `readAt` is where the step that left it
  // began reading, kept for the first step to leave each list.
  std::uint32_t ChoiceIndex(std::u16string_view list, std::int32_t readAt) {
    std::u16string key(list);
    const auto found = choiceIndex_.find(key);
    if (found != choiceIndex_.end()) return found->second;
    choiceListAt_.push_back(readAt);
    // Every list comes from the text of one line, so there are never more lists than
    // lines; the cap only guards the packing.
    const auto index = static_cast<std::uint32_t>(std::min<std::size_t>(choiceLists_.size(), kMaxChoiceLists));
    choiceLists_.push_back(key);
    choiceKeys_.emplace_back();
    choiceIndex_.emplace(std::move(key), index);
    return index;
  }

  // The place at `readPos`, read once: the engine says what a step from there does, for
  // any flags. `line` is the line that begins there, 0 for a place inside a line or past
  // the text: the lines know where a line ends, elsewhere the end is searched for.
  std::uint32_t NewPlace(std::int32_t readPos, std::uint32_t line) {
    const LineReading reading =
        line != 0 ? ReadingAt(text_, readPos,
                              lines_.Terminated(line) ? lines_.Start(line) + lines_.Text(line).size() : std::u16string_view::npos)
                  : ReadingAt(text_, readPos);
    assert(reading.lineEnd == ReadingAt(text_, readPos).lineEnd);
    Place& place = places_.emplace_back();
    place.readPos = readPos;
    place.read = reading.read;
    place.landing = IsJumpLanding(text_, readPos);
    const std::size_t begin = std::min(static_cast<std::size_t>(readPos) - 1, text_.size());
    place.cost = static_cast<std::uint32_t>((reading.read ? reading.lineEnd : text_.size()) - begin + 1);
    if (reading.read) {
      place.line = line != 0 ? line : static_cast<std::uint32_t>(lines_.LineOf(begin));
      // A place after a label may stand on the LF of a line break, and read the next line.
      place.downLine = (line != 0 ? line : static_cast<std::uint32_t>(lines_.LineOf(reading.lineEnd))) + 1;
      assert(place.line == lines_.LineOf(begin) && place.downLine == lines_.LineOf(reading.lineEnd) + 1);
      place.sets = reading.sets;
      place.clears = reading.clears;
      place.testedFlag = static_cast<std::uint8_t>(reading.testedFlag);
      const auto leavesSet = static_cast<FlagBits>(reading.sets & ~reading.clears);
      if (line != 0 && (leavesSet != 0 || place.testedFlag != kFlagCount))
        result_.flagLines.push_back({line, leavesSet, place.testedFlag});
      if (reading.choiceList) {
        place.choiceAt = static_cast<std::uint32_t>(reading.choiceList->data() - text_.data());
        place.choiceLength = static_cast<std::uint32_t>(reading.choiceList->size());
      }
      for (std::size_t way = 0; way < 2; ++way) {
        place.down[way] = reading.down[way];
        switch (reading.down[way]) {
          case Flow::End:
            place.next[way] = 0;
            break;
          case Flow::Jump:
            place.next[way] = labels_.Find(reading.target[way]).first;
            break;
          case Flow::NextLine:
            place.next[way] = LineAfter(reading.lineEnd);
            break;
        }
      }
    }
    return static_cast<std::uint32_t>(places_.size() - 1);
  }

  // The place at the start of a line, reached by reading on from the line before.
  std::uint32_t PlaceOfLine(std::int32_t readPos, std::uint32_t line) {
    if (!lineStartPlace_.empty()) {
      std::uint32_t& known = lineStartPlace_[line];
      if (known == kNone) known = NewPlace(readPos, line);
      return known;
    }
    std::uint32_t known = placesByReadPos_.Find(readPos);
    if (known == kNone) {
      known = NewPlace(readPos, line);
      placesByReadPos_.Add(readPos, known);
    }
    return known;
  }

  // Any other place: a jump's landing, or the rest of a line after a label.
  std::uint32_t PlaceAt(std::int32_t readPos) {
    const std::uint32_t known = placesByReadPos_.Find(readPos);
    if (known != kNone) return known;
    // A jump may land on the start of an empty line.
    const auto begin = static_cast<std::size_t>(readPos) - 1;
    const std::size_t line = begin < text_.size() ? lines_.LineOf(begin) : 0;
    if (line != 0 && lines_.Start(line) == begin) return PlaceOfLine(readPos, static_cast<std::uint32_t>(line));
    const std::uint32_t made = NewPlace(readPos, 0);
    placesByReadPos_.Add(readPos, made);
    return made;
  }

  // The place a step from `from` reaches the way `way`, once it is needed.
  std::uint32_t NextPlace(std::uint32_t from, std::size_t way) {
    if (places_[from].nextPlace[way] != kNone) return places_[from].nextPlace[way];
    const Place& place = places_[from];
    const std::int32_t next = place.next[way];
    std::uint32_t found = kNone;
    if (next > 0)
      found = place.down[way] == Flow::NextLine && place.downLine <= lines_.Count() ? PlaceOfLine(next, place.downLine)
                                                                                   : PlaceAt(next);
    places_[from].nextPlace[way] = found;
    return found;
  }

  std::uint32_t ChoiceOf(std::uint32_t at) {
    Place& place = places_[at];
    if (place.choiceLength == 0) return 0;
    if (place.choice == kNone) place.choice = ChoiceIndex(text_.substr(place.choiceAt, place.choiceLength), place.readPos);
    return place.choice;
  }

  // A state that a visit leads to, added once its batch has been visited.
  struct Pending {
    PackedState key;
    Step step;  // the state visited and the key
    std::uint32_t place;
  };

  // Down, or the step a load takes itself from one of the starts.
  Step DownFrom(std::uint32_t number) const { return {number, number < starts_ ? '\0' : 'd'}; }

  // Adds the states the batch led to, in the order they were reached; false once the
  // limit is reached, which then stopped the walk before anything the batch did later.
  bool AddPending() {
    for (const Pending& next : pending_) {
      if (next.place == kNone) table_.Prefetch(next.key);
    }
    bool added = true;
    for (const Pending& next : pending_) {
      std::uint32_t number = kNone;
      if (!Add(next.key, next.step, next.place, &number)) {
        added = false;
        break;
      }
      if (next.step.key == 'd' || next.step.key == '\0') downNext_[next.step.from] = number;
      else answerEdges_.push_back({next.step.from, number});
    }
    pending_.clear();
    return added;
  }

  // The number of a state that reads on from `place`, and whether it was new: it is then
  // given the number `states_.size()` for the caller to add, unless `full`.
  std::pair<std::uint32_t, bool> InsertAt(std::uint32_t place, FlagBits flags, bool full) {
    StatesHere* here = &places_[place].states;
    for (;;) {
      for (std::uint8_t i = 0; i < here->count; ++i)
        if (here->flags[i] == flags) return {here->number[i], false};
      if (here->more == kNone) break;
      here = &overflow_[here->more];
    }
    if (full) return {kNone, true};
    const auto number = static_cast<std::uint32_t>(states_.size());
    if (here->count == StatesHere::kHeld) {
      here->more = static_cast<std::uint32_t>(overflow_.size());
      overflow_.emplace_back();  // `here` is not used after this
      here = &overflow_.back();
    }
    here->flags[here->count] = flags;
    here->number[here->count++] = number;
    return {number, true};
  }

  bool Add(PackedState packed, Step step, std::uint32_t place, std::uint32_t* number = nullptr) {
    const bool full = states_.size() >= maxStates_;
    const auto [index, added] = place != kNone ? InsertAt(place, FlagsIn(packed), full) : table_.Insert(packed, states_, full);
    if (added) {
      if (index == kNone) {
        result_.complete = false;
        result_.stoppedBy = WalkLimit::States;
        return false;
      }
      states_.push_back(packed);
      statePlace_.push_back(place);
      downNext_.push_back(kNone);
      result_.parent.push_back(step.from);
      result_.parentKey.push_back(step.key);
      result_.arriving.push_back(step.from == kNoState ? static_cast<FlagBits>(FlagsIn(packed) & kCarriedFlags)
                                                       : result_.arriving[step.from]);
    }
    if (number) *number = index;
    return true;
  }

  // The first step to show a place is kept: the breadth-first order makes it a shortest.
  // The first step to show a place is kept: the breadth-first order makes it a shortest.
  void MarkShown(Place& place, Step how) {
    if (place.landing || (place.shown && !Better(how, place.firstShown))) return;
    place.shown = true;
    place.firstShown = how;
  }

  // Whether a step is a better way in than one kept: the walk is breadth first from all
  // the starts at once, so a later step is no shorter, but it may need no earlier story
  // where the one kept does. Such a way is kept wherever there is one.
  bool Better(Step newer, Step kept) const {
    return result_.arriving[newer.from] == 0 && result_.arriving[kept.from] != 0;
  }

  // A step that left the story stopped, kept once per place.
  void MarkStop(StopKind kind, std::int32_t readPos, std::uint8_t choiceKey, FlagBits flags, Step how) {
    const std::uint64_t place = static_cast<std::uint64_t>(readPos) << 4 | (kind == StopKind::MissingChoiceLabel ? 8u : 0u) | choiceKey;
    const auto [seen, added] = stopsSeen_.emplace(place, result_.stops.size());
    if (!added) {
      if (Better(how, result_.stops[seen->second].step)) result_.stops[seen->second] = {kind, readPos, choiceKey, flags, how};
      return;
    }
    result_.stops.push_back({kind, readPos, choiceKey, flags, how});
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

  // What a step from `at` leaves, with flags `flags` before it: the next state, and the
  // place of that state when it reads on without a pending choice.
  struct After {
    PackedState state;
    std::uint32_t place;
    bool stopped;
    FlagBits flags;
  };
  After StepFrom(std::uint32_t at, FlagBits flags) {
    const Place& place = places_[at];
    if (!place.read) return {Pack(0, flags, 0), kNone, true, flags};
    flags = static_cast<FlagBits>((flags | place.sets) & ~place.clears);
    const std::size_t way = place.testedFlag < kFlagCount ? (flags >> place.testedFlag) & 1u : 0;
    const std::int32_t next = place.next[way];
    const std::uint32_t choice = ChoiceOf(at);
    // NextPlace may make places, which moves them: `place` is not read after it.
    const std::uint32_t nextPlace = next > 0 && choice == 0 ? NextPlace(at, way) : kNone;
    return {Pack(next, flags, choice), nextPlace, next <= 0 && choice == 0, flags};
  }

  // The keys of a pending choice list, found once.
  const std::array<Answer, kChoiceKeyCount>& AnswersOf(std::uint32_t list) {
    if (choiceKeys_[list].known) return choiceKeys_[list].answers;
    choiceKeys_[list].known = true;
    for (std::int32_t key = 0; key < static_cast<std::int32_t>(kChoiceKeyCount); ++key) {
      const ChoiceAnswer picked = AnswerOf(labels_, choiceLists_[list], key);
      if (!picked.Taken()) continue;
      Answer answer;
      answer.labelLength = static_cast<std::uint32_t>(picked.label.size());
      answer.labelLine = picked.labelLine;
      answer.restAt = picked.resumePos;
      if (answer.labelLine > 0) {
        answer.cost = StepCost(LabelLineStart(answer.labelLine));
        answer.place = PlaceAt(answer.restAt);
      }
      choiceKeys_[list].answers[static_cast<std::size_t>(key)] = answer;
    }
    return choiceKeys_[list].answers;
  }

  // Steps from one state, deferring the states it leads to; false once a limit stops
  // the walk.
  bool Visit(std::uint32_t number) {
    const PackedState state = states_[number];
    const std::int32_t readPos = ReadPosOf(state);
    const FlagBits flags = FlagsIn(state);
    const auto list = static_cast<std::uint32_t>(state >> 36);
    if (list == 0) {
      if (readPos <= 0) return true;  // stopped: only a new load leaves this state
      const std::uint32_t at = statePlace_[number];
      if (!Charge(places_[at].cost)) return false;
      const Step how = DownFrom(number);
      const After after = StepFrom(at, flags);
      if (places_[at].read) MarkShown(places_[at], how);
      if (after.stopped) MarkStop(StopKind::End, readPos, 0, after.flags, how);
      pending_.push_back({after.state, how, after.place});
      return true;
    }
    // A pending choice: Down does nothing, each key with a label answers it.
    for (std::size_t key = 0; key < kChoiceKeyCount; ++key) {
      const Answer answer = AnswersOf(list)[key];
      if (answer.labelLength == 0) continue;
      // The rest of the label line, which may jump.
      if (answer.labelLine > 0 && !Charge(answer.cost)) return false;
      const Step how{number, static_cast<char>('1' + key)};
      // A label that begins no line stops the story, as a jump to a missing label does.
      const After after = answer.labelLine > 0 ? StepFrom(answer.place, flags) : After{Pack(0, flags, 0), kNone, true, flags};
      if (answer.labelLine > 0 && places_[answer.place].read) {
        // The label line's start, kept apart from the lines shown as they stand.
        const auto [seen, added] = answersSeen_.emplace(
            static_cast<std::uint64_t>(answer.labelLine) << 32 | answer.labelLength, answeredFirst_.size());
        if (added)
          answeredFirst_.push_back({static_cast<std::uint32_t>(answer.labelLine) + 1, answer.labelLength, how});
        else if (Better(how, answeredFirst_[seen->second].step))
          answeredFirst_[seen->second].step = how;
      }
      if (after.stopped) {
        if (answer.labelLine > 0) MarkStop(StopKind::End, answer.restAt, 0, after.flags, how);
        else MarkStop(StopKind::MissingChoiceLabel, choiceListAt_[list], static_cast<std::uint8_t>(key), after.flags, how);
      }
      pending_.push_back({after.state, how, after.place});
    }
    return true;
  }

  // The lines that hold a place where a step began showing a line, each with the step
  // that showed it first.
  void MarkLinesReached() {
    // A place that shows a line is the line's start, so each line has one such place.
    result_.lineReached.assign(lines_.Count() + 1, false);
    std::vector<Arrival>& shown = result_.shownFirst;
    const auto keep = [&](const Place& place) {
      result_.lineReached[place.line] = true;
      shown.push_back({place.line, 0, place.firstShown});
    };
    if (!lineStartPlace_.empty()) {
      for (const std::uint32_t place : lineStartPlace_)
        if (place != kNone && places_[place].shown) keep(places_[place]);
      assert(shown.size() == static_cast<std::size_t>(std::count_if(places_.begin(), places_.end(),
                                                                     [](const Place& place) { return place.shown; })));
    } else {
      for (const Place& place : places_)
        if (place.shown) keep(place);
      std::sort(shown.begin(), shown.end(), [](const Arrival& a, const Arrival& b) { return a.line < b.line; });
    }
    assert(std::adjacent_find(shown.begin(), shown.end(), [](const Arrival& a, const Arrival& b) {
             return a.line == b.line;
           }) == shown.end());
    std::sort(result_.flagLines.begin(), result_.flagLines.end(),
              [](const FlagLine& a, const FlagLine& b) { return a.line < b.line; });
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

  // Each cycle of Down once, as the states on it: Down goes from a state to at most one
  // next, so following it from every state in turn finds every cycle, and a state is
  // followed past only once.
  template <typename Visit>
  void ForEachDownCycle(const Visit& visit) const {
    enum : std::uint8_t { kUnseen, kOnPath, kDone };
    std::vector<std::uint8_t> mark(states_.size(), kUnseen);
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
        const auto cycle = std::find(path.begin(), path.end(), at);
        visit(std::span<const std::uint32_t>(&*cycle, static_cast<std::size_t>(path.end() - cycle)));
      }
      for (const std::uint32_t done : path) mark[done] = kDone;
    }
  }

  // Down goes from each state without a pending choice to exactly one next state, so a
  // loop is a cycle of that function; every such cycle lacks a choice and an END.
  void FindLoops() {
    // States are numbered as they are reached, so a cycle holds a step back to a state
    // reached no later than the one it leaves; most stories have none.
    bool goesBack = false;
    for (std::uint32_t state = 0; state < downNext_.size() && !goesBack; ++state)
      goesBack = downNext_[state] <= state;
    if (!goesBack) return;
    std::set<std::vector<std::size_t>> seen;
    ForEachDownCycle([&](std::span<const std::uint32_t> cycle) {
      std::vector<std::size_t> loopLines;
      for (const std::uint32_t state : cycle) {
        const std::int32_t readPos = ReadPosOf(states_[state]);
        if (IsJumpLanding(text_, readPos)) continue;
        loopLines.push_back(lines_.LineOf(static_cast<std::size_t>(readPos) - 1));
      }
      std::sort(loopLines.begin(), loopLines.end());
      // The way in is the one to the loop's first line that the walk reached first.
      std::uint32_t entry = kNone;
      for (const std::uint32_t state : cycle) {
        const auto index = static_cast<std::size_t>(ReadPosOf(states_[state])) - 1;
        // The first reached, of those that need no earlier story if there are any.
        if (lines_.Start(loopLines.front()) == index &&
            (entry == kNone || std::pair(result_.arriving[state] != 0, state) < std::pair(result_.arriving[entry] != 0, entry)))
          entry = state;
      }
      loopLines.erase(std::unique(loopLines.begin(), loopLines.end()), loopLines.end());
      if (seen.insert(loopLines).second) result_.loops.push_back(LoopFound{loopLines, entry});
    });
    std::sort(result_.loops.begin(), result_.loops.end(),
              [](const LoopFound& a, const LoopFound& b) { return a.lines < b.lines; });
  }

  // The states reached backwards from every stop and every endless loop, over the steps
  // Down and the answers take: the others are traps, where the reader goes round through
  // choices forever (or waits on a choice that no key answers). States closed under their
  // steps and joined by them make one trap, reported by the step into it that the walk took
  // first, preferring one that needs no earlier story.
  void FindTraps() {
    const std::size_t count = states_.size();
    std::vector<std::uint8_t> ends(count, 0);  // 1: an ending can be reached from here
    std::vector<std::uint32_t> queue;
    for (std::uint32_t state = 0; state < count; ++state)
      if (states_[state] >> 36 == 0 && ReadPosOf(states_[state]) <= 0) {
        ends[state] = 1;
        queue.push_back(state);
      }
    if (!result_.loops.empty()) {
      // The states on a cycle of Down: an endless loop, which the reader sees go round.
      ForEachDownCycle([&](std::span<const std::uint32_t> cycle) {
        for (const std::uint32_t state : cycle)
          if (!ends[state]) {
            ends[state] = 1;
            queue.push_back(state);
          }
      });
    }
    {
      // The steps backwards, by the state they lead to: counted, summed, then filled from
      // each state's end, which leaves `first` at each state's start.
      std::vector<std::uint32_t> first(count + 1, 0);
      for (std::uint32_t state = 0; state < count; ++state)
        if (downNext_[state] != kNone) ++first[downNext_[state]];
      for (const auto& [from, to] : answerEdges_) ++first[to];
      for (std::size_t state = 1; state <= count; ++state) first[state] += first[state - 1];
      std::vector<std::uint32_t> before(first[count]);
      for (std::uint32_t state = 0; state < count; ++state)
        if (downNext_[state] != kNone) before[--first[downNext_[state]]] = state;
      for (const auto& [from, to] : answerEdges_) before[--first[to]] = from;
      for (std::size_t next = 0; next < queue.size(); ++next)
        for (std::uint32_t i = first[queue[next]]; i < first[queue[next] + 1]; ++i)
          if (!ends[before[i]]) {
            ends[before[i]] = 1;
            queue.push_back(before[i]);
          }
      if (queue.size() == count) return;
    }
    queue = {};
    // The traps: the states left, joined by their steps.
    std::vector<std::uint32_t> root(count, kNone);
    const auto find = [&root](std::uint32_t state) {
      while (root[state] != state) state = root[state] = root[root[state]];
      return state;
    };
    for (std::uint32_t state = 0; state < count; ++state)
      if (!ends[state]) root[state] = state;
    const auto join = [&](std::uint32_t a, std::uint32_t b) {
      a = find(a);
      b = find(b);
      if (a != b) root[std::max(a, b)] = std::min(a, b);
    };
    for (std::uint32_t state = 0; state < count; ++state)
      if (!ends[state] && downNext_[state] != kNone) join(state, downNext_[state]);
    for (const auto& [from, to] : answerEdges_)
      if (!ends[from]) join(from, to);
    // Per trap, the state it is entered by: the first reached, of those that need no
    // earlier story if there are any. Each trap's first state is entered from outside it.
    std::map<std::uint32_t, std::uint32_t> entry;  // by the trap's first state
    for (std::uint32_t state = 0; state < count; ++state) {
      if (ends[state]) continue;
      const std::uint32_t from = result_.parent[state];
      if (from != kNoState && !ends[from]) continue;
      const auto [kept, added] = entry.emplace(find(state), state);
      if (!added && result_.arriving[state] == 0 && result_.arriving[kept->second] != 0) kept->second = state;
    }
    std::map<std::uint32_t, TrapFound> byLine;
    for (const auto& [trap, state] : entry) {
      const TrapFound found = TrapEnteredBy(state);
      const auto [kept, added] = byLine.emplace(found.line, found);
      if (!added && Better(found.step, kept->second.step)) kept->second = found;
    }
    for (const auto& [line, found] : byLine) result_.traps.push_back(found);
  }

  // The step into a trap's first state, and the line it shows.
  TrapFound TrapEnteredBy(std::uint32_t state) const {
    const std::uint32_t from = result_.parent[state];
    if (from == kNoState) return {places_[statePlace_[state]].line, {state, '\0'}};
    const char key = result_.parentKey[state];
    if (key == 'd' || key == '\0') return {places_[statePlace_[from]].line, {from, key}};
    const Answer& answer = choiceKeys_[states_[from] >> 36].answers[static_cast<std::size_t>(key - '1')];
    return {static_cast<std::uint32_t>(lines_.LineOf(static_cast<std::size_t>(answer.labelLine) + 1)), {from, key}};
  }

  std::u16string_view text_;
  const StoryLines& lines_;   // the check's own indexes of the lines and the labels, not a second one
  const LabelIndex& labels_;
  std::uint64_t maxStates_;
  std::uint64_t maxScan_;
  const std::atomic<bool>* stop_;
  std::uint64_t expected_;
  std::uint64_t scanned_ = 0;
  WalkResult result_;
  StateTable table_;
  std::vector<PackedState> states_;
  std::vector<std::uint32_t> statePlace_;  // by state: its place, kNone while it stops or chooses
  std::vector<Place> places_;
  std::vector<StatesHere> overflow_;  // places' states beyond the first few
  std::vector<std::uint32_t> lineStartPlace_;  // by line, when there is room: see the constructor
  PlaceTable placesByReadPos_;                 // the other places, or all of them
  std::vector<std::uint32_t> downNext_;  // the state Down leads to; kNone after a choice
  std::vector<std::pair<std::uint32_t, std::uint32_t>> answerEdges_;  // each answer's step: from, to
  std::vector<Pending> pending_;
  std::vector<std::u16string> choiceLists_;
  std::vector<std::int32_t> choiceListAt_{0};  // where each list was first read: the step's ReadPos
  std::vector<ChoiceKeys> choiceKeys_;         // by list
  std::uint32_t starts_ = 0;                   // states 0 .. starts_ - 1 are the starts
  std::vector<Arrival> answeredFirst_;
  std::unordered_map<std::uint64_t, std::size_t> answersSeen_;  // label line and label length: the arrival
  std::unordered_map<std::uint64_t, std::size_t> stopsSeen_;    // place: the stop
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

