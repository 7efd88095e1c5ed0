// Sorted line breaks and a min tree over blocks of them: the first two label lines in O(log n).
#include "story/label_index.h"

#include <algorithm>
#include <tuple>

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

}  // namespace

LabelIndex::LabelIndex(std::u16string_view text) : text_(text) {
  // A break is left out when the two breaks before it begin the same line as it does:
  // those two come first for any label it could answer, so a story of millions of equal
  // lines costs next to nothing here.
  std::vector<Keyed> lines;
  std::u16string_view before[2];
  std::size_t seen = 0;
  for (std::size_t at = FindLineBreak(text, 0); at != std::u16string_view::npos;) {
    const std::size_t next = FindLineBreak(text, at + 2);
    const std::u16string_view line =
        text.substr(at + 2, next == std::u16string_view::npos ? std::u16string_view::npos : next - at - 2);
    // Compared by hand: most such lines are short, and a library call per line costs more.
    const auto same = [line](std::u16string_view other) {
      return other.size() == line.size() && std::equal(line.begin(), line.end(), other.begin());
    };
    if (seen++ < 2 || !same(before[0]) || !same(before[1])) {
      Keyed keyed{0, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(line.size())};
      keyed.key = KeyAt(text, keyed, 0);
      lines.push_back(keyed);
    }
    before[1] = before[0];
    before[0] = line;
    at = next;
  }
  // A label without CR or LF can only match inside the line after a break, so sorting
  // those lines orders every prefix such a label can match; Find falls back to the plain
  // search for any other label. They are sorted here by their first units alone, which
  // needs no reading of the text; Refine sorts a group of lines that agree on those
  // further, once a lookup needs it, so lines that no label begins cost nothing.
  SortByFirstUnits(lines);
  breaks_.reserve(lines.size());
  for (const Keyed& line : lines) breaks_.push_back(line.at);
  lines = {};

  // The tree holds the smallest break of each block of slots; a lookup reads the slots
  // of the blocks at the ends of its range one by one, so the tree costs a sixteenth of
  // the breaks themselves.
  // Its leaves are a power of two, so that every level of it is whole.
  std::size_t blocks = 1;
  while (blocks * kBlockSize < breaks_.size()) blocks *= 2;
  tree_.assign(2 * blocks, kNoSlot);
  UpdateTree(0, breaks_.size());
}

void LabelIndex::UpdateTree(std::size_t from, std::size_t to) const {
  if (from >= to) return;
  const std::size_t blocks = tree_.size() / 2;
  std::size_t first = from / kBlockSize;
  std::size_t last = (to - 1) / kBlockSize;
  for (std::size_t block = first; block <= last; ++block) {
    std::uint32_t& least = tree_[blocks + block] = kNoSlot;
    for (std::size_t slot = block * kBlockSize; slot < std::min((block + 1) * kBlockSize, breaks_.size()); ++slot)
      if (least == kNoSlot || breaks_[slot] < breaks_[least]) least = static_cast<std::uint32_t>(slot);
  }
  // Then the nodes above them, level by level.
  for (first = (first + blocks) / 2, last = (last + blocks) / 2; first >= 1; first /= 2, last /= 2) {
    for (std::size_t node = first; node <= last; ++node) {
      const std::uint32_t left = tree_[2 * node];
      const std::uint32_t right = tree_[2 * node + 1];
      tree_[node] = right == kNoSlot || (left != kNoSlot && breaks_[left] < breaks_[right]) ? left : right;
    }
    if (first == 1) break;
  }
}

void LabelIndex::Refine(std::size_t from, std::size_t to) const {
  if (to - from < 2 || !refined_.insert(static_cast<std::uint32_t>(from)).second) return;
  std::vector<Keyed> lines;
  lines.reserve(to - from);
  for (std::size_t slot = from; slot < to; ++slot) {
    const std::uint32_t at = breaks_[slot];
    const std::size_t next = FindLineBreak(text_, at + 2);
    const std::size_t end = next == std::u16string_view::npos ? text_.size() : next;
    lines.push_back({0, at, static_cast<std::uint32_t>(end - at - 2)});
  }
  SortLines(text_, lines, kFirstUnits);
  for (std::size_t slot = from; slot < to; ++slot) breaks_[slot] = lines[slot - from].at;
  UpdateTree(from, to);
}

std::uint32_t LabelIndex::MinIn(std::size_t from, std::size_t to) const {
  std::uint32_t best = kNoSlot;
  const auto take = [&](std::uint32_t slot) {
    if (slot != kNoSlot && (best == kNoSlot || breaks_[slot] < breaks_[best])) best = slot;
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
  const std::size_t blocks = tree_.size() / 2;
  for (firstBlock += blocks, lastBlock += blocks; firstBlock < lastBlock; firstBlock /= 2, lastBlock /= 2) {
    if (firstBlock & 1) take(tree_[firstBlock++]);
    if (lastBlock & 1) take(tree_[--lastBlock]);
  }
  return best;
}

LabelIndex::Found LabelIndex::Find(std::u16string_view label) const {
  if (label.find_first_of(u"\r\n") != std::u16string_view::npos) {
    Found found{FindLabelLine(text_, label), 0};
    if (found.first != 0) {
      const auto rest = static_cast<std::size_t>(found.first);
      const std::int32_t next = FindLabelLine(text_.substr(rest), label);
      if (next != 0) found.second = static_cast<std::int32_t>(rest) + next;
    }
    return found;
  }
  // How the line after a break begins, against `part`: below, equal or above, as the
  // sort ordered lines (a line that ends first is below).
  const auto compare = [this](std::uint32_t at, std::u16string_view part) {
    for (std::size_t i = 0, place = at + 2; i < part.size(); ++i, ++place) {
      if (place >= text_.size() || (text_[place] == u'\r' && place + 1 < text_.size() && text_[place + 1] == u'\n'))
        return -1;
      if (text_[place] != part[i]) return text_[place] < part[i] ? -1 : 1;
    }
    return 0;
  };
  const auto range = [&](auto from, auto to, std::u16string_view part) {
    from = std::partition_point(from, to, [&](std::uint32_t at) { return compare(at, part) < 0; });
    return std::pair{from, std::partition_point(from, to, [&](std::uint32_t at) { return compare(at, part) == 0; })};
  };
  const std::lock_guard<std::mutex> lock(refining_);
  auto [low, high] = range(breaks_.begin(), breaks_.end(), label.substr(0, kFirstUnits));
  if (label.size() > kFirstUnits) {
    // The lines that agree with the label on its first units, sorted further if no lookup
    // has needed them yet.
    Refine(static_cast<std::size_t>(low - breaks_.begin()), static_cast<std::size_t>(high - breaks_.begin()));
    std::tie(low, high) = range(low, high, label);
  }
  const auto from = static_cast<std::size_t>(low - breaks_.begin());
  const auto to = static_cast<std::size_t>(high - breaks_.begin());
  const std::uint32_t first = MinIn(from, to);
  if (first == kNoSlot) return {};
  const std::uint32_t left = MinIn(from, first);
  const std::uint32_t right = MinIn(first + 1, to);
  std::uint32_t second = left;
  if (second == kNoSlot || (right != kNoSlot && breaks_[right] < breaks_[second])) second = right;
  return {static_cast<std::int32_t>(breaks_[first] + 1),
          second == kNoSlot ? 0 : static_cast<std::int32_t>(breaks_[second] + 1)};
}

}  // namespace quillshade
