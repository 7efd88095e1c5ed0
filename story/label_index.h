// Label lookups for many labels over one story text, answering what FindLabelLine does.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quillshade {

// The reader searches the whole text for each jump; a tool that asks about every label of
// a story at once would then read the text once per label. This index sorts the line
// breaks by the line that follows each, so one lookup costs a binary search (the first
// lookup into a group of lines that agree on their first units also sorts that group
// further).
// Lookups may come from several threads. The text must outlive the index.
class LabelIndex {
 public:
  explicit LabelIndex(std::u16string_view text);

  // The positions FindLabelLine(text, label) would find first and next: 1-based
  // positions of the CR of a CR LF directly followed by the label, 0 when there is none.
  struct Found {
    std::int32_t first = 0;
    std::int32_t second = 0;
  };
  Found Find(std::u16string_view label) const;

 private:
  std::uint32_t MinIn(std::size_t from, std::size_t to) const;  // sorted slot of the smallest break
  void UpdateTree(std::size_t from, std::size_t to) const;     // after the slots in [from, to) changed
  void Refine(std::size_t from, std::size_t to) const;         // sorts a group past its first units

  std::u16string_view text_;
  // 0-based CR index of each CR LF, sorted by the line after it: by its first units,
  // and further within each group that a lookup has refined.
  mutable std::vector<std::uint32_t> breaks_;
  mutable std::vector<std::uint32_t> tree_;  // a min tree over blocks of breaks_, holding slots
  mutable std::unordered_set<std::uint32_t> refined_;  // first slot of each refined group
  mutable std::mutex refining_;                         // lookups may come from several threads
};

}  // namespace quillshade
