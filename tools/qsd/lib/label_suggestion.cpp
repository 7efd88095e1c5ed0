// Finding the line beginning nearest to a missing label.
#include "tools/qsd/lib/label_suggestion.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <unordered_map>
#include <limits>
#include <utility>

#include "story/script_line.h"
#include "story/text.h"

namespace quillshade::qsd {
namespace {

// Longer labels are only matched in or out of brackets and in another case.
constexpr std::size_t kMaxSpelledLength = 64;

bool Bracketed(std::u16string_view candidate) {
  return candidate.size() >= 2 && candidate.front() == u'[' && candidate.back() == u']';
}

// A label and a line beginning are compared without the brackets around them, whatever
// they hold inside: the sorted walk below reads a beginning the same way.
std::u16string_view Unbracketed(std::u16string_view label) {
  return Bracketed(label) ? label.substr(1, label.size() - 2) : label;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) { return Upper(x) == Upper(y); });
}

// How many edits a label of this length may be from what was meant: none for one or
// two characters, where any other word is one edit away.
std::size_t AllowedEdits(std::size_t length) { return length <= 2 ? 0 : length <= 5 ? 1 : 2; }

// Insertions, deletions, replacements and swaps of neighbours that turn a into b;
// anything above `limit` is answered as limit + 1.
std::size_t Edits(std::u16string_view a, std::u16string_view b, std::size_t limit) {
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    std::size_t rowBest = current[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replace = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, replace});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        current[j] = std::min(current[j], before[j - 2] + 1);
      rowBest = std::min(rowBest, current[j]);
    }
    if (rowBest > limit) return limit + 1;
    before.swap(previous);
    previous.swap(current);
  }
  return std::min(previous[b.size()], limit + 1);
}

// The beginning of a line with as many words as a label of `spaces` spaces has.
std::u16string_view WordsOf(std::u16string_view line, std::size_t spaces) {
  std::size_t at = std::u16string_view::npos;
  for (std::size_t word = 0; word <= spaces; ++word) {
    at = line.find(u' ', at + 1);
    if (at == std::u16string_view::npos) return line;
  }
  return line.substr(0, at);
}

// Tabs, spaces and ideographic spaces, which a writer cannot see at the end of a label.
bool IsBlank(char16_t c) { return c == u'\t' || c == u' ' || c == u'\u3000'; }

std::u16string_view TrimBlanks(std::u16string_view label) {
  while (!label.empty() && IsBlank(label.front())) label.remove_prefix(1);
  while (!label.empty() && IsBlank(label.back())) label.remove_suffix(1);
  return label;
}

// Whether a line beginning is long enough and short enough to be a spelling of `core`.
bool WithinSpelling(std::u16string_view candidateCore, std::u16string_view core, std::size_t allowed) {
  return allowed > 0 && candidateCore.size() + allowed >= core.size() && candidateCore.size() <= core.size() + allowed;
}

std::size_t AllowedFor(std::u16string_view core) { return core.size() <= kMaxSpelledLength ? AllowedEdits(core.size()) : 0; }

// The longest line beginning that can be a spelling of a label: two edits past the
// longest spelled label, in brackets.
constexpr std::size_t kMaxSpellingLength = kMaxSpelledLength + 2 + 2;

// Units in the order the suggester sorts lines by: a line's end, then a space, then every
// other unit as it is, so that the lines whose first words are a given beginning lie together,
// those that end there or go on with a space first.
constexpr std::uint32_t kEnd = 0;
constexpr std::uint32_t kSpace = 1;
std::uint32_t KeyOf(char16_t c) { return c == u' ' ? kSpace : static_cast<std::uint32_t>(c) + 2; }
std::uint32_t KeyAt(std::u16string_view line, std::size_t at) { return at < line.size() ? KeyOf(line[at]) : kEnd; }

// How a line begins against `part`: below it, beginning with it (0), or above it.
int CompareBeginning(std::u16string_view line, std::u16string_view part) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    const std::uint32_t mine = KeyAt(line, i);
    const std::uint32_t theirs = KeyOf(part[i]);
    if (mine != theirs) return mine < theirs ? -1 : 1;
  }
  return 0;
}

constexpr std::uint32_t kNoLine = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kBlockSize = 32;  // slots under one leaf of the tree of least lines

// Where a candidate stands among all: its line, and on a line the bracketed prefix before
// the words; the first place wins among equally near candidates.
constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max();
std::uint64_t PlaceOf(std::uint32_t line, bool words) { return std::uint64_t{line} * 2 + (words ? 1 : 0); }

// Lines in one sorted order, with the least line of any range of them in O(log n).
struct LineOrder {
  explicit LineOrder(std::vector<std::uint32_t> sorted) : lines(std::move(sorted)) {
    while (blocks * kBlockSize < lines.size()) blocks *= 2;
    tree.assign(2 * blocks, kNoLine);
    for (std::size_t slot = 0; slot < lines.size(); ++slot)
      tree[blocks + slot / kBlockSize] = std::min(tree[blocks + slot / kBlockSize], lines[slot]);
    for (std::size_t node = blocks - 1; node >= 1; --node) tree[node] = std::min(tree[2 * node], tree[2 * node + 1]);
  }

  std::uint32_t Least(std::size_t from, std::size_t to) const {
    std::uint32_t best = kNoLine;
    std::size_t firstBlock = (from + kBlockSize - 1) / kBlockSize;
    std::size_t lastBlock = to / kBlockSize;
    if (firstBlock >= lastBlock) {
      for (std::size_t slot = from; slot < to; ++slot) best = std::min(best, lines[slot]);
      return best;
    }
    for (std::size_t slot = from; slot < firstBlock * kBlockSize; ++slot) best = std::min(best, lines[slot]);
    for (std::size_t slot = lastBlock * kBlockSize; slot < to; ++slot) best = std::min(best, lines[slot]);
    for (firstBlock += blocks, lastBlock += blocks; firstBlock < lastBlock; firstBlock /= 2, lastBlock /= 2) {
      if (firstBlock & 1) best = std::min(best, tree[firstBlock++]);
      if (lastBlock & 1) best = std::min(best, tree[--lastBlock]);
    }
    return best;
  }

  std::vector<std::uint32_t> lines;  // story lines
  std::size_t blocks = 1;
  std::vector<std::uint32_t> tree;   // least line of each block of slots, then of each node's two
};

// Whether a line has a beginning short enough to be a spelling of some label.
bool MayBeSpelling(std::u16string_view line) {
  const std::u16string_view head = line.substr(0, kMaxSpellingLength + 1);
  return line.size() <= kMaxSpellingLength || head.find(u' ') != std::u16string_view::npos ||
         (!line.empty() && line.front() == u'[' && head.find(u']') != std::u16string_view::npos);
}

// Half-width katakana U+FF61 .. U+FF9F as their usual full-width forms.
constexpr std::array<char16_t, 0x3F> kFullWidthKana{
    u'\u3002', u'\u300C', u'\u300D', u'\u3001', u'\u30FB', u'\u30F2', u'\u30A1', u'\u30A3', u'\u30A5', u'\u30A7',
    u'\u30A9', u'\u30E3', u'\u30E5', u'\u30E7', u'\u30C3', u'\u30FC', u'\u30A2', u'\u30A4', u'\u30A6', u'\u30A8',
    u'\u30AA', u'\u30AB', u'\u30AD', u'\u30AF', u'\u30B1', u'\u30B3', u'\u30B5', u'\u30B7', u'\u30B9', u'\u30BB',
    u'\u30BD', u'\u30BF', u'\u30C1', u'\u30C4', u'\u30C6', u'\u30C8', u'\u30CA', u'\u30CB', u'\u30CC', u'\u30CD',
    u'\u30CE', u'\u30CF', u'\u30D2', u'\u30D5', u'\u30D8', u'\u30DB', u'\u30DE', u'\u30DF', u'\u30E0', u'\u30E1',
    u'\u30E2', u'\u30E4', u'\u30E6', u'\u30E8', u'\u30E9', u'\u30EA', u'\u30EB', u'\u30EC', u'\u30ED', u'\u30EF',
    u'\u30F3', u'\u309B', u'\u309C'};
constexpr char16_t kHalfWidthVoiced = u'\uFF9E';
constexpr char16_t kHalfWidthSemiVoiced = u'\uFF9F';

bool IsHalfWidthKana(char16_t c) { return c >= u'\uFF61' && c <= u'\uFF9F'; }
bool IsFullWidthAscii(char16_t c) { return c >= u'\uFF01' && c <= u'\uFF5E'; }

// A half-width kana that a following voiced mark turns into the next code point (ｶﾞ is
// ガ), and one that a semi-voiced mark turns into the one after (ﾊﾟ is パ).
bool TakesVoicedMark(char16_t kana) { return (kana >= u'\uFF76' && kana <= u'\uFF84') || (kana >= u'\uFF8A' && kana <= u'\uFF8E'); }
bool TakesSemiVoicedMark(char16_t kana) { return kana >= u'\uFF8A' && kana <= u'\uFF8E'; }

// A label with full-width ASCII and half-width katakana in their usual forms: ASCII, and
// full-width katakana with the voiced marks joined to the kana before them.
std::u16string FoldWidth(std::u16string_view text) {
  std::u16string folded;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char16_t c = text[at];
    if (IsFullWidthAscii(c)) {
      folded += static_cast<char16_t>(c - 0xFEE0);
    } else if (IsHalfWidthKana(c)) {
      const char16_t mark = at + 1 < text.size() ? text[at + 1] : u'\0';
      char16_t kana = kFullWidthKana[c - 0xFF61];
      if (mark == kHalfWidthVoiced && c == u'\uFF73') {
        kana = u'\u30F4';  // ｳﾞ is ヴ
        ++at;
      } else if (mark == kHalfWidthVoiced && TakesVoicedMark(c)) {
        kana = static_cast<char16_t>(kana + 1);
        ++at;
      } else if (mark == kHalfWidthSemiVoiced && TakesSemiVoicedMark(c)) {
        kana = static_cast<char16_t>(kana + 2);
        ++at;
      }
      folded += kana;
    } else {
      folded += c;
    }
  }
  return folded;
}

// The other ways a writer may have typed a label of one width: ASCII as full-width, and
// full-width katakana as half-width with the voiced marks apart. Each is empty where it
// would not differ from the label.
std::u16string AsFullWidthAscii(std::u16string_view text) {
  std::u16string wide(text);
  bool changed = false;
  for (char16_t& c : wide)
    if (c >= u'!' && c <= u'~') {
      c = static_cast<char16_t>(c + 0xFEE0);
      changed = true;
    }
  return changed ? wide : std::u16string();
}

std::u16string AsHalfWidthKana(std::u16string_view text) {
  std::u16string narrow;
  bool changed = false;
  for (const char16_t c : text) {
    std::u16string half;
    for (char16_t kana = u'\uFF61'; kana <= u'\uFF9F' && half.empty(); ++kana) {
      const char16_t full = kFullWidthKana[kana - 0xFF61];
      if (full == c && kana >= u'\uFF66' && kana <= u'\uFF9D') half = std::u16string(1, kana);
      else if (TakesVoicedMark(kana) && full + 1 == c) half = {kana, kHalfWidthVoiced};
      else if (TakesSemiVoicedMark(kana) && full + 2 == c) half = {kana, kHalfWidthSemiVoiced};
    }
    if (c == u'\u30F4') half = {u'\uFF73', kHalfWidthVoiced};
    changed = changed || !half.empty();
    narrow += half.empty() ? std::u16string(1, c) : half;
  }
  return changed ? narrow : std::u16string();
}

// What a line shows before its script: a "[label]" past its start there is text a
// writer may have meant as the label, unlike one in a jump or a choice list.
std::u16string_view BeforeScript(std::u16string_view line) {
  std::size_t end = line.size();
  for (const std::u16string_view marker : {kJumpMarker, kCommandMarker, kChoiceMarker}) end = std::min(end, line.find(marker));
  return line.substr(0, end);
}

bool HoldsWidthForms(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return IsFullWidthAscii(c) || IsHalfWidthKana(c); });
}

}  // namespace

std::optional<std::string_view> NearestName(std::string_view typed, const std::vector<std::string_view>& names) {
  const std::u16string wanted(typed.begin(), typed.end());
  const std::size_t allowed = AllowedEdits(wanted.size());
  std::optional<std::string_view> best;
  std::size_t bestScore = allowed + 2;
  for (const std::string_view name : names) {
    const std::u16string candidate(name.begin(), name.end());
    const std::size_t score = SameIgnoringCase(candidate, wanted) ? 0 : 1 + Edits(wanted, candidate, allowed);
    if (score < bestScore && score <= allowed + 1 && candidate != wanted) {
      bestScore = score;
      best = name;
    }
  }
  return best;
}

// The story's lines after a line break, sorted as the order of units above puts them, in
// lists made on the first search that needs each: the lines whose first word or
// bracketed prefix has a given length, which is all that a label of one word asks; and,
// for the rare labels of several words, all lines and those that may be a spelling of
// one. Each search then sorts few lines, and most versions of a story sort none: a later
// version patches a copy of an earlier one's lists with the lines changed since.
class LabelSuggester::Index {
 public:
  explicit Index(const StoryLines& lines) : lines_(&lines) {
    for (std::uint32_t line = 2; line <= lines.Count(); ++line)
      ForEachLength(line, [&](std::size_t length) { ofLength_[length].push_back(line); });
  }

  // `earlier`'s lists made this version's: the lines the change replaced leave them, those
  // after it move, and the lines it added go in where they belong, each list staying in
  // its order. Only this version's lines are read: a line that the change left alone has
  // the text it had.
  Index(const Index& earlier, const StoryLines& lines, Carried change) : lines_(&lines) {
    // No line break stands before the first line, so it is listed in neither version: a
    // change at the start lists the line after it anew, which becomes the first or stops being so.
    if (change.from <= 1 && change.newEnd <= lines.Count()) ++change.oldEnd, ++change.newEnd;
    const std::vector<std::uint32_t> added = Added(change);
    std::unordered_map<std::size_t, std::vector<std::uint32_t>> addedOfLength;
    for (const std::uint32_t line : added)
      ForEachLength(line, [&](std::size_t length) { addedOfLength[length].push_back(line); });
    const std::vector<std::uint32_t> none;
    const auto addedOf = [&](std::size_t length) -> const std::vector<std::uint32_t>& {
      const auto found = addedOfLength.find(length);
      return found == addedOfLength.end() ? none : found->second;
    };
    for (const auto& entry : earlier.ofLength_) {
      const std::vector<std::uint32_t>& more = addedOf(entry.first);
      std::vector<std::uint32_t>& patched = ofLength_[entry.first] = Moved(entry.second, change, more.size());
      if (earlier.sortedOfLength_.contains(entry.first)) continue;  // its lines went to the sorted list
      patched.insert(std::lower_bound(patched.begin(), patched.end(), static_cast<std::uint32_t>(change.from)), more.begin(), more.end());
    }
    // Lines added of a length that no line had: a list of their own.
    for (const auto& [length, ofIt] : addedOfLength)
      if (!earlier.ofLength_.contains(length) && !earlier.sortedOfLength_.contains(length)) ofLength_[length] = ofIt;
    for (const auto& [length, order] : earlier.sortedOfLength_)
      sortedOfLength_.emplace(length, Patched(order, change, addedOf(length)));
    if (earlier.byText_) byText_.emplace(Patched(*earlier.byText_, change, added));
    if (earlier.spellings_) {
      std::vector<std::uint32_t> some;
      std::copy_if(added.begin(), added.end(), std::back_inserter(some),
                   [&](std::uint32_t line) { return MayBeSpelling(Line(line)); });
      spellings_.emplace(Patched(*earlier.spellings_, change, some));
    }
  }

  std::u16string_view Line(std::uint32_t line) const { return lines_->Text(line); }

  std::size_t Bytes() const {
    std::size_t bytes = sizeof(*this);
    for (const auto& [length, inOrder] : ofLength_)
      bytes += sizeof(length) + sizeof(inOrder) + inOrder.capacity() * sizeof(std::uint32_t);
    const auto orderBytes = [](const LineOrder& order) {
      return sizeof(order) + (order.lines.capacity() + order.tree.capacity()) * sizeof(std::uint32_t);
    };
    for (const auto& [length, order] : sortedOfLength_) bytes += sizeof(length) + orderBytes(order);
    if (byText_) bytes += orderBytes(*byText_);
    if (spellings_) bytes += orderBytes(*spellings_);
    return bytes;
  }

  // The slots of `order` whose lines begin with `part` and go on with a unit whose key is
  // no more than `next`.
  std::pair<std::size_t, std::size_t> Beginning(const LineOrder& order, std::u16string_view part, std::uint32_t next) const {
    const auto begin = order.lines.begin();
    const auto low = std::partition_point(begin, order.lines.end(), [&](std::uint32_t line) {
      return CompareBeginning(Line(line), part) < 0;
    });
    const auto high = std::partition_point(low, order.lines.end(), [&](std::uint32_t line) {
      const std::u16string_view text = Line(line);
      return CompareBeginning(text, part) == 0 && KeyAt(text, part.size()) <= next;
    });
    return {static_cast<std::size_t>(low - begin), static_cast<std::size_t>(high - begin)};
  }

  const LineOrder& ByText() {
    if (!byText_) {
      std::vector<std::uint32_t> all;
      for (std::size_t line = 2; line <= lines_->Count(); ++line) all.push_back(static_cast<std::uint32_t>(line));
      byText_.emplace(Sorted(std::move(all)));
    }
    return *byText_;
  }
  const LineOrder& Spellings() {
    if (!spellings_) {
      std::vector<std::uint32_t> some;
      for (std::size_t line = 2; line <= lines_->Count(); ++line)
        if (MayBeSpelling(Line(static_cast<std::uint32_t>(line)))) some.push_back(static_cast<std::uint32_t>(line));
      spellings_.emplace(Sorted(std::move(some)));
    }
    return *spellings_;
  }
  // The lines whose first word or bracketed prefix is `length` units long.
  const LineOrder& FirstWordsOfLength(std::size_t length) {
    if (const auto sorted = sortedOfLength_.find(length); sorted != sortedOfLength_.end()) return sorted->second;
    const auto lines = ofLength_.find(length);
    return sortedOfLength_.emplace(length, Sorted(lines == ofLength_.end() ? std::vector<std::uint32_t>() : std::move(lines->second)))
        .first->second;
  }

 private:
  // Lines given in their order in the story, sorted by the keys of their first three
  // units at once, and only lines that agree on those by the rest, equal lines in their
  // order.
  LineOrder Sorted(std::vector<std::uint32_t> lines) const {
    struct Keyed {
      std::uint64_t key;
      std::uint32_t line;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(lines.size());
    for (const std::uint32_t line : lines) {
      const std::u16string_view text = Line(line);
      std::uint64_t key = 0;
      for (std::size_t i = 0; i < 3; ++i) key = key << 17 | KeyAt(text, i);
      keyed.push_back({key, line});
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const Keyed& x, const Keyed& y) { return x.key != y.key ? x.key < y.key : x.line < y.line; });
    for (auto run = keyed.begin(); run != keyed.end();) {
      const auto end = std::find_if(run, keyed.end(), [&](const Keyed& line) { return line.key != run->key; });
      if (end - run > 1 && (run->key & 0x1FFFF) != kEnd)
        std::stable_sort(run, end, [&](const Keyed& x, const Keyed& y) {
          const std::u16string_view a = Line(x.line), b = Line(y.line);
          for (std::size_t i = 3;; ++i) {
            const std::uint32_t ka = KeyAt(a, i), kb = KeyAt(b, i);
            if (ka != kb) return ka < kb;
            if (ka == kEnd) return false;
          }
        });
      run = end;
    }
    for (std::size_t slot = 0; slot < keyed.size(); ++slot) lines[slot] = keyed[slot].line;
    return LineOrder(std::move(lines));
  }

  // Calls `visit` with each length a line is listed under: its first word's, and its
  // bracketed prefix's when that differs.
  template <typename Visit>
  void ForEachLength(std::uint32_t line, const Visit& visit) const {
    const std::u16string_view text = Line(line);
    const std::size_t word = std::min(text.find(u' '), text.size());
    const std::size_t prefix = LeadingPrefix(text).size();
    visit(word);
    if (prefix != 0 && prefix != word) visit(prefix);
  }

  // Whether line a stands before line b in a sorted order: by their units as the order
  // above keys them, then by line, as Sorted puts them.
  bool Before(std::uint32_t a, std::uint32_t b) const {
    const std::u16string_view x = Line(a), y = Line(b);
    for (std::size_t i = 0;; ++i) {
      const std::uint32_t kx = KeyAt(x, i), ky = KeyAt(y, i);
      if (kx != ky) return kx < ky;
      if (kx == kEnd) return a < b;
    }
  }

  // The lines a change added that the index lists (no line before the first has a line
  // break), in line order.
  static std::vector<std::uint32_t> Added(const Carried& change) {
    std::vector<std::uint32_t> added;
    for (std::size_t line = std::max<std::size_t>(change.from, 2); line < change.newEnd; ++line)
      added.push_back(static_cast<std::uint32_t>(line));
    return added;
  }

  // An earlier version's list without the lines the change replaced, those after it moved;
  // the order of the rest stands, as the change moves them all alike.
  static std::vector<std::uint32_t> Moved(const std::vector<std::uint32_t>& earlier, const Carried& change, std::size_t room) {
    const std::ptrdiff_t shift = static_cast<std::ptrdiff_t>(change.newEnd) - static_cast<std::ptrdiff_t>(change.oldEnd);
    std::vector<std::uint32_t> moved;
    moved.reserve(earlier.size() + room);
    for (const std::uint32_t line : earlier) {
      if (line < change.from) moved.push_back(line);
      else if (line >= change.oldEnd) moved.push_back(static_cast<std::uint32_t>(static_cast<std::ptrdiff_t>(line) + shift));
    }
    return moved;
  }

  // A sorted order of an earlier version made this one's: the lines `added` to it are each
  // put in place by a binary search, and the tree of least lines made again.
  LineOrder Patched(const LineOrder& earlier, const Carried& change, const std::vector<std::uint32_t>& added) const {
    std::vector<std::uint32_t> kept = Moved(earlier.lines, change, 0);
    if (added.empty()) return LineOrder(std::move(kept));
    std::vector<std::uint32_t> more = added;
    std::sort(more.begin(), more.end(), [&](std::uint32_t a, std::uint32_t b) { return Before(a, b); });
    std::vector<std::uint32_t> lines;
    lines.reserve(kept.size() + more.size());
    auto from = kept.begin();
    for (const std::uint32_t line : more) {
      const auto at = std::lower_bound(from, kept.end(), line, [&](std::uint32_t a, std::uint32_t b) { return Before(a, b); });
      lines.insert(lines.end(), from, at);
      lines.push_back(line);
      from = at;
    }
    lines.insert(lines.end(), from, kept.end());
    return LineOrder(std::move(lines));
  }

  const StoryLines* lines_;  // this version's, which outlive its searches; never read once the index is carried on
  std::unordered_map<std::size_t, std::vector<std::uint32_t>> ofLength_;  // by first word's or prefix's length, in line order
  std::unordered_map<std::size_t, LineOrder> sortedOfLength_;  // those sorted once a search needed them
  std::optional<LineOrder> byText_;
  std::optional<LineOrder> spellings_;
};

namespace {

// The walk of the tree of line beginnings for the nearest label in another case or
// spelling of a label's core: each beginning carries whether it is the core's beginning
// in another case, and its edit distance from the core (optimal string alignment, as
// Edits counts); a branch is left once neither can come back in a longer beginning.
class SpellingWalk {
 public:
  using Row = std::array<std::uint8_t, kMaxSpelledLength + 1>;

  SpellingWalk(LabelSuggester::Index& index, std::u16string_view core, std::size_t spaces, std::size_t allowed)
      : index_(index), core_(core), spaces_(spaces), spelled_(allowed > 0), far_(static_cast<std::uint8_t>(allowed + 1)) {}

  // Walks the lines that can hold a candidate: for a label of one word, only those whose
  // first word or bracketed prefix is as long as a candidate can be, so that the many
  // lines of a story that begin alike with longer words are never walked.
  void Run() {
    if (spaces_ > 0) return Run(spelled_ ? index_.Spellings() : index_.ByText());
    const std::size_t allowed = spelled_ ? far_ - 1u : 0;
    for (std::size_t length = core_.size() - allowed; length <= core_.size() + allowed + 2 && !GaveUp(); ++length)
      if (spelled_ || length == core_.size() || length == core_.size() + 2) Run(index_.FirstWordsOfLength(length));
  }

  void Run(const LineOrder& order) {
    order_ = &order;
    Row start{};
    if (spelled_)
      for (std::size_t j = 0; j <= core_.size(); ++j) start[j] = Capped(j);
    Node root{0, 0, order_->lines.size(), start, start, start, start, true, true, true, false, 0, false};
    Children(root);
  }

  bool GaveUp() const { return work_ > LabelSuggester::kMaxSpellingWork; }
  std::uint32_t Work() const { return work_; }
  std::optional<std::u16string> Best() const {
    if (bestPlace_ == kNowhere) return std::nullopt;
    return std::u16string(index_.Line(static_cast<std::uint32_t>(bestPlace_ / 2)).substr(0, bestLength_));
  }

 private:
  // A beginning of `depth` units that the lines of slots [from, to) share: its distance
  // from the core (`plain`) and whether it is the core's beginning but for case
  // (`cased`); and, when it opens with '[', the same of what follows the '[' (`inside`);
  // each also one unit earlier, for swaps of neighbours and for a closing ']'.
  struct Node {
    std::size_t depth, from, to;
    Row plain, plainBefore, inside, insideBefore;
    bool cased, inCase, inCaseBefore;
    bool opened;        // begins with '['
    std::size_t spaces; // in the beginning
    bool closed;        // a ']' after the '[' ends it already
  };

  std::uint8_t Capped(std::size_t value) const { return static_cast<std::uint8_t>(std::min<std::size_t>(value, far_)); }
  bool Near(const Row& row) const {
    return spelled_ && *std::min_element(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(core_.size() + 1)) < far_;
  }
  bool SameButCase(bool before, char16_t c, std::size_t at) const {
    return before && at < core_.size() && Upper(c) == Upper(core_[at]);
  }

  // The row of a beginning one unit `c` longer, `length` units long, whose last unit was
  // `last`.
  Row Next(const Row& row, const Row& before, char16_t c, char16_t last, std::size_t length) const {
    Row next{};
    if (!spelled_) return next;
    next[0] = Capped(length);
    for (std::size_t j = 1; j <= core_.size(); ++j) {
      std::size_t value = std::min<std::size_t>({row[j] + 1u, next[j - 1] + 1u, row[j - 1] + (c == core_[j - 1] ? 0u : 1u)});
      if (length > 1 && j > 1 && c == core_[j - 2] && last == core_[j - 1]) value = std::min<std::size_t>(value, before[j - 2] + 1u);
      next[j] = Capped(value);
    }
    return next;
  }

  // A candidate of the core in another case (score 0) or `distance` edits away (score
  // distance): the core itself is in no line, or the walk would not have begun.
  void Consider(bool cased, std::size_t distance, std::uint32_t line, bool words, std::size_t length) {
    if (line == kNoLine || (!cased && (!spelled_ || distance >= far_))) return;
    const std::size_t score = cased ? 0 : distance;
    const std::uint64_t place = PlaceOf(line, words);
    if (score < bestScore_ || (score == bestScore_ && place < bestPlace_)) {
      bestScore_ = score;
      bestPlace_ = place;
      bestLength_ = length;
    }
  }

  // The beginnings one unit longer than `node`'s, each judged and walked on.
  void Children(const Node& node) {
    const auto begin = order_->lines.begin();
    auto from = std::partition_point(begin + static_cast<std::ptrdiff_t>(node.from), begin + static_cast<std::ptrdiff_t>(node.to),
                                     [&](std::uint32_t line) { return KeyAt(index_.Line(line), node.depth) == kEnd; });
    const auto to = begin + static_cast<std::ptrdiff_t>(node.to);
    while (from != to && !GaveUp()) {
      const std::u16string_view text = index_.Line(*from);
      const char16_t c = text[node.depth];
      const std::uint32_t key = KeyOf(c);
      // Most branches hold few lines: their end is looked for by doubling steps from their start.
      const auto within = [&](std::uint32_t line) { return KeyAt(index_.Line(line), node.depth) <= key; };
      std::ptrdiff_t step = 1;
      while (step < to - from && within(from[step])) step *= 2;
      const auto end = std::partition_point(from + step / 2, from + std::min(step, to - from), within);
      ++work_;
      const bool opened = node.depth == 0 ? c == u'[' : node.opened;
      Node child{node.depth + 1, static_cast<std::size_t>(from - begin), static_cast<std::size_t>(end - begin), {}, node.plain, {}, node.inside,
                 SameButCase(node.cased, c, node.depth), false, node.inCase, opened, node.spaces + (c == u' ' ? 1 : 0), node.closed};
      const char16_t last = node.depth > 0 ? text[node.depth - 1] : u'\0';
      child.plain = Next(node.plain, node.plainBefore, c, last, child.depth);
      // What follows the '[' is nothing yet on the '[' itself.
      if (opened && node.depth == 0) {
        child.inside = node.inside;
        child.inCase = true;
      } else if (opened) {
        child.inside = Next(node.inside, node.insideBefore, c, last, node.depth);
        child.inCase = SameButCase(node.inCase, c, node.depth - 1);
      }
      Visit(child, text);
      from = end;
    }
  }

  void Visit(Node& node, std::u16string_view text) {
    const std::size_t depth = node.depth;
    const bool bracketed = node.opened && depth >= 2 && text[depth - 1] == u']';
    // The core of this beginning as a candidate: inside its brackets, or itself.
    const bool cased = bracketed ? node.inCaseBefore && depth - 2 == core_.size() : node.cased && depth == core_.size();
    const std::size_t distance = !spelled_ ? far_ : bracketed ? (depth >= 3 ? node.insideBefore[core_.size()] : far_) : node.plain[core_.size()];
    if (bracketed && !node.closed && depth >= 3) Consider(cased, distance, order_->Least(node.from, node.to), false, depth);
    if (node.spaces <= spaces_ && !(bracketed && depth < 3)) {
      // The lines whose first words this is: those that end here, or go on with a space
      // when it holds as many spaces as the label.
      const std::uint32_t next = node.spaces == spaces_ ? kSpace : kEnd;
      const auto begin = order_->lines.begin();
      const auto end = std::partition_point(begin + static_cast<std::ptrdiff_t>(node.from), begin + static_cast<std::ptrdiff_t>(node.to),
                                            [&](std::uint32_t line) { return KeyAt(index_.Line(line), depth) <= next; });
      Consider(cased, distance, order_->Least(node.from, static_cast<std::size_t>(end - begin)), true, depth);
    }
    if (bracketed) node.closed = true;
    const bool inside = node.opened && (node.inCase || Near(node.inside));
    const bool wordsOn = node.spaces <= spaces_ && (node.cased || Near(node.plain) || inside);
    const bool prefixOn = !node.closed && inside;
    if (wordsOn || prefixOn) Children(node);
  }

  LabelSuggester::Index& index_;
  const LineOrder* order_ = nullptr;  // the lines walked now
  std::u16string_view core_;
  std::size_t spaces_;
  bool spelled_;      // spellings count, not only the core in another case
  std::uint8_t far_;  // one more edit than allowed
  std::uint32_t work_ = 0;
  std::size_t bestScore_ = std::numeric_limits<std::size_t>::max();
  std::uint64_t bestPlace_ = kNowhere;
  std::size_t bestLength_ = 0;
};

}  // namespace

LabelSuggester::LabelSuggester(const StoryLines& lines) : lines_(lines) {}

LabelSuggester::LabelSuggester(const StoryLines& lines, Carried earlier) : lines_(lines), earlier_(std::move(earlier)) {}

LabelSuggester::~LabelSuggester() = default;

LabelSuggester::Suggestion LabelSuggester::Suggest(std::u16string_view missing) {
  // A label missing on many lines is looked for once.
  if (const auto known = found_.find(std::u16string(missing)); known != found_.end()) return known->second;
  Suggestion& answer = found_[std::u16string(missing)];
  const std::u16string_view trimmed = TrimBlanks(missing);
  const std::u16string_view core = Unbracketed(trimmed);
  if (core.empty()) return answer;
  if (!index_) {
    // A change that does not fit these lines is no change of them: the index is made anew.
    const bool fits = earlier_.newEnd <= lines_.Count() + 1 && earlier_.from <= earlier_.oldEnd && earlier_.from <= earlier_.newEnd;
    index_ = earlier_.index && fits ? std::make_unique<Index>(*earlier_.index, lines_, earlier_) : std::make_unique<Index>(lines_);
    earlier_ = {};
  }
  Index& index = *index_;

  // The same word in or out of brackets: the first bracketed prefix "[core]", or first
  // words "[core]" or "core", in the lines' order.
  // A label of one word looks among the lines whose first word or prefix is as long.
  const std::size_t spaces = static_cast<std::size_t>(std::count(trimmed.begin(), trimmed.end(), u' '));
  const bool oneWord = spaces == 0;
  std::uint64_t best = kNowhere;
  std::size_t length = 0;
  const auto take = [&](const LineOrder& order, std::u16string_view part, std::uint32_t next, bool words) {
    const auto [from, to] = index.Beginning(order, part, next);
    if (const std::uint32_t line = order.Least(from, to); line != kNoLine && PlaceOf(line, words) < best) {
      best = PlaceOf(line, words);
      length = part.size();
    }
  };
  const auto lookFor = [&](std::u16string_view word) {
    const std::u16string inBrackets = u"[" + std::u16string(word) + u"]";
    const LineOrder& bracketed = oneWord ? index.FirstWordsOfLength(inBrackets.size()) : index.ByText();
    if (word.find(u']') == std::u16string_view::npos) take(bracketed, inBrackets, std::numeric_limits<std::uint32_t>::max(), false);
    take(bracketed, inBrackets, kSpace, true);
    if (!Bracketed(word)) take(oneWord ? index.FirstWordsOfLength(word.size()) : index.ByText(), word, kSpace, true);
    if (best == kNowhere) return false;
    answer.meant = std::u16string(index.Line(static_cast<std::uint32_t>(best / 2)).substr(0, length));
    return true;
  };
  if (lookFor(core)) return answer;

  // Then the same written in another width, as an input method leaves it: full-width
  // letters for ASCII, half-width katakana for full-width, or the other way round.
  const std::u16string folded = FoldWidth(core);
  for (const std::u16string& other : {folded, AsFullWidthAscii(folded), AsHalfWidthKana(folded)}) {
    if (other.empty() || other == core || !lookFor(other)) continue;
    const bool kana = std::any_of(core.begin(), core.end(), IsHalfWidthKana) ||
                      std::any_of(answer.meant->begin(), answer.meant->end(), IsHalfWidthKana);
    answer.difference = kana ? Difference::HalfWidthKatakana : Difference::FullWidthLatin;
    return answer;
  }

  // Then the same in another case, or a spelling of it.
  SpellingWalk walk(index, core, spaces, AllowedFor(core));
  walk.Run();
  answer.work = walk.Work();
  if (!walk.GaveUp()) answer.meant = walk.Best();
  // Last, the label itself written in the middle of a line.
  if (!answer.meant && !Bracketed(core)) answer.midLine = MidLine(u"[" + std::u16string(core) + u"]");
  return answer;
}

std::shared_ptr<const LabelSuggester::Index> LabelSuggester::TakeIndex() { return std::move(index_); }

std::size_t LabelSuggester::Bytes(const Index& index) { return index.Bytes(); }

std::uint32_t LabelSuggester::MidLine(std::u16string_view bracketed) {
  if (!midLine_) {
    midLine_.emplace();
    for (std::size_t line = 1; line <= lines_.Count(); ++line) {
      const std::u16string_view text = BeforeScript(lines_.Text(line));
      for (std::size_t open = text.find(u'[', 1); open != std::u16string_view::npos; open = text.find(u'[', open + 1)) {
        const std::size_t close = text.find(u']', open);
        if (close == std::u16string_view::npos) break;
        midLine_->emplace(std::u16string(text.substr(open, close + 1 - open)), static_cast<std::uint32_t>(line));
      }
    }
  }
  const auto found = midLine_->find(std::u16string(bracketed));
  return found == midLine_->end() ? 0 : found->second;
}

bool LabelSuggester::MightSuggest(std::u16string_view line, std::u16string_view missing) {
  const std::u16string_view trimmed = TrimBlanks(missing);
  const std::u16string_view core = Unbracketed(trimmed);
  if (core.empty()) return false;
  const std::size_t spaces = static_cast<std::size_t>(std::count(trimmed.begin(), trimmed.end(), u' '));
  const std::size_t allowed = AllowedFor(core);
  for (const std::u16string_view candidate : {LeadingPrefix(line), WordsOf(line, spaces)}) {
    if (candidate.empty() || candidate == missing) continue;
    const std::u16string_view candidateCore = Unbracketed(candidate);
    if (SameIgnoringCase(candidateCore, core) ||
        (WithinSpelling(candidateCore, core, allowed) && Edits(core, candidateCore, allowed) <= allowed))
      return true;
    if ((HoldsWidthForms(candidateCore) || HoldsWidthForms(core)) && FoldWidth(candidateCore) == FoldWidth(core))
      return true;
  }
  // "[label]" anywhere past the start of the line.
  if (Bracketed(core)) return false;
  const std::u16string bracketed = u"[" + std::u16string(core) + u"]";
  return BeforeScript(line).find(bracketed, 1) != std::u16string_view::npos;
}

std::uint32_t LabelSuggester::MostWorkAdded(std::u16string_view line, std::u16string_view missing) {
  // A line adds at most one beginning to the tree per unit, and the walk goes no deeper
  // than a bracketed spelling of the core, or the core in brackets in another case.
  // A line stands in two of the walks of a one-word label, under its first word and its
  // bracketed prefix.
  const std::u16string_view core = Unbracketed(TrimBlanks(missing));
  return static_cast<std::uint32_t>(2 * std::min(line.size(), core.size() + AllowedFor(core) + 2));
}

}  // namespace quillshade::qsd
