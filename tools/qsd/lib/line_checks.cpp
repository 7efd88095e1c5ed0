// The line checks over a whole story: each line's findings recorded, or carried over from
// an earlier version of the story when the line is unchanged, then judged in line order.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "story/label_index.h"
#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {
namespace {

// A story whose line checks record more than this many items is checked whole at each
// version: its findings would cost more to keep than to find again.
constexpr std::size_t kMaxKeptItems = 200'000;
// Nor is a story of more lines than this kept: a line's record takes 40 bytes.
constexpr std::size_t kMaxKeptLines = 1'000'000;
// Labels looked up once but by no line now, kept beside those still looked up.
constexpr std::size_t kSpareLabels = 10'000;

// An edit changed more lines than this share of the story (or than the floor below):
// the story is checked whole.
constexpr std::size_t kMaxChangedShare = 4;
constexpr std::size_t kMinChangedLimit = 1'000;

// The lines an edit changed: lines [from, oldEnd) of the earlier version became
// [from, newEnd) of this one, and every other line is the same text, shifted by
// newEnd - oldEnd lines when it comes after them.
struct ChangedLines {
  std::size_t from = 0;
  std::size_t oldEnd = 0;
  std::size_t newEnd = 0;
  std::ptrdiff_t Shift() const { return static_cast<std::ptrdiff_t>(newEnd) - static_cast<std::ptrdiff_t>(oldEnd); }
};

// Units that two texts share from their start, compared a block at a time.
std::size_t CommonPrefix(std::u16string_view a, std::u16string_view b) {
  constexpr std::size_t kBlock = 2048;
  const std::size_t size = std::min(a.size(), b.size());
  std::size_t at = 0;
  while (at + kBlock <= size && std::memcmp(a.data() + at, b.data() + at, kBlock * sizeof(char16_t)) == 0) at += kBlock;
  while (at < size && a[at] == b[at]) ++at;
  return at;
}

// Units that two texts share at their end, no more than `limit`.
std::size_t CommonSuffix(std::u16string_view a, std::u16string_view b, std::size_t limit) {
  constexpr std::size_t kBlock = 2048;
  std::size_t length = 0;
  while (length + kBlock <= limit &&
         std::memcmp(a.data() + a.size() - length - kBlock, b.data() + b.size() - length - kBlock,
                     kBlock * sizeof(char16_t)) == 0)
    length += kBlock;
  while (length < limit && a[a.size() - length - 1] == b[b.size() - length - 1]) ++length;
  return length;
}

// Which lines differ between the earlier version and this text; nothing when the edit
// reaches line 1 or the last line (what lies before the first line break and after the
// last one is judged apart), or changes too much of the story.
std::optional<ChangedLines> ChangeSince(const LineCheckMemo& earlier, std::u16string_view text,
                                        const StoryLines& lines) {
  const std::u16string_view before = earlier.text;
  const std::size_t oldCount = earlier.lines.size();
  const std::size_t newCount = lines.Count();
  const std::size_t prefix = CommonPrefix(before, text);
  if (prefix == before.size() && prefix == text.size()) {
    if (oldCount != newCount) return std::nullopt;
    return ChangedLines{oldCount + 1, oldCount + 1, newCount + 1};
  }
  const std::size_t suffix = CommonSuffix(before, text, std::min(before.size(), text.size()) - prefix);
  const auto startAfter = [&](std::size_t at) {  // 1-based number of the first line starting at or after `at`
    return static_cast<std::size_t>(
               std::lower_bound(earlier.lines.begin(), earlier.lines.end(), at,
                                [](const LineRecord& record, std::size_t value) { return record.start < value; }) -
               earlier.lines.begin()) +
           1;
  };
  // The first line that holds a changed unit, and the first line after them whose line
  // break before it lies wholly in the shared end, so that it is a line of both texts.
  const std::size_t from = startAfter(prefix + 1) - 1;
  const std::size_t oldEnd = startAfter(before.size() - suffix + 2);
  if (from < 2 || oldEnd > oldCount) return std::nullopt;
  const std::size_t newEnd = oldEnd + newCount - oldCount;
  if (newEnd <= from || newEnd > newCount ||
      lines.Start(newEnd) != earlier.lines[oldEnd - 1].start + text.size() - before.size())
    return std::nullopt;
  const std::size_t limit = std::max(kMinChangedLimit, newCount / kMaxChangedShare);
  if (oldEnd - from > limit || newEnd - from > limit) return std::nullopt;
  return ChangedLines{from, oldEnd, newEnd};
}

// Calls `visit` with each label of `facts` that the line begins with.
template <typename Visit>
void ForEachLabelBeginning(const LineCheckMemo& memo, std::u16string_view line, const Visit& visit) {
  const std::size_t longest = std::min(line.size(), memo.longestLabel);
  for (std::size_t length = 1; length <= longest; ++length)
    if (const auto found = memo.labelIds.find(line.substr(0, length)); found != memo.labelIds.end()) visit(found->first);
}

// What of the earlier version's line checks still holds after the change, in `memo`;
// answers the labels whose facts the change may have changed.
LabelSet CarryLabels(const LineCheckMemo& earlier, const ChangedLines& change, const StoryLines& lines,
                     LineCheckMemo& memo) {
  LabelSet touched;
  bool tabbedChanged = false;
  std::vector<std::u16string_view> changed;
  for (std::size_t line = change.from; line < change.oldEnd; ++line) {
    const std::size_t start = earlier.lines[line - 1].start;
    const std::size_t end = line < earlier.lines.size() ? earlier.lines[line].start - 2 : earlier.text.size();
    changed.push_back(earlier.text.substr(start, end - start));
  }
  for (std::size_t line = change.from; line < change.newEnd; ++line) changed.push_back(lines.Text(line));
  for (const std::u16string_view line : changed) {
    ForEachLabelBeginning(earlier, line, [&](const std::u16string& label) { touched.insert(label); });
    tabbedChanged = tabbedChanged || !TabbedLabel(line).empty();
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
  for (const std::u16string& label : touched) memo.facts[memo.labelIds.find(label)->second].reset();
  if (shift != 0)
    for (std::optional<LabelFacts>& facts : memo.facts)
      if (facts) {
        facts->first = facts->first == 0 ? 0 : shifted(facts->first);
        facts->second = facts->second == 0 ? 0 : shifted(facts->second);
      }
  if (!tabbedChanged) {
    memo.tabbedGathered = earlier.tabbedGathered;
    for (const auto& [label, line] : earlier.tabbed) memo.tabbed.emplace(label, static_cast<std::uint32_t>(shifted(line)));
  }
  for (const auto& [label, note] : earlier.notes) {
    if (tabbedChanged || touched.contains(label) || (note && note->namesLine && shift != 0)) continue;
    if (std::any_of(changed.begin(), changed.end(),
                    [&](std::u16string_view line) { return LabelSuggester::MightSuggest(line, label); }))
      continue;
    memo.notes.emplace(label, note);
  }
  return touched;
}

// Items of an earlier record, appended to this version's list, their views moved from
// where the line stood in the earlier text to where it stands now.
ItemRange CarryItems(const std::vector<LineItem>& from, ItemRange range, const char16_t* before, const char16_t* now,
                     std::vector<LineItem>& to) {
  const ItemRange carried{static_cast<std::uint32_t>(to.size()), range.count};
  const auto moved = [&](std::u16string_view view) {
    return view.data() == nullptr ? view : std::u16string_view(now + (view.data() - before), view.size());
  };
  for (std::uint32_t i = range.first; i < range.first + range.count; ++i) {
    LineItem& item = to.emplace_back(from[i]);
    item.label = moved(item.label);
    for (std::u16string_view& answer : item.answers) answer = moved(answer);
  }
  return carried;
}

std::span<LineItem> ItemsOf(std::vector<LineItem>& items, ItemRange range) {
  return std::span<LineItem>(items).subspan(range.first, range.count);
}

bool AsksTouched(const std::vector<LineItem>& items, ItemRange range, const LabelSet& touched) {
  return !touched.empty() && std::any_of(items.begin() + range.first, items.begin() + range.first + range.count,
                     [&](const LineItem& item) { return item.kind == LineItem::Kind::Query && touched.contains(item.label); });
}

class StoryLineChecks {
 public:
  StoryLineChecks(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                  const CheckOptions& options, DiagnosticSink& sink, std::shared_ptr<const void> keepFor)
      : lines_(lines), index_(index), options_(options), sink_(sink),
        memo_(std::make_shared<LineCheckMemo>()), judge_(text, lines, index, *memo_, sink),
        revisit_{IndexSet(lines.Count()), IndexSet(lines.Count()), IndexSet(lines.Count() + 1)},
        keep_(keepFor != nullptr && lines.Count() <= kMaxKeptLines) {
    memo_->textOwner = std::move(keepFor);
    memo_->text = text;
    memo_->width = options.width;
    const LineCheckMemo* earlier = options.earlierLines.get();
    if (earlier && earlier->width == options.width) change_ = ChangeSince(*earlier, text, lines);
    if (change_) {
      earlier_ = earlier;
      textShift_ = static_cast<std::ptrdiff_t>(text.size()) - static_cast<std::ptrdiff_t>(earlier->text.size());
      touched_ = CarryLabels(*earlier, *change_, lines, *memo_);
    }
  }

  LinesChecked Run() {
    if (keep_) memo_->lines.reserve(lines_.Count());
    for (std::size_t line = 1; line <= lines_.Count(); ++line) CheckLine(line);
    revisit_.choices.ForEach([&](std::size_t line) { CheckAnswers(line); });
    revisit_.fullWidth.ForEach([&](std::size_t line) { CheckFullWidth(line); });
    LinesChecked checked{std::move(revisit_), nullptr};
    // Labels no line looks for any more are dropped by checking the story whole again.
    if (keep_ && memo_->labels.size() <= 2 * Kept() + kSpareLabels) checked.memo = std::move(memo_);
    return checked;
  }

 private:
  std::size_t Kept() const {
    return memo_->lineItems.size() + memo_->answerItems.size() + memo_->fullWidthItems.size();
  }

  // Where a line's record goes: kept (the lines come in order), or only for as long as
  // the line is checked.
  LineRecord& NewRecord() {
    if (!keep_) return scratch_ = LineRecord{};
    return memo_->lines.emplace_back();
  }
  LineRecord& RecordOf(std::size_t line) {
    if (!keep_) return scratch_ = LineRecord{};
    return memo_->lines[line - 1];
  }
  // Once a line's items are judged: a story whose findings are not kept holds none of
  // them longer, and one with too many stops keeping them.
  void Judged(std::vector<LineItem>& items) {
    if (keep_ && Kept() > kMaxKeptItems) {
      keep_ = false;
      memo_->lines.clear();
      memo_->lines.shrink_to_fit();
    }
    if (!keep_) items.clear();
  }

  // The earlier version's record of an unchanged line, or null.
  const LineRecord* Earlier(std::size_t line) const {
    if (!earlier_ || (line >= change_->from && line < change_->newEnd)) return nullptr;
    const std::size_t before = line < change_->from ? line : line - static_cast<std::size_t>(change_->Shift());
    return &earlier_->lines[before - 1];
  }
  // Where an unchanged line begins in the earlier text, and where it begins in this one.
  const char16_t* Before(const LineRecord& earlier) const { return earlier_->text.data() + earlier.start; }
  const char16_t* Now(const LineRecord& record) const { return memo_->text.data() + record.start; }

  void CheckLine(std::size_t line) {
    LineRecord& record = NewRecord();
    if (const LineRecord* earlier = Earlier(line)) {
      // Most lines are carried over: nothing of them is read but their record.
      record = *earlier;
      if (line >= change_->newEnd) record.start = static_cast<std::uint32_t>(record.start + textShift_);
      record.answerItems = record.fullWidthItems = ItemRange{};
      if (earlier->lineItems.count != 0)
        record.lineItems = CarryItems(earlier_->lineItems, earlier->lineItems, Before(*earlier), Now(record),
                                      memo_->lineItems);
    } else {
      record.start = static_cast<std::uint32_t>(lines_.Start(line));
      // A finding's message is made only when it may be named, unless it is kept for the
      // next version, which may name it.
      if (lines_.Terminated(line)) {
        RecordLine(lines_.Text(line), options_, named_, record, memo_->lineItems);
        ++memo_->linesRead;
      }
    }
    if (!lines_.Terminated(line)) return;
    if (record.choices) revisit_.choices.Add(line);
    if (record.fullWidth) revisit_.fullWidth.Add(line);
    if (record.tooWide) revisit_.tooWide.Add(line);
    if (record.lineItems.count == 0) return;
    judge_.JudgeLine(line, ItemsOf(memo_->lineItems, record.lineItems));
    Judged(memo_->lineItems);
  }

  // Answers that run on into another answer's line: kept when neither the choice, nor its
  // labels, nor any line its answers read changed, and no line it names moved.
  void CheckAnswers(std::size_t line) {
    LineRecord& record = RecordOf(line);
    const LineRecord* earlier = Earlier(line);
    const bool kept = earlier && !AsksTouched(earlier_->answerItems, earlier->answerItems, touched_) &&
                      (earlier->answersTo + 1 < change_->from || earlier->answersFrom > change_->oldEnd) &&
                      (change_->Shift() == 0 || std::max<std::size_t>(line, earlier->answersTo) < change_->from);
    if (kept) {
      record.answerItems = CarryItems(earlier_->answerItems, earlier->answerItems, Before(*earlier), Now(record),
                                      memo_->answerItems);
      record.answersFrom = earlier->answersFrom;
      record.answersTo = earlier->answersTo;
    } else {
      answers_.Record(line, record, memo_->answerItems);
    }
    for (const LineItem& item : ItemsOf(memo_->answerItems, record.answerItems))
      if (item.kind == LineItem::Kind::Finding && said_.insert(item.line).second)
        sink_.Add(item.check, item.line, item.column, item.length, item.message);
    Judged(memo_->answerItems);
  }

  void CheckFullWidth(std::size_t line) {
    LineRecord& record = RecordOf(line);
    const LineRecord* earlier = Earlier(line);
    if (earlier && earlier->fullWidthItems.count == 0) return;  // a line with no marker full-width where it acts
    if (earlier && !AsksTouched(earlier_->fullWidthItems, earlier->fullWidthItems, touched_)) {
      record.fullWidthItems = CarryItems(earlier_->fullWidthItems, earlier->fullWidthItems, Before(*earlier),
                                         Now(record), memo_->fullWidthItems);
    } else {
      std::vector<LineItem>& items = memo_->fullWidthItems;
      record.fullWidthItems.first = static_cast<std::uint32_t>(items.size());
      const auto exists = [&](std::u16string_view label) {
        LineItem& query = items.emplace_back();
        query.kind = LineItem::Kind::Query;
        query.label = label;
        return judge_.Facts(label).first != 0;
      };
      RecordFullWidthMarkers(lines_.Text(line), exists, items);
      record.fullWidthItems.count = static_cast<std::uint32_t>(items.size()) - record.fullWidthItems.first;
    }
    judge_.JudgeLine(line, ItemsOf(memo_->fullWidthItems, record.fullWidthItems));
    Judged(memo_->fullWidthItems);
  }

  const StoryLines& lines_;
  const LabelIndex& index_;
  const CheckOptions& options_;
  DiagnosticSink& sink_;
  std::shared_ptr<LineCheckMemo> memo_;
  LabelJudge judge_;
  LinesToRevisit revisit_;
  bool keep_;  // what the checks find is kept for the next version
  LineRecord scratch_;
  const std::function<bool(std::string_view)> named_ = [this](std::string_view check) {
    return keep_ || sink_.Names(check);
  };
  const LineCheckMemo* earlier_ = nullptr;
  std::optional<ChangedLines> change_;
  std::ptrdiff_t textShift_ = 0;  // how far the lines after the change moved in the text
  LabelSet touched_;
  AnswerChecker answers_{lines_, index_};
  std::unordered_set<std::uint32_t> said_;  // lines whose running on into an answer has been said
};

}  // namespace

LinesChecked CheckStoryLines(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                             const CheckOptions& options, DiagnosticSink& sink, std::shared_ptr<const void> keepFor) {
  return StoryLineChecks(text, lines, index, options, sink, std::move(keepFor)).Run();
}

}  // namespace quillshade::qsd
