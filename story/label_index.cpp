// Sorted line breaks and a min tree over blocks of them: the first two label lines in O(log n).
#include "story/label_index.h"

#include <algorithm>

#include "story/text.h"

namespace quillshade {
namespace {

constexpr std::uint32_t kNoSlot = 0xFFFFFFFF;
constexpr std::size_t kBlockSize = 32;  // slots under one leaf of the min tree

// Whether the line after the break at `a` sorts before the line after the break at `b`,
// as their views would compare, read in place: a line ends at the next CR LF or the end.
bool LineAfterLess(std::u16string_view text, std::uint32_t a, std::uint32_t b) {
  const auto endsAt = [text](std::size_t at) {
    return at >= text.size() || (text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n');
  };
  for (std::size_t i = a + 2, j = b + 2;; ++i, ++j) {
    const bool aEnds = endsAt(i);
    const bool bEnds = endsAt(j);
    if (aEnds || bEnds) return aEnds && !bEnds;
    if (text[i] != text[j]) return text[i] < text[j];
  }
}

}  // namespace

LabelIndex::LabelIndex(std::u16string_view text) : text_(text) {
  for (std::size_t at = FindLineBreak(text, 0); at != std::u16string_view::npos; at = FindLineBreak(text, at + 1))
    breaks_.push_back(static_cast<std::uint32_t>(at));
  // A label without CR or LF can only match inside the line after a break, so sorting
  // those lines orders every prefix such a label can match; Find falls back to the plain
  // search for any other label. The breaks are sorted in place, equal lines keeping
  // their order in the text, so a story of millions of lines costs four bytes a line here.
  std::stable_sort(breaks_.begin(), breaks_.end(),
                   [this](std::uint32_t a, std::uint32_t b) { return LineAfterLess(text_, a, b); });

  // The tree holds the smallest break of each block of slots; a lookup reads the slots
  // of the blocks at the ends of its range one by one, so the tree costs a sixteenth of
  // the breaks themselves.
  const std::size_t blocks = (breaks_.size() + kBlockSize - 1) / kBlockSize;
  tree_.assign(2 * blocks, kNoSlot);
  for (std::size_t slot = 0; slot < breaks_.size(); ++slot) {
    std::uint32_t& least = tree_[blocks + slot / kBlockSize];
    if (least == kNoSlot || breaks_[slot] < breaks_[least]) least = static_cast<std::uint32_t>(slot);
  }
  for (std::size_t node = blocks; node-- > 1;) {
    const std::uint32_t left = tree_[2 * node];
    const std::uint32_t right = tree_[2 * node + 1];
    tree_[node] = right == kNoSlot || (left != kNoSlot && breaks_[left] < breaks_[right]) ? left : right;
  }
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
  // The first label.size() characters of the line after a break, as the sort saw them.
  const auto prefix = [&](std::uint32_t at) {
    std::u16string_view after = text_.substr(at + 2, label.size() + 1);
    if (const std::size_t lineBreak = after.find(u"\r\n"); lineBreak != std::u16string_view::npos)
      after = after.substr(0, lineBreak);
    return after.substr(0, label.size());
  };
  const auto low = std::partition_point(breaks_.begin(), breaks_.end(), [&](std::uint32_t at) { return prefix(at) < label; });
  const auto high = std::partition_point(low, breaks_.end(), [&](std::uint32_t at) { return prefix(at) == label; });
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
