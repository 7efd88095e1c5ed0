// Label lookups for many labels over one story text, answering what FindLabelLine does.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "story/thread_annotations.h"

namespace quillshade {

// The reader searches the whole text for each jump; a tool that asks about every label of
// a story at once would then read the text once per label. This index sorts the line
// breaks by the line that follows each, so one lookup costs a binary search.
//
// Lookups may come from several threads at once, and never wait for each other but for
// the one thing a lookup may add: the lines are sorted by their first units when the
// index is built, and a group of lines that agree on those is sorted further only when a
// lookup first needs it (most groups of a story's lines begin no label). That order is
// made apart from everything lookups read, and published whole, once, only after the
// sort has succeeded. The text must outlive the index.
class LabelIndex {
 public:
  explicit LabelIndex(std::u16string_view text);
  // The index of `text`, made from `previous` when `text` is previous's text with the
  // units [from, previousTo) replaced by text[from, to): `from` is where a line begins
  // in both, and each end is where a line begins or the end of its text. Only the lines
  // around the replaced units are read, from both texts: previous's must still be alive.
  LabelIndex(std::u16string_view text, const LabelIndex& previous, std::size_t from, std::size_t previousTo,
             std::size_t to);
  ~LabelIndex();
  LabelIndex(const LabelIndex&) = delete;
  LabelIndex& operator=(const LabelIndex&) = delete;

  // The positions FindLabelLine(text, label) would find first and next: 1-based
  // positions of the CR of a CR LF directly followed by the label, 0 when there is none.
  struct Found {
    std::int32_t first = 0;
    std::int32_t second = 0;
  };
  // May throw std::bad_alloc while it sorts a group; the index stays as it was.
  Found Find(std::u16string_view label) const EXCLUDES(refining_);

  // Line breaks in the order of the lines after them, with a min tree over them.
  struct Sorted;

 private:
  // Makes the index whole from text_.
  void Build();
  // Makes the index from `previous` as the constructor describes; false, with nothing
  // set, when the edit does not fit the two texts or the result would break the order of
  // the lines or their groups.
  bool Patch(const LabelIndex& previous, std::size_t from, std::size_t previousTo, std::size_t to);
  // The group's lines, slots [from, to) of byFirstUnits_, in full order.
  const Sorted& GroupInFull(std::size_t group, std::size_t from, std::size_t to) const EXCLUDES(refining_);

  std::u16string_view text_;
  // Every break, sorted by the first units of its line; never changed after the constructor.
  std::unique_ptr<const Sorted> byFirstUnits_;
  // The first slot, in byFirstUnits_, of each group of two or more lines that hold all the
  // first units they are sorted by and agree on them (a line that is no longer is one);
  // ascending, never changed after the constructor. A lookup of a label longer than those
  // units that two lines begin with finds its group here.
  std::vector<std::uint32_t> groups_;
  // Each group's lines in full order once a lookup has needed it, null until then; set
  // once, with refining_ held, and read without it.
  mutable std::vector<std::atomic<const Sorted*>> inFull_;
  mutable Mutex refining_;  // one group is sorted at a time
  mutable std::vector<std::unique_ptr<const Sorted>> sortedGroups_ GUARDED_BY(refining_);  // owns what inFull_ shows
};

}  // namespace quillshade
