// What the parts of the checks share: the sink, sets of lines to revisit, and each part's entry.
#pragma once

#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "story/label_index.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/diagnostic_sink.h"
#include "tools/qsd/lib/story_loader.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {

// A set of indexes below a bound (story lines, places in the text), a bit each, visited
// in order.
class IndexSet {
 public:
  explicit IndexSet(std::size_t bound) : bits_(bound / 64 + 1, 0) {}
  void Add(std::size_t index) { bits_[index / 64] |= std::uint64_t{1} << (index % 64); }
  bool Has(std::size_t index) const { return (bits_[index / 64] >> (index % 64)) & 1u; }
  template <typename Visit>
  void ForEach(const Visit& visit) const {
    for (std::size_t word = 0; word < bits_.size(); ++word)
      for (std::uint64_t bits = bits_[word]; bits != 0; bits &= bits - 1)
        visit(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
  }

 private:
  std::vector<std::uint64_t> bits_;
};

// The lines that the checks after CheckLines look at again, found while it reads them all.
struct LinesToRevisit {
  IndexSet choices;    // lines that leave a choice pending
  IndexSet fullWidth;  // lines that hold a full-width form of a script marker
  IndexSet tooWide;    // lines wider than the title bar as they stand
};

// Checks that read the lines one by one.
// Every label of a story is looked up, so one search each would be too slow: the checks
// share one LabelIndex of the text.
LinesToRevisit CheckLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                          const CheckOptions& options, DiagnosticSink& sink);

// Flags set but never tested and tested but never set, among the flags `judged`, given
// the flags set and tested anywhere in the stories checked together; `carried` words the
// messages for flags D and E, which carry over from one story to the next.
void ReportFlagUse(const FlagUse& use, FlagBits judged, FlagBits setAnywhere, FlagBits testedAnywhere, bool carried,
                   DiagnosticSink& sink);

// Answers of a choice (on the lines `choices`) that Down reads on from into another
// answer's line.
void CheckAnswersRunOn(const StoryLines& lines, const LabelIndex& index, const IndexSet& choices, DiagnosticSink& sink);

// Whether a line holds a full-width form of a script marker, for the check below.
bool HoldsFullWidthForm(std::u16string_view line);

// Script markers written in their full-width forms where the marker would act, on the
// lines `candidates`.
void CheckFullWidthMarkers(const StoryLines& lines, const LabelIndex& index, const IndexSet& candidates,
                           DiagnosticSink& sink);

// Checks that rest on the state walk, the width of the lines `tooWide` on each way in
// among them; also fills in where flags are set and tested.
void CheckFlow(std::u16string_view text, const StoryLines& lines, const WalkResult& walk, const IndexSet& tooWide,
               const CheckOptions& options, DiagnosticSink& sink, FlagUse& flags);

// Gives each named diagnostic about a place the reader reaches the shortest way there.
void AddWaysIn(const StoryLines& lines, const WalkResult& walk, std::vector<Diagnostic>& diagnostics);

}  // namespace quillshade::qsd
