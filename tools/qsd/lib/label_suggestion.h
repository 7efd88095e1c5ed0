// "Did you mean": the label a writer most likely meant when no line begins with theirs.
#pragma once

#include <cstdint>
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
// two edits away. The lines must outlive the suggester.
class LabelSuggester {
 public:
  explicit LabelSuggester(const StoryLines& lines);

  // The nearest line beginning, or nothing when none is close. Each search costs a
  // pass over the lines, so suggestions stop once about one pass over the whole story
  // is spent: a story with thousands of missing labels still checks in bounded time.
  std::optional<std::u16string> Suggest(std::u16string_view missing);

  // Whether a line could be what Suggest answers for `missing`: a line that an edit adds
  // or removes then changes what it would answer.
  static bool MightSuggest(std::u16string_view line, std::u16string_view missing);

 private:
  // Every line that follows a CR LF, in turn: read from the text at each search rather
  // than kept, which would cost more than the text on a story of millions of short lines.
  template <typename Visit>
  void ForEachLine(const Visit& visit) const;

  // `trimmed` is `missing` without the blanks around it, `core` that without brackets.
  std::optional<std::u16string> Search(std::u16string_view missing, std::u16string_view trimmed,
                                       std::u16string_view core);

  const StoryLines& lines_;
  std::uint64_t lineCount_ = 0;
  std::uint64_t budget_;
  std::unordered_map<std::u16string, std::optional<std::u16string>> found_;  // by label searched for
};

}  // namespace quillshade::qsd
