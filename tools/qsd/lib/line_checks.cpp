// The line checks over a whole story: each line's findings recorded, or carried over from
// an earlier version of the story when the line is unchanged, then judged in line order.
#include <algorithm>
#include <unordered_set>
#include <variant>

#include "story/label_index.h"
#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {
namespace {

// A story whose line checks record more than this many items is checked whole at each
// version: its findings would cost more to keep than to find again.
constexpr std::size_t kMaxKeptItems = 200'000;
// Nor is a story of more lines than this kept: a line's record takes 28 bytes.
constexpr std::size_t kMaxKeptLines = 1'000'000;
// Labels looked up once but by no line now, and item lists no record names, kept beside
// those still in use.
constexpr std::size_t kSpareLabels = 10'000;

// An edit changed more lines than this share of the story (or than the floor below):
// the story is checked whole.
constexpr std::size_t kMaxChangedShare = 4;
constexpr std::size_t kMinChangedLimit = 1'000;

// Whether this version's line checks start from nothing, and why; else the lines
// changed since the earlier version's, from which they start. Every reason to read a
// story whole is decided here.
std::variant<WholeCheck, ChangedLines> StartOfLineChecks(const LineCheckMemo* earlier, bool keeping,
                                                          const std::optional<ChangedLines>& change,
                                                          const StoryLines& lines, std::size_t width) {
  if (!keeping) return WholeCheck::NotKept;
  if (lines.Count() > kMaxKeptLines) return WholeCheck::LongStory;
  if (!earlier) return WholeCheck::NoEarlier;
  if (earlier->width != width) return WholeCheck::OtherWidth;
  if (earlier->overflowed) return WholeCheck::ManyFindings;
  // Labels and item lists that no line names any more go once they outnumber the others.
  if (earlier->labels.size() > 2 * earlier->items + kSpareLabels ||
      earlier->itemLists.size() > 2 * earlier->liveLists + kSpareLabels)
    return WholeCheck::ManySpare;
  if (!change || change->from == 0 || change->oldEnd < change->from || change->newEnd < change->from ||
      change->oldEnd > earlier->lines.size() + 1 || change->newEnd > lines.Count() + 1 ||
      change->Shift() != static_cast<std::ptrdiff_t>(lines.Count()) - static_cast<std::ptrdiff_t>(earlier->lines.size()))
    return WholeCheck::ChangeUnknown;
  // No line break stands before the first line, so no label is found there: a change at
  // the start changes that of the line after it, which becomes the first or stops being so.
  ChangedLines changed = *change;
  if (changed.from == 1 && !changed.None() && changed.newEnd <= lines.Count()) ++changed.oldEnd, ++changed.newEnd;
  const std::size_t limit = std::max(kMinChangedLimit, lines.Count() / kMaxChangedShare);
  if (changed.oldEnd - changed.from > limit || changed.newEnd - changed.from > limit) return WholeCheck::LargeChange;
  return changed;
}

// The suggester's index carried to this version: the one an earlier version made, with the
// lines changed since then grown by this change; none once those outgrow what the line
// checks carry, where patching would cost as much as listing the lines again.
LabelSuggester::Carried CarrySuggestions(const LabelSuggester::Carried& earlier, const ChangedLines& change,
                                         const StoryLines& lines) {
  if (!earlier.index) return {};
  const ChangedLines since = Then({earlier.from, earlier.oldEnd, earlier.newEnd}, change);
  const std::size_t limit = std::max(kMinChangedLimit, lines.Count() / kMaxChangedShare);
  if (since.oldEnd - since.from > limit || since.newEnd - since.from > limit) return {};
  return {earlier.index, since.from, since.oldEnd, since.newEnd};
}

// Calls `visit` with the id of each label of the table that the line begins with.
template <typename Visit>
void ForEachLabelBeginning(const LineCheckMemo& memo, std::u16string_view line, const Visit& visit) {
  const std::size_t longest = std::min(line.size(), memo.longestLabel);
  for (std::size_t length = 1; length <= longest; ++length)
    if (const auto found = memo.labelIds.find(line.substr(0, length)); found != memo.labelIds.end())
      visit(found->second);
}

// What of the earlier version's labels still holds after the change, in `memo`: their
// facts, their lines moved, and the notes of the missing ones. Answers, by label id,
// those whose facts the change may have changed.
std::vector<bool> CarryLabels(const LineCheckMemo& earlier, const ChangedLines& change, const StoryLines& lines,
                              LineCheckMemo& memo) {
  std::vector<bool> touched(earlier.labels.size(), false);
  bool tabbedChanged = false;
  std::vector<std::u16string_view> changed;
  for (std::size_t line = change.from; line < change.oldEnd; ++line) {
    const std::size_t start = earlier.lines[line - 1].start;
    std::size_t end = line < earlier.lines.size() ? earlier.lines[line].start - 2 : earlier.text.size();
    if (line == earlier.lines.size() && earlier.text.ends_with(u"\r\n")) end -= 2;  // a last line with its break
    changed.push_back(earlier.text.substr(start, end - start));
  }
  for (std::size_t line = change.from; line < change.newEnd; ++line) changed.push_back(lines.Text(line));
  for (const std::u16string_view line : changed) {
    ForEachLabelBeginning(earlier, line, [&](std::uint32_t id) { touched[id] = true; });
    tabbedChanged = tabbedChanged || !IndentedLabel(line).empty();
  }

  const std::ptrdiff_t shift = change.Shift();
  const auto shifted = [&](std::size_t line) {
    return line >= change.oldEnd ? static_cast<std::size_t>(static_cast<std::ptrdiff_t>(line) + shift) : line;
  };
  memo.longestLabel = earlier.longestLabel;
  memo.labelIds = earlier.labelIds;
  memo.labels.resize(earlier.labels.size());
  for (const auto& [label, id] : memo.labelIds) memo.labels[id] = label;
  memo.facts = earlier.facts;
  for (std::size_t id = 0; id < memo.facts.size(); ++id) {
    std::optional<LabelFacts>& facts = memo.facts[id];
    if (touched[id]) {
      facts.reset();
    } else if (facts && shift != 0) {
      facts->first = facts->first == 0 ? 0 : shifted(facts->first);
      facts->second = facts->second == 0 ? 0 : shifted(facts->second);
    }
  }
  if (!tabbedChanged) {
    memo.tabbedGathered = earlier.tabbedGathered;
    for (const auto& [label, line] : earlier.tabbed) memo.tabbed.emplace(label, static_cast<std::uint32_t>(shifted(line)));
  }
  for (const auto& entry : earlier.notes) {
    const std::u16string& label = entry.first;
    const std::optional<LineCheckMemo::Note>& note = entry.second;
    const auto id = memo.labelIds.find(label);
    if (tabbedChanged || (id != memo.labelIds.end() && touched[id->second]) || (note && note->namesLine && shift != 0))
      continue;
    if (std::any_of(changed.begin(), changed.end(),
                    [&](std::u16string_view line) { return LabelSuggester::MightSuggest(line, label); }))
      continue;
    // A search walks at most the line beginnings the edit adds more than it did.
    if (const auto walked = earlier.suggestionWork.find(label); walked != earlier.suggestionWork.end()) {
      std::uint64_t work = walked->second;
      for (const std::u16string_view line : changed) work += LabelSuggester::MostWorkAdded(line, label);
      if (work > LabelSuggester::kMaxSpellingWork) continue;
      memo.suggestionWork.emplace(label, static_cast<std::uint32_t>(work));
    }
    memo.notes.emplace(label, note);
  }
  return touched;
}

class StoryLineChecks {
 public:
  StoryLineChecks(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                  const CheckOptions& options, DiagnosticSink& sink, std::shared_ptr<const void> keepFor)
      : lines_(lines), index_(index), options_(options), sink_(sink),
        memo_(std::make_shared<LineCheckMemo>()), judge_(text, lines, index, *memo_, sink),
        revisit_{IndexSet(lines.Count()), IndexSet(lines.Count()), IndexSet(lines.Count() + 1)} {
    const LineCheckMemo* earlier = options.earlierLines.get();
    const auto start = StartOfLineChecks(earlier, keepFor != nullptr, options.earlierChange, lines, options.width);
    const WholeCheck* whole = std::get_if<WholeCheck>(&start);
    keep_ = !whole || (*whole != WholeCheck::NotKept && *whole != WholeCheck::LongStory);
    if (whole) memo_->whole = *whole;
    else change_ = std::get<ChangedLines>(start);
    memo_->textOwner = std::move(keepFor);
    memo_->text = text;
    memo_->width = options.width;
    if (change_) {
      earlier_ = earlier;
      textShift_ = static_cast<std::ptrdiff_t>(text.size()) - static_cast<std::ptrdiff_t>(earlier->text.size());
      touched_ = CarryLabels(*earlier, *change_, lines, *memo_);
      memo_->suggestions = CarrySuggestions(earlier->suggestions, *change_, lines);
      memo_->items = earlier->items;  // those the change drops still count, until the story is checked whole
      memo_->itemLists = earlier->itemLists;
    }
  }

  LinesChecked Run() {
    if (keep_) memo_->lines.reserve(lines_.Count());
    if (change_) {
      Carry(1, change_->from);
      for (std::size_t line = change_->from; line < change_->newEnd; ++line) RecordLineOf(line);
      Carry(change_->newEnd, lines_.Count() + 1);
      for (std::size_t line = 1; line <= lines_.Count(); ++line) JudgeLine(line, memo_->lines[line - 1]);
    } else {
      for (std::size_t line = 1; line <= lines_.Count(); ++line) JudgeLine(line, RecordLineOf(line));
    }
    revisit_.choices.ForEach([&](std::size_t line) { CheckAnswers(line); });
    for (const std::size_t line : fullWidthToCheck_) CheckFullWidth(line);
    LinesChecked checked{std::move(revisit_), nullptr, judge_.TakeMissing()};
    if (auto index = judge_.TakeSuggestionIndex()) memo_->suggestions = {std::move(index), 0, 0, 0};
    if (memo_->overflowed) {
      // Only why the next version starts from nothing is kept.
      memo_->lines = {};
      memo_->itemLists = {};
      memo_->labelIds = {};
      memo_->labels = {};
      memo_->facts = {};
      memo_->notes = {};
      memo_->tabbed = {};
      memo_->suggestions = {};
    }
    memo_->liveLists = liveLists_;
    if (memo_->textOwner && (keep_ || memo_->overflowed)) checked.memo = std::move(memo_);
    return checked;
  }

 private:
  // Whether a line is the same text as a line of the earlier version.
  bool Carried(std::size_t line) const {
    return change_ && (line < change_->from || line >= change_->newEnd);
  }

  // The records of lines [first, end), carried over whole from the earlier version: a
  // line's items are shared, not copied, and only a line's place in the text moves.
  void Carry(std::size_t first, std::size_t end) {
    if (first >= end) return;
    const std::size_t before =
        first < change_->from ? first : static_cast<std::size_t>(static_cast<std::ptrdiff_t>(first) - change_->Shift());
    const auto from = earlier_->lines.begin() + static_cast<std::ptrdiff_t>(before - 1);
    const std::size_t at = memo_->lines.size();
    memo_->lines.insert(memo_->lines.end(), from, from + static_cast<std::ptrdiff_t>(end - first));
    if (first < change_->from) return;
    for (std::size_t i = at; i < memo_->lines.size(); ++i)
      memo_->lines[i].start = static_cast<std::uint32_t>(memo_->lines[i].start + textShift_);
  }

  // A line read anew: its record kept, or only for as long as the line is checked.
  LineRecord& RecordLineOf(std::size_t line) {
    LineRecord& record = keep_ ? memo_->lines.emplace_back() : (scratch_ = LineRecord{});
    record.start = static_cast<std::uint32_t>(lines_.Start(line));
    if (!lines_.Terminated(line)) return record;
    items_.clear();
    RecordLine(lines_.Text(line), options_, recording_, record, items_);
    ++memo_->linesRead;
    record.lineItems = Kept(items_);
    return record;
  }

  // A line's items, kept as a list the memo names by index; or, when nothing is kept,
  // only until the next line's.
  std::uint32_t Kept(LineItems& items) {
    if (items.empty()) return kNoItems;
    if (!keep_) {
      scratchItems_ = std::move(items);
      memo_->itemLists.assign(1, SharedItems(SharedItems(), &scratchItems_));  // owns nothing
      return 0;
    }
    memo_->items += items.size();
    if (memo_->items > kMaxKeptItems) Overflow();
    memo_->itemLists.push_back(std::make_shared<const LineItems>(std::move(items)));
    return static_cast<std::uint32_t>(memo_->itemLists.size() - 1);
  }
  const LineItems* ItemsOf(std::uint32_t list) {
    if (list == kNoItems) return nullptr;
    ++liveLists_;
    return memo_->itemLists[list].get();
  }

  // Too many findings to keep: none are kept for the next version. A story checked whole
  // goes on as if nothing were kept; the few lines a change reads are kept to the end.
  void Overflow() {
    memo_->overflowed = true;
    if (!change_) keep_ = false;
  }

  void JudgeLine(std::size_t line, const LineRecord& record) {
    if (!lines_.Terminated(line)) return;
    if (record.choices) revisit_.choices.Add(line);
    if (record.fullWidth) {
      revisit_.fullWidth.Add(line);
      // A line carried over without a full-width marker where it acts has none still.
      if (!Carried(line) || record.fullWidthItems != kNoItems) fullWidthToCheck_.push_back(line);
    }
    if (record.tooWide) revisit_.tooWide.Add(line);
    if (const LineItems* items = ItemsOf(record.lineItems)) judge_.JudgeLine(line, *items);
  }

  // A record to change in a later pass: the kept one, or a scratch one.
  LineRecord& RecordOf(std::size_t line) {
    if (keep_) return memo_->lines[line - 1];
    scratch_ = LineRecord{};
    scratch_.start = static_cast<std::uint32_t>(lines_.Start(line));
    return scratch_;
  }

  bool AsksTouched(std::uint32_t list) const {
    if (list == kNoItems) return false;
    const LineItems& items = *memo_->itemLists[list];
    return std::any_of(items.begin(), items.end(), [&](const LineItem& item) {
      return item.kind == LineItem::Kind::Query && item.label < touched_.size() && touched_[item.label];
    });
  }

  // Answers that run on into another answer's line: kept when neither the choice, nor its
  // labels, nor any line its answers read changed (the lines it names then moved together).
  void CheckAnswers(std::size_t line) {
    LineRecord& record = RecordOf(line);
    const bool kept = Carried(line) && keep_ && !AsksTouched(record.answerItems) &&
                      (line + record.answersAfter + 1 < change_->from || line > change_->newEnd + record.answersBefore);
    if (!kept) {
      items_.clear();
      answers_.Record(line, record, items_);
      record.answerItems = Kept(items_);
    }
    const LineItems* items = ItemsOf(record.answerItems);
    if (!items) return;
    for (const LineItem& item : *items) {
      if (item.kind != LineItem::Kind::AnswerRunsOn) continue;
      const std::size_t entered = line + item.line;
      if (!said_.insert(static_cast<std::uint32_t>(entered - 1)).second) continue;
      sink_.Add("answer-runs-on", entered - 1, item.column, item.length,
                "after the answer " + Quote(memo_->labels[item.label]) + " of line " + std::to_string(line) +
                    ", Down reads on into line " + std::to_string(entered) + ", the line of the answer " +
                    Quote(memo_->labels[item.bracketed]) + ", and shows it: end this answer with a jump or END");
    }
  }

  void CheckFullWidth(std::size_t line) {
    LineRecord& record = RecordOf(line);
    if (!(Carried(line) && keep_ && !AsksTouched(record.fullWidthItems))) {
      items_.clear();
      const auto exists = [&](std::u16string_view label) {
        const std::uint32_t id = judge_.IdOf(label);
        LineItem& query = items_.emplace_back();
        query.kind = LineItem::Kind::Query;
        query.label = id;
        return judge_.FactsOf(id).first != 0;
      };
      RecordFullWidthMarkers(lines_.Text(line), exists, items_);
      record.fullWidthItems = Kept(items_);
    }
    if (const LineItems* items = ItemsOf(record.fullWidthItems)) judge_.JudgeLine(line, *items);
  }

  const StoryLines& lines_;
  const LabelIndex& index_;
  const CheckOptions& options_;
  DiagnosticSink& sink_;
  std::shared_ptr<LineCheckMemo> memo_;
  LabelJudge judge_;
  LinesToRevisit revisit_;
  bool keep_ = false;  // what the checks find is kept for the next version
  // A finding's message is made only when it may be named, unless it is kept for the
  // next version, which may name it.
  const LineRecording recording_{[this](std::string_view check) { return keep_ || sink_.Names(check); },
                                 [this](std::u16string_view label) { return judge_.IdOf(label); }};
  const LineCheckMemo* earlier_ = nullptr;
  std::optional<ChangedLines> change_;
  std::ptrdiff_t textShift_ = 0;  // how far the lines after the change moved in the text
  std::vector<bool> touched_;     // by label id: the change may have changed where it leads
  LineItems items_;               // a line's items as they are recorded
  LineItems scratchItems_;        // the current line's, when nothing is kept
  LineRecord scratch_;
  std::vector<std::size_t> fullWidthToCheck_;
  std::size_t liveLists_ = 0;  // item lists that this version's records name
  AnswerChecker answers_{lines_, index_, recording_};
  std::unordered_set<std::uint32_t> said_;  // lines whose running on into an answer has been said
};

}  // namespace

ChangedLines Then(const ChangedLines& first, const ChangedLines& second) {
  if (first.None()) return second;
  if (second.None()) return first;
  // The first line after both, in the numbering between them.
  const std::size_t after = std::max(first.newEnd, second.oldEnd);
  return {std::min(first.from, second.from), static_cast<std::size_t>(static_cast<std::ptrdiff_t>(after) - first.Shift()),
          static_cast<std::size_t>(static_cast<std::ptrdiff_t>(after) + second.Shift())};
}

LinesChecked CheckStoryLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                             const CheckOptions& options, DiagnosticSink& sink, std::shared_ptr<const void> keepFor) {
  return StoryLineChecks(text, lines, index, options, sink, std::move(keepFor)).Run();
}

}  // namespace quillshade::qsd
