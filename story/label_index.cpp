// Sorted line breaks and a min tree over blocks of them: the first two label lines in O(log n).
#include "story/label_index.h"

#include <algorithm>
#include <span>
#include <tuple>
#include <utility>

#include "story/text.h"

namespace quillshade {
namespace {

constexpr std::uint32_t kNoSlot = 0xFFFFFFFF;
constexpr std::size_t kBlockSize = 32;  // slots under one leaf of the min tree
// Lines are sorted by this many units when the index is built, and further only within
// a group that a lookup needs: few groups of a story's lines begin a label.
constexpr std::size_t kFirstUnits = 4;

// A line after a break, with four of its units as a sort key.
struct Keyed {
  std::uint64_t key;    // units [depth, depth + 4) of the line, 0 past its end
  std::uint32_t at;     // 0-based index of the break's CR
  std::uint32_t length; // of the line, without its CR LF
};

std::uint64_t KeyAt(std::u16string_view text, const Keyed& line, std::size_t depth) {
  std::uint64_t key = 0;
  for (std::size_t i = depth; i < depth + 4; ++i) key = key << 16 | (i < line.length ? text[line.at + 2 + i] : 0);
  return key;
}

// Sorts lines that agree on their first `depth` units as their views compare, equal
// lines in their order in the text: by four units at a time, each group of lines that
// agree so far on to the next four. Each line is read once per level it takes part in,
// rather than at every comparison of a sort.
void SortLines(std::u16string_view text, std::vector<Keyed>& lines, std::size_t depth) {
  struct Group {
    std::size_t begin, end, depth;
  };
  std::vector<Group> groups{{0, lines.size(), depth}};
  while (!groups.empty()) {
    const Group group = groups.back();
    groups.pop_back();
    const auto first = lines.begin() + static_cast<std::ptrdiff_t>(group.begin);
    const auto last = lines.begin() + static_cast<std::ptrdiff_t>(group.end);
    for (auto line = first; line != last; ++line) line->key = KeyAt(text, *line, group.depth);
    // A line that ends within these four units comes before the longer ones that agree
    // with it so far; lines that end here and agree are equal.
    const auto ended = [&](const Keyed& line) { return std::min<std::size_t>(line.length, group.depth + 4); };
    std::sort(first, last, [&](const Keyed& x, const Keyed& y) {
      if (x.key != y.key) return x.key < y.key;
      if (ended(x) != ended(y)) return ended(x) < ended(y);
      return ended(x) < group.depth + 4 && x.at < y.at;
    });
    for (auto run = first; run != last;) {
      auto runEnd = run + 1;
      while (runEnd != last && runEnd->key == run->key && ended(*runEnd) == ended(*run)) ++runEnd;
      if (runEnd - run > 1 && ended(*run) == group.depth + 4)
        groups.push_back({static_cast<std::size_t>(run - first) + group.begin,
                          static_cast<std::size_t>(runEnd - first) + group.begin, group.depth + 4});
      run = runEnd;
    }
  }
}

// Sorts lines collected in text order by their first kFirstUnits units, a line that ends
// within them before the longer ones that agree with it, equal lines keeping their order:
// a radix sort, unit by unit from the last, each pass stable, on top of one by length.
void SortByFirstUnits(std::vector<Keyed>& lines) {
  std::vector<Keyed> sorted(lines.size());
  const auto pass = [&](const auto& digit, std::size_t digits) {
    std::vector<std::size_t> count(digits + 1, 0);
    for (const Keyed& line : lines) ++count[digit(line) + 1];
    if (std::find(count.begin(), count.end(), lines.size()) != count.end()) return;  // all alike
    for (std::size_t d = 1; d <= digits; ++d) count[d] += count[d - 1];
    for (const Keyed& line : lines) sorted[count[digit(line)]++] = line;
    lines.swap(sorted);
  };
  pass([](const Keyed& line) { return std::min<std::size_t>(line.length, kFirstUnits); }, kFirstUnits + 1);
  for (std::size_t unit = kFirstUnits; unit-- > 0;)
    pass([unit](const Keyed& line) { return static_cast<std::size_t>(line.key >> (16 * (3 - unit)) & 0xFFFF); }, 65536);
}

// Builds the min tree of `breaks`: the slot of the smallest break of each block of slots
// at its leaves, and of each node's two children above them. A lookup reads the slots of
// the blocks at the ends of its range one by one, so the tree costs a sixteenth of the
// breaks themselves. Its leaves are a power of two, so that every level of it is whole.
std::vector<std::uint32_t> MinTree(std::span<const std::uint32_t> breaks) {
  std::size_t blocks = 1;
  while (blocks * kBlockSize < breaks.size()) blocks *= 2;
  std::vector<std::uint32_t> tree(2 * blocks, kNoSlot);
  const auto less = [&](std::uint32_t a, std::uint32_t b) { return b == kNoSlot || (a != kNoSlot && breaks[a] < breaks[b]); };
  // Each leaf's least break found without a branch on the breaks, which lie in no order.
  for (std::size_t start = 0; start < breaks.size(); start += kBlockSize) {
    const std::size_t end = std::min(breaks.size(), start + kBlockSize);
    auto least = static_cast<std::uint32_t>(start);
    std::uint32_t value = breaks[start];
    for (std::size_t slot = start + 1; slot < end; ++slot) {
      const bool below = breaks[slot] < value;
      value = below ? breaks[slot] : value;
      least = below ? static_cast<std::uint32_t>(slot) : least;
    }
    tree[blocks + start / kBlockSize] = least;
  }
  for (std::size_t node = blocks - 1; node >= 1; --node)
    tree[node] = less(tree[2 * node], tree[2 * node + 1]) ? tree[2 * node] : tree[2 * node + 1];
  return tree;
}

// How the line after the break at `at` begins, against `part`: below, equal or above, as
// the sort ordered lines (a line that ends first is below).
int CompareLine(std::u16string_view text, std::uint32_t at, std::u16string_view part) {
  for (std::size_t i = 0, place = at + 2; i < part.size(); ++i, ++place) {
    if (place >= text.size() || (text[place] == u'\r' && place + 1 < text.size() && text[place + 1] == u'\n'))
      return -1;
    if (text[place] != part[i]) return text[place] < part[i] ? -1 : 1;
  }
  return 0;
}

// The range of slots, within [from, to), whose lines begin with `part`.
std::pair<std::size_t, std::size_t> SlotsBeginning(std::u16string_view text, std::span<const std::uint32_t> breaks,
                                                   std::size_t from, std::size_t to, std::u16string_view part) {
  const auto first = breaks.begin();
  const auto low = std::partition_point(first + static_cast<std::ptrdiff_t>(from), first + static_cast<std::ptrdiff_t>(to),
                                        [&](std::uint32_t at) { return CompareLine(text, at, part) < 0; });
  const auto high = std::partition_point(low, first + static_cast<std::ptrdiff_t>(to),
                                         [&](std::uint32_t at) { return CompareLine(text, at, part) == 0; });
  return {static_cast<std::size_t>(low - first), static_cast<std::size_t>(high - first)};
}

// The sort key of the line after the break at `at`, reading no more of it than the key
// holds: its length is kept only up to kFirstUnits, which is all the order looks at.
Keyed KeyOfBreak(std::u16string_view text, std::uint32_t at) {
  std::size_t length = 0;
  for (std::size_t place = at + 2; length < kFirstUnits && place < text.size(); ++place, ++length)
    if (text[place] == u'\r' && place + 1 < text.size() && text[place + 1] == u'\n') break;
  Keyed keyed{0, at, static_cast<std::uint32_t>(length)};
  keyed.key = KeyAt(text, keyed, 0);
  return keyed;
}

// The order SortByFirstUnits leaves lines in.
bool InFirstUnitsOrder(const Keyed& x, const Keyed& y) {
  if (x.key != y.key) return x.key < y.key;
  const std::size_t xEnded = std::min<std::size_t>(x.length, kFirstUnits);
  const std::size_t yEnded = std::min<std::size_t>(y.length, kFirstUnits);
  if (xEnded != yEnded) return xEnded < yEnded;
  return x.at < y.at;
}

// The slots, sorted by first units, of the lines that agree on `key` and hold all of it:
// the lines of one group, when there are two or more.
std::pair<std::size_t, std::size_t> SlotsOfKey(std::u16string_view text, std::span<const std::uint32_t> breaks,
                                               std::uint64_t key) {
  const auto before = [&](std::uint32_t at) {
    const Keyed line = KeyOfBreak(text, at);
    return line.key < key || (line.key == key && line.length < kFirstUnits);
  };
  const auto low = std::partition_point(breaks.begin(), breaks.end(), before);
  const auto high = std::partition_point(low, breaks.end(), [&](std::uint32_t at) { return KeyOfBreak(text, at).key == key; });
  return {static_cast<std::size_t>(low - breaks.begin()), static_cast<std::size_t>(high - breaks.begin())};
}

// The last line break that ends before `end`, npos when there is none.
std::size_t LastBreakBefore(std::u16string_view text, std::size_t end) {
  for (std::size_t at = end; at-- > 1;)
    if (text[at] == u'\n' && text[at - 1] == u'\r') return at - 1;
  return std::u16string_view::npos;
}

// The two lines before the next one to keep, and how many lines came before it.
struct RecentLines {
  std::u16string_view before[2];
  std::size_t seen = 0;
};

// Appends the line after each break at or after `from` and before `until` to `lines`. A
// break is left out when the two breaks before it begin the same line as it does: those
// two come first for any label it could answer, so a story of millions of equal lines
// costs next to nothing here.
void KeepLines(std::u16string_view text, std::size_t from, std::size_t until, RecentLines& recent,
               std::vector<Keyed>& lines) {
  for (std::size_t at = FindLineBreak(text, from); at != std::u16string_view::npos && at < until;) {
    const std::size_t next = FindLineBreak(text, at + 2);
    const std::u16string_view line =
        text.substr(at + 2, next == std::u16string_view::npos ? std::u16string_view::npos : next - at - 2);
    // Compared by hand: most such lines are short, and a library call per line costs more.
    const auto same = [line](std::u16string_view other) {
      return other.size() == line.size() && std::equal(line.begin(), line.end(), other.begin());
    };
    if (recent.seen++ < 2 || !same(recent.before[0]) || !same(recent.before[1])) {
      Keyed keyed{0, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(line.size())};
      keyed.key = KeyAt(text, keyed, 0);
      lines.push_back(keyed);
    }
    recent.before[1] = recent.before[0];
    recent.before[0] = line;
    at = next;
  }
}

// Whether `at` is where a line begins in `text`, or its end.
bool BeginsLineOrEnds(std::u16string_view text, std::size_t at) {
  return at == 0 || at == text.size() || (at >= 2 && at < text.size() && text[at - 2] == u'\r' && text[at - 1] == u'\n');
}

// What FindLabelLine finds first and next, by the search itself.
LabelIndex::Found Searched(std::u16string_view text, std::u16string_view label) {
  LabelIndex::Found found{FindLabelLine(text, label), 0};
  if (found.first != 0) {
    const auto rest = static_cast<std::size_t>(found.first);
    if (const std::int32_t next = FindLabelLine(text.substr(rest), label); next != 0)
      found.second = static_cast<std::int32_t>(rest) + next;
  }
  return found;
}

}  // namespace

struct LabelIndex::Sorted {
  explicit Sorted(std::vector<std::uint32_t> sorted) : breaks(std::move(sorted)), tree(MinTree(breaks)) {}

  // The slot of the smallest break in [from, to), kNoSlot when the range is empty.
  std::uint32_t MinIn(std::size_t from, std::size_t to) const {
    std::uint32_t best = kNoSlot;
    const auto take = [&](std::uint32_t slot) {
      if (slot != kNoSlot && (best == kNoSlot || breaks[slot] < breaks[best])) best = slot;
    };
    // Whole blocks from firstBlock up to lastBlock; the slots outside them one by one.
    std::size_t firstBlock = (from + kBlockSize - 1) / kBlockSize;
    std::size_t lastBlock = to / kBlockSize;
    if (firstBlock >= lastBlock) {
      for (std::size_t slot = from; slot < to; ++slot) take(static_cast<std::uint32_t>(slot));
      return best;
    }
    for (std::size_t slot = from; slot < firstBlock * kBlockSize; ++slot) take(static_cast<std::uint32_t>(slot));
    for (std::size_t slot = lastBlock * kBlockSize; slot < to; ++slot) take(static_cast<std::uint32_t>(slot));
    const std::size_t blocks = tree.size() / 2;
    for (firstBlock += blocks, lastBlock += blocks; firstBlock < lastBlock; firstBlock /= 2, lastBlock /= 2) {
      if (firstBlock & 1) take(tree[firstBlock++]);
      if (lastBlock & 1) take(tree[--lastBlock]);
    }
    return best;
  }

  // The first two lines of [from, to) in the text.
  Found FirstTwoIn(std::size_t from, std::size_t to) const {
    const std::uint32_t first = MinIn(from, to);
    if (first == kNoSlot) return {};
    const std::uint32_t left = MinIn(from, first);
    const std::uint32_t right = MinIn(first + 1, to);
    std::uint32_t second = left;
    if (second == kNoSlot || (right != kNoSlot && breaks[right] < breaks[second])) second = right;
    return {static_cast<std::int32_t>(breaks[first] + 1),
            second == kNoSlot ? 0 : static_cast<std::int32_t>(breaks[second] + 1)};
  }

  const std::vector<std::uint32_t> breaks;  // 0-based CR index of each CR LF
  const std::vector<std::uint32_t> tree;    // slots, over blocks of kBlockSize of them
};

LabelIndex::LabelIndex(std::u16string_view text) : text_(text) { Build(); }

void LabelIndex::Build() {
  const std::u16string_view text = text_;
  groups_.clear();
  std::vector<Keyed> lines;
  RecentLines recent;
  KeepLines(text, 0, std::u16string_view::npos, recent, lines);
  // A label without CR or LF can only match inside the line after a break, so sorting
  // those lines orders every prefix such a label can match; Find falls back to the plain
  // search for any other label. They are sorted here by their first units alone, which
  // needs no reading of the text; a group of lines that agree on those is sorted further
  // once a lookup needs it, so lines that no label begins cost nothing.
  SortByFirstUnits(lines);
  std::vector<std::uint32_t> breaks;
  breaks.reserve(lines.size());
  for (std::size_t slot = 0; slot < lines.size();) {
    std::size_t end = slot + 1;
    if (lines[slot].length >= kFirstUnits)
      while (end < lines.size() && lines[end].key == lines[slot].key && lines[end].length >= kFirstUnits) ++end;
    if (end - slot > 1) groups_.push_back(static_cast<std::uint32_t>(slot));
    for (; slot < end; ++slot) breaks.push_back(lines[slot].at);
  }
  lines = {};
  byFirstUnits_ = std::make_unique<const Sorted>(std::move(breaks));
  inFull_ = std::vector<std::atomic<const Sorted*>>(groups_.size());
}

LabelIndex::LabelIndex(std::u16string_view text, const LabelIndex& previous, std::size_t from,
                       std::size_t previousTo, std::size_t to)
    : text_(text) {
  // A patch whose result breaks the index's order is never published: the index is then
  // made whole, which costs one build rather than a wrong answer or a read past the end.
  if (!Patch(previous, from, previousTo, to)) Build();
}

bool LabelIndex::Patch(const LabelIndex& previous, std::size_t from, std::size_t previousTo, std::size_t to) {
  constexpr std::size_t kNone = std::u16string_view::npos;
  const std::u16string_view text = text_;
  const std::u16string_view old = previous.text_;
  if (from > previousTo || previousTo > old.size() || from > to || to > text.size() ||
      old.size() - previousTo != text.size() - to ||
      !BeginsLineOrEnds(text, from) || !BeginsLineOrEnds(old, from) || !BeginsLineOrEnds(text, to) ||
      !BeginsLineOrEnds(old, previousTo))
    return false;
  // The breaks read again: those before the replaced lines and inside them, and the
  // first two after them, whose lines the rule of three equal lines compares with the
  // replaced ones. From the third on, a break and the two before it are the same in
  // both texts, shifted.
  const std::size_t low = from >= 2 ? from - 2 : 0;
  std::size_t high = to;
  for (int i = 0; i < 3 && high != kNone; ++i) high = FindLineBreak(text, i == 0 ? high : high + 2);
  if (high == kNone) high = text.size();
  const std::size_t previousHigh = high == text.size() ? old.size() : high - to + previousTo;

  // The lines of those breaks, left out as the constructor leaves them out.
  std::vector<Keyed> added;
  RecentLines recent;
  if (const std::size_t last = LastBreakBefore(text, low); last != kNone) {
    recent.before[0] = text.substr(last + 2, low - last - 2);
    ++recent.seen;
    if (const std::size_t first = LastBreakBefore(text, last); first != kNone) {
      recent.before[1] = text.substr(first + 2, last - first - 2);
      ++recent.seen;
    }
  }
  KeepLines(text, low, high, recent, added);
  std::stable_sort(added.begin(), added.end(), InFirstUnitsOrder);

  // The keys of the groups that lose or gain lines; every other group keeps its lines.
  std::vector<std::uint64_t> changedKeys;
  for (const Keyed& line : added)
    if (line.length >= kFirstUnits) changedKeys.push_back(line.key);
  // The kept breaks lie in no order of place, so they are moved without asking where
  // each stands, which would be guessed wrong half the time: positions wrap at 32 bits.
  const std::span<const std::uint32_t> all = previous.byFirstUnits_->breaks;
  const auto first = static_cast<std::uint32_t>(low);
  const auto span = static_cast<std::uint32_t>(previousHigh - low);
  const auto moved = static_cast<std::uint32_t>(to - previousTo);
  const auto shifted = [&](std::uint32_t at) { return at + (at >= first ? moved : 0u); };  // past the replaced ones
  std::vector<std::uint32_t> kept(all.size());
  std::vector<std::size_t> removedSlots;
  std::size_t keptCount = 0;
  for (std::size_t slot = 0; slot < all.size(); ++slot) {
    const std::uint32_t at = all[slot];
    if (at - first < span) [[unlikely]] {
      removedSlots.push_back(slot);
      if (const Keyed line = KeyOfBreak(old, at); line.length >= kFirstUnits) changedKeys.push_back(line.key);
      continue;
    }
    kept[keptCount++] = shifted(at);
  }
  kept.resize(keptCount);
  std::sort(changedKeys.begin(), changedKeys.end());
  changedKeys.erase(std::unique(changedKeys.begin(), changedKeys.end()), changedKeys.end());

  // The added lines merged in where the order puts them; `kept` keeps its order, since
  // its breaks moved together past the added ones.
  std::vector<std::uint32_t> breaks;
  breaks.reserve(kept.size() + added.size());
  std::vector<std::size_t> placedBefore;  // for each added line, the kept slot it goes before
  std::vector<std::size_t> addedSlots;    // and its slot here
  std::size_t taken = 0;
  for (const Keyed& line : added) {
    const auto place = std::partition_point(kept.begin() + static_cast<std::ptrdiff_t>(taken), kept.end(),
                                            [&](std::uint32_t at) { return InFirstUnitsOrder(KeyOfBreak(text, at), line); });
    breaks.insert(breaks.end(), kept.begin() + static_cast<std::ptrdiff_t>(taken), place);
    addedSlots.push_back(breaks.size());
    breaks.push_back(line.at);
    taken = static_cast<std::size_t>(place - kept.begin());
    placedBefore.push_back(taken);
  }
  breaks.insert(breaks.end(), kept.begin() + static_cast<std::ptrdiff_t>(taken), kept.end());
  // Each added line stands between lines that come before and after it.
  for (const std::size_t slot : addedSlots) {
    const Keyed line = KeyOfBreak(text, breaks[slot]);
    if ((slot > 0 && !InFirstUnitsOrder(KeyOfBreak(text, breaks[slot - 1]), line)) ||
        (slot + 1 < breaks.size() && !InFirstUnitsOrder(line, KeyOfBreak(text, breaks[slot + 1]))))
      return false;
  }

  // Groups of unchanged keys move with their first slot; those of changed keys are
  // found again by their key.
  std::vector<std::uint32_t> droppedGroups;
  for (const std::uint64_t key : changedKeys)
    if (const auto [slot, end] = SlotsOfKey(old, all, key); end - slot > 1) droppedGroups.push_back(static_cast<std::uint32_t>(slot));
  std::sort(droppedGroups.begin(), droppedGroups.end());
  std::vector<std::uint32_t> groups;
  std::vector<std::pair<std::uint32_t, std::size_t>> movedGroups;  // first slot here, group in previous
  for (std::size_t group = 0; group < previous.groups_.size(); ++group) {
    const std::uint32_t slot = previous.groups_[group];
    if (std::binary_search(droppedGroups.begin(), droppedGroups.end(), slot)) continue;
    const std::size_t keptSlot =
        slot - static_cast<std::size_t>(std::lower_bound(removedSlots.begin(), removedSlots.end(), slot) - removedSlots.begin());
    const std::size_t placed = keptSlot + static_cast<std::size_t>(std::upper_bound(placedBefore.begin(), placedBefore.end(), keptSlot) -
                                                                   placedBefore.begin());
    // A group that kept its lines begins with the same line as before, moved.
    if (placed + 1 >= breaks.size() || breaks[placed] != shifted(all[slot])) return false;
    groups.push_back(static_cast<std::uint32_t>(placed));
    movedGroups.emplace_back(static_cast<std::uint32_t>(placed), group);
  }
  for (const std::uint64_t key : changedKeys)
    if (const auto [slot, end] = SlotsOfKey(text, breaks, key); end - slot > 1) groups.push_back(static_cast<std::uint32_t>(slot));
  std::sort(groups.begin(), groups.end());
  if (std::adjacent_find(groups.begin(), groups.end()) != groups.end()) return false;
  groups_ = std::move(groups);
  byFirstUnits_ = std::make_unique<const Sorted>(std::move(breaks));
  inFull_ = std::vector<std::atomic<const Sorted*>>(groups_.size());

  // A group that kept its lines keeps their full order, should a lookup in the previous
  // index have made it (one may be making it now: it is read only once published). Its
  // lines keep their order, and those past the change move together.
  const MutexLock lock(refining_);
  for (const auto& [slot, group] : movedGroups) {
    const Sorted* done = previous.inFull_[group].load(std::memory_order_acquire);
    if (!done) continue;
    std::vector<std::uint32_t> movedBreaks(done->breaks.size());
    for (std::size_t i = 0; i < movedBreaks.size(); ++i) movedBreaks[i] = shifted(done->breaks[i]);
    sortedGroups_.push_back(std::make_unique<const Sorted>(std::move(movedBreaks)));
    const auto index = static_cast<std::size_t>(std::lower_bound(groups_.begin(), groups_.end(), slot) - groups_.begin());
    inFull_[index].store(sortedGroups_.back().get(), std::memory_order_release);
  }
  return true;
}

LabelIndex::~LabelIndex() = default;

const LabelIndex::Sorted& LabelIndex::GroupInFull(std::size_t group, std::size_t from, std::size_t to) const {
  if (const Sorted* done = inFull_[group].load(std::memory_order_acquire)) return *done;
  const MutexLock lock(refining_);
  // Another lookup may have sorted it while this one waited.
  if (const Sorted* done = inFull_[group].load(std::memory_order_acquire)) return *done;
  const std::span<const std::uint32_t> all = byFirstUnits_->breaks;
  std::vector<Keyed> lines;
  lines.reserve(to - from);
  for (std::size_t slot = from; slot < to; ++slot) {
    const std::uint32_t at = all[slot];
    const std::size_t next = FindLineBreak(text_, at + 2);
    const std::size_t end = next == std::u16string_view::npos ? text_.size() : next;
    lines.push_back({0, at, static_cast<std::uint32_t>(end - at - 2)});
  }
  SortLines(text_, lines, kFirstUnits);
  std::vector<std::uint32_t> breaks;
  breaks.reserve(lines.size());
  for (const Keyed& line : lines) breaks.push_back(line.at);
  auto sorted = std::make_unique<const Sorted>(std::move(breaks));
  // Published only once it is whole and kept: should anything above throw, the group
  // stays unsorted and the next lookup that needs it sorts it again.
  sortedGroups_.push_back(std::move(sorted));
  inFull_[group].store(sortedGroups_.back().get(), std::memory_order_release);
  return *sortedGroups_.back();
}

LabelIndex::Found LabelIndex::Find(std::u16string_view label) const {
  if (label.find_first_of(u"\r\n") != std::u16string_view::npos) return Searched(text_, label);
  const Sorted& all = *byFirstUnits_;
  auto [from, to] = SlotsBeginning(text_, all.breaks, 0, all.breaks.size(), label.substr(0, kFirstUnits));
  if (label.size() <= kFirstUnits) return all.FirstTwoIn(from, to);
  if (to - from < 2) {
    std::tie(from, to) = SlotsBeginning(text_, all.breaks, from, to, label);
    return all.FirstTwoIn(from, to);
  }
  // The lines that agree with the label on its first units, and go on past them since
  // the label does: one of the groups, in its full order.
  const auto group = std::lower_bound(groups_.begin(), groups_.end(), from);
  // Every such group is listed; should a patch have left one out, the search still
  // answers, slowly, rather than a lookup reading past the groups.
  if (group == groups_.end() || *group != from) [[unlikely]] return Searched(text_, label);
  const Sorted& inFull = GroupInFull(static_cast<std::size_t>(group - groups_.begin()), from, to);
  std::tie(from, to) = SlotsBeginning(text_, inFull.breaks, 0, inFull.breaks.size(), label);
  return inFull.FirstTwoIn(from, to);
}

}  // namespace quillshade
