// Finding the line beginning nearest to a missing label.
#include "tools/qsd/lib/label_suggestion.h"

#include <algorithm>
#include <limits>

#include "story/script_line.h"
#include "story/text.h"

namespace quillshade::qsd {
namespace {

// Longer labels are only matched in or out of brackets and in another case.
constexpr std::size_t kMaxSpelledLength = 64;

std::u16string_view Unbracketed(std::u16string_view label) {
  return IsBracketedLabel(label) ? label.substr(1, label.size() - 2) : label;
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

// Calls visit with each line after a line break until it answers false.
template <typename Visit>
void LabelSuggester::ForEachLine(const Visit& visit) const {
  for (std::size_t line = 2; line <= lines_.Count(); ++line)
    if (!visit(lines_.Text(line))) return;
}

LabelSuggester::LabelSuggester(const StoryLines& lines)
    : lines_(lines), lineCount_(lines.Count()), budget_(static_cast<std::uint64_t>(lines.TextLength()) + 2'000'000) {}

std::optional<std::u16string> LabelSuggester::Suggest(std::u16string_view missing) {
  // A label missing on many lines is looked for once.
  if (const auto known = found_.find(std::u16string(missing)); known != found_.end()) return known->second;
  const std::u16string_view trimmed = TrimBlanks(missing);
  const std::u16string_view core = Unbracketed(trimmed);
  if (core.empty() || budget_ < lineCount_) return std::nullopt;
  budget_ -= lineCount_;
  auto& answer = found_[std::u16string(missing)];
  answer = Search(missing, trimmed, core);
  return answer;
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
  }
  return false;
}

std::optional<std::u16string> LabelSuggester::Search(std::u16string_view missing, std::u16string_view trimmed,
                                                     std::u16string_view core) {
  const std::size_t spaces = static_cast<std::size_t>(std::count(trimmed.begin(), trimmed.end(), u' '));
  const std::size_t allowed = AllowedFor(core);

  // 0: the same word in or out of brackets; 1: the same but for case; 1 + n: n edits.
  std::size_t bestScore = std::numeric_limits<std::size_t>::max();
  std::u16string_view best;
  const auto consider = [&](std::u16string_view candidate) {
    if (candidate.empty() || candidate == missing) return;
    std::size_t score = bestScore;
    const std::u16string_view candidateCore = Unbracketed(candidate);
    if (candidateCore == core) {
      score = 0;
    } else if (SameIgnoringCase(candidateCore, core)) {
      score = 1;
    } else if (budget_ > 0 && bestScore > 2 && WithinSpelling(candidateCore, core, allowed)) {
      const std::size_t cost = (core.size() + 1) * (candidateCore.size() + 1);
      budget_ = cost < budget_ ? budget_ - cost : 0;
      const std::size_t edits = Edits(core, candidateCore, allowed);
      if (edits <= allowed) score = 1 + edits;
    }
    if (score < bestScore) {
      bestScore = score;
      best = candidate;
    }
  };
  ForEachLine([&](std::u16string_view line) {
    consider(LeadingPrefix(line));
    consider(WordsOf(line, spaces));
    return bestScore != 0;
  });
  if (best.empty()) return std::nullopt;
  return std::u16string(best);
}

}  // namespace quillshade::qsd
