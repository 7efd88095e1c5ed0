// What the parts of the checks share: the sink, sets of lines to revisit, and each part's entry.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "story/label_index.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/diagnostic_sink.h"
#include "tools/qsd/lib/label_suggestion.h"
#include "tools/qsd/lib/line_records.h"
#include "tools/qsd/lib/story_loader.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {

// A set of indexes below a bound (story lines, places in the text), a bit each, visited
// in order.
class IndexSet {
 public:
  explicit IndexSet(std::size_t bound) : bits_(bound / 64 + 1, 0) {}
  void Add(std::size_t index) { bits_[index / 64] |= std::uint64_t{1} << (index % 64); }
  template <typename Visit>
  void ForEach(const Visit& visit) const {
    for (std::size_t word = 0; word < bits_.size(); ++word)
      for (std::uint64_t bits = bits_[word]; bits != 0; bits &= bits - 1)
        visit(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
  }

 private:
  std::vector<std::uint64_t> bits_;
};

// The lines that the checks after the line checks look at again, found while they read them all.
struct LinesToRevisit {
  IndexSet choices;    // lines that leave a choice pending
  IndexSet fullWidth;  // lines that hold a full-width form of a script marker
  IndexSet tooWide;    // lines wider than the title bar as they stand
};

// A jump's or an answer's label that no line begins with, on a line, where its note names
// the line probably meant: the findings that only follow from it are folded under it.
struct MissingTarget {
  std::size_t diagnostic = 0;  // its finding, among the sink's named ones
  std::size_t line = 0;        // the line of the jump or the choice
  std::size_t column = 0;      // the label's, as its finding's
  std::u16string label;
  std::size_t meant = 0;       // the line the label was probably meant to find
};

// Checks that read the lines one by one, each line's findings recorded and then judged
// against the story's labels. Given what they found on an earlier version of the story,
// only the lines that differ from it, and those that depend on labels the difference
// touches, are read again. With `keepFor`, the owner of `text`, the answer holds what they
// found for the next version.
struct LinesChecked {
  LinesToRevisit revisit;
  std::shared_ptr<const LineCheckMemo> memo;
  std::vector<MissingTarget> missing;  // in the order of their findings
};
LinesChecked CheckStoryLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                             const CheckOptions& options, DiagnosticSink& sink,
                             std::shared_ptr<const void> keepFor = nullptr);

// The '[label]' of a line that begins with tabs (and maybe spaces) before it; empty if
// the line is no such line.
std::u16string_view TabbedLabel(std::u16string_view line);
// The '[label]' of a line that begins with tabs or spaces before it: the reader hides it
// as it hides any prefix, but no jump or choice finds it. Empty if the line is no such line.
std::u16string_view IndentedLabel(std::u16string_view line);


// What a recording of a line's items asks: whether a finding's message is needed, and
// a label's id in the labels' table.
struct LineRecording {
  std::function<bool(std::string_view)> named;
  std::function<std::uint32_t(std::u16string_view)> idOf;
};

// What a terminated line alone decides: its findings and the labels it looks for, in the
// order the checks make them, and its flags.
void RecordLine(std::u16string_view line, const CheckOptions& options, const LineRecording& recording,
                LineRecord& record, LineItems& items);

// Judges a line's recorded items against the story's labels, adding the findings to the
// sink; what it learns of labels (their facts, the notes of missing ones) is kept in
// `memo` for the lines after and the next version.
class LabelJudge {
 public:
  LabelJudge(std::u16string_view text, const StoryLines& lines, const LabelIndex& index, LineCheckMemo& memo,
             DiagnosticSink& sink);
  ~LabelJudge();
  void JudgeLine(std::size_t line, const LineItems& items);
  // A label's id in the memo's table, which it is added to when new.
  std::uint32_t IdOf(std::u16string_view label);
  // Where a label leads, found once per version.
  LabelFacts FactsOf(std::uint32_t id);
  // The missing labels judged so far whose note names the line probably meant.
  std::vector<MissingTarget> TakeMissing() { return std::move(missing_); }
  // The index of line beginnings that this version's "did you mean" made, if it needed one.
  std::shared_ptr<const LabelSuggester::Index> TakeSuggestionIndex() {
    return suggester_ ? suggester_->TakeIndex() : nullptr;
  }

 private:
  void CheckLabel(std::size_t line, const LineItem& item);
  bool DuplicateToSay(std::uint32_t label);
  std::optional<LineCheckMemo::Note> NoteFor(std::u16string_view label);
  std::size_t TabbedLineWith(std::u16string_view label);
  bool RunsOn(std::int32_t crPosition, std::u16string_view label) const;

  std::u16string_view text_;
  const StoryLines& lines_;
  const LabelIndex& index_;
  LineCheckMemo& memo_;
  DiagnosticSink& sink_;
  std::unique_ptr<LabelSuggester> suggester_;  // made on the first missing label, from the memo's carried index
  std::vector<bool> duplicateSaid_;  // by label id: its second line has been warned about
  std::vector<MissingTarget> missing_;
};

// Answers of a choice on `line` that Down reads on from into another answer's line, as
// findings placed on the line read on from (one per such line, to be said once over all
// choices), with queries of the answers' labels; the record's `answersBefore` and
// `answersAfter` are set to the lines read around the choice's.
class AnswerChecker {
 public:
  AnswerChecker(const StoryLines& lines, const LabelIndex& index, const LineRecording& recording)
      : lines_(lines), index_(index), recording_(recording) {}
  void Record(std::size_t line, LineRecord& record, LineItems& items);

 private:
  std::size_t RunEndOf(std::size_t from);
  const StoryLines& lines_;
  const LabelIndex& index_;
  const LineRecording& recording_;
  std::vector<std::uint32_t> runEnd_;  // the last line reading on from each reaches, once known
  std::vector<std::size_t> run_;
};

// Flags set but never tested and tested but never set, among the flags `judged`, given
// the flags set and tested anywhere in the stories checked together; `carried` words the
// messages for flags D and E, which carry over from one story to the next.
// By flag, the finding (an index among the sink's named ones) that the flag's findings
// follow from: the flag's setter or tester is reached only past that finding's slip.
struct FlagFolds {
  static constexpr std::size_t kNoRoot = static_cast<std::size_t>(-1);
  std::array<std::size_t, kFlagCount> setUnder = Unfolded();
  std::array<std::size_t, kFlagCount> testedUnder = Unfolded();
  static constexpr std::array<std::size_t, kFlagCount> Unfolded() {
    std::array<std::size_t, kFlagCount> none{};
    none.fill(kNoRoot);
    return none;
  }
};
void ReportFlagUse(const FlagUse& use, FlagBits judged, FlagBits setAnywhere, FlagBits testedAnywhere, bool carried,
                   DiagnosticSink& sink, const FlagFolds* folds = nullptr);

// Whether a line holds a full-width form of a script marker, for the check below.
bool HoldsFullWidthForm(std::u16string_view line);

// Script markers written in their full-width forms where the marker would act, on a line
// that holds one; what a finding rests on, whether some line begins with a label, is
// asked of `exists` and recorded as a query.
void RecordFullWidthMarkers(std::u16string_view line, const std::function<bool(std::u16string_view)>& exists,
                            LineItems& items);

// Checks that rest on the state walk, the width of the lines `tooWide` on each way in
// among them; also fills in where flags are set and tested.
void CheckFlow(std::u16string_view text, const StoryLines& lines, const LabelIndex& index, const WalkResult& walk,
               const LinesChecked& checked, const CheckOptions& options, DiagnosticSink& sink, FlagUse& flags);

// Gives each named diagnostic about a place the reader reaches the shortest way there.
void AddWaysIn(const StoryLines& lines, const WalkResult& walk, std::vector<Diagnostic>& diagnostics);

}  // namespace quillshade::qsd
