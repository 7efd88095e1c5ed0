// "Did you mean": the label a writer most likely meant when no line begins with theirs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {

// The name among `names` that `typed` most likely meant: the same in another case, or
// one or two edits away as for labels; nothing when none is close.
std::optional<std::string_view> NearestName(std::string_view typed, const std::vector<std::string_view>& names);

// Looks among the beginnings of the story's lines (every line after a line break, as a
// label search sees them) for the one nearest to a missing label: the same word in or
// out of brackets (`left` and `[left]`), the same in another case, or a spelling one or
// two edits away; the first such line wins among equally near ones. The lines must
// outlive the suggester.
class LabelSuggester {
 public:
  class Index;
  // The index of line beginnings that an earlier version's searches made, unchanged since
  // and shared by the versions after it, and how that version's lines became a later
  // one's: its lines [from, oldEnd) were replaced by the later one's [from, newEnd).
  struct Carried {
    std::shared_ptr<const Index> index;
    std::size_t from = 0;
    std::size_t oldEnd = 0;
    std::size_t newEnd = 0;
  };

  explicit LabelSuggester(const StoryLines& lines);
  // A suggester whose index, when a search needs one, is `earlier`'s patched with the
  // change rather than made from every line: it answers exactly as one made from nothing.
  LabelSuggester(const StoryLines& lines, Carried earlier);
  ~LabelSuggester();

  // The search for the label in another case or spelling walks the line beginnings that
  // agree with it but for case or an edit or two, and gives up past this many of them:
  // what it answers then depends on the label and the text alone, whatever else was
  // looked for.
  static constexpr std::uint32_t kMaxSpellingWork = 20'000;

  // How the label meant differs from the one written.
  enum class Difference : std::uint8_t { Spelling, FullWidthLatin, HalfWidthKatakana };
  struct Suggestion {
    std::optional<std::u16string> meant;
    Difference difference = Difference::Spelling;
    // Nothing meant, but "[label]" stands on this line past its start, where no jump
    // finds it; 0 when it does not.
    std::uint32_t midLine = 0;
    // Line beginnings the search for a spelling walked; above kMaxSpellingWork when it
    // gave up.
    std::uint32_t work = 0;
  };
  // The nearest line beginning to `missing`, a label that no line after a line break
  // begins with. The lines a search needs are sorted on the first search that needs them,
  // so that each costs a few binary searches and a walk bounded by kMaxSpellingWork.
  Suggestion Suggest(std::u16string_view missing);

  // Whether a line could be what Suggest answers for `missing`: a line that an edit adds
  // or removes then changes what it would answer.
  static bool MightSuggest(std::u16string_view line, std::u16string_view missing);
  // The most that a line an edit adds can add to the work of the search for `missing`.
  static std::uint32_t MostWorkAdded(std::u16string_view line, std::u16string_view missing);

  // The index the searches made or patched, handed over for later versions (which only
  // read it), or none if no search needed one; the suggester makes a new one after.
  std::shared_ptr<const Index> TakeIndex();
  // The memory an index holds, in bytes.
  static std::size_t Bytes(const Index& index);

 private:
  const StoryLines& lines_;
  // The first line that holds each "[label]" past its start, gathered on the first
  // search that needs them.
  std::uint32_t MidLine(std::u16string_view bracketed);

  Carried earlier_;
  std::unique_ptr<Index> index_;
  std::optional<std::unordered_map<std::u16string, std::uint32_t>> midLine_;  // made on the first search, its parts as searches need them
  std::unordered_map<std::u16string, Suggestion> found_;  // by label searched for
};

}  // namespace quillshade::qsd
