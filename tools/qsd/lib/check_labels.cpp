// The labels that lines look for, judged against the story's lines: missing, shadowed,
// found only on line 1 or on the unbroken last line, or begun by a second line too.
#include <algorithm>

#include "story/label_index.h"
#include "story/text.h"
#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {
namespace {

// The first line of each '[label]' that a tab or a space stands before, for the missing
// labels' notes, is kept to a bound whatever the story.
constexpr std::size_t kMaxTabbedLabels = 100'000;

}  // namespace

LabelJudge::LabelJudge(std::u16string_view text, const StoryLines& lines, const LabelIndex& index,
                       LineCheckMemo& memo, DiagnosticSink& sink)
    : text_(text), lines_(lines), index_(index), memo_(memo), sink_(sink) {}

LabelJudge::~LabelJudge() = default;

bool LabelJudge::RunsOn(std::int32_t crPosition, std::u16string_view label) const {
  // Where the label ends on its line, where a choice of it goes on; a bracketed one ends
  // with its prefix.
  const auto after = static_cast<std::size_t>(ChoiceResumePos(crPosition, label.size())) - 1;
  return !label.empty() && label.back() != kPrefixClose && after < text_.size() && text_[after] != u' ' &&
         text_[after] != u'\r';
}

std::uint32_t LabelJudge::IdOf(std::u16string_view label) {
  if (const auto known = memo_.labelIds.find(label); known != memo_.labelIds.end()) return known->second;
  const auto id = static_cast<std::uint32_t>(memo_.labels.size());
  memo_.labels.push_back(memo_.labelIds.emplace(label, id).first->first);
  memo_.facts.emplace_back();
  memo_.longestLabel = std::max(memo_.longestLabel, label.size());
  return id;
}

LabelFacts LabelJudge::FactsOf(std::uint32_t id) {
  std::optional<LabelFacts>& known = memo_.facts[id];
  if (known) return *known;
  const std::u16string_view label = memo_.labels[id];
  LabelFacts facts;
  const LabelIndex::Found found = index_.Find(label);
  if (found.first == 0) {
    facts.onlyFirstLine = BeginsWithLabel(text_, label);
  } else {
    facts.first = lines_.LineAfterBreak(found.first);
    facts.unbroken = ReachOf(text_, found.first) == LabelReach::Unbroken;
    facts.firstRunsOn = RunsOn(found.first, label);
    if (found.second != 0) {
      facts.second = lines_.LineAfterBreak(found.second);
      facts.secondRunsOn = RunsOn(found.second, label);
    }
  }
  known = facts;
  return facts;
}

void LabelJudge::JudgeLine(std::size_t line, const LineItems& items) {
  for (const LineItem& item : items) {
    switch (item.kind) {
      case LineItem::Kind::Finding: {
        Diagnostic* found = sink_.Add(item.check, line, item.column, item.length, item.message);
        if (found) found->note = item.note;
        break;
      }
      case LineItem::Kind::JumpLabel:
      case LineItem::Kind::ChoiceLabel:
        CheckLabel(line, item);
        break;
      case LineItem::Kind::LowercaseJump: {
        // `>>done` with a line `[done]` is a jump that lost its brackets, not a jump on D.
        const std::u16string_view target = memo_.labels[item.label];
        const char16_t flag = kFlagLetters[FlagOfLowerCase(target.front())];
        if ((target.find(kFieldSeparator) != std::u16string_view::npos || FactsOf(item.label).first == 0) &&
            FactsOf(item.bracketed).first == 0)
          sink_.Add("lowercase-conditional", line, item.column, item.length,
                    sink_.Names("lowercase-conditional")
                        ? "'>>" + std::string(1, static_cast<char>(target.front())) + "' is a plain jump to " +
                              Quote(target) + "; a jump on a flag is written with a capital letter, '>>" +
                              std::string(1, static_cast<char>(flag)) + "'"
                        : std::string());
        break;
      }
      case LineItem::Kind::SameChoiceTarget: {
        const std::size_t target = FactsOf(item.answers.front()).first;
        const bool same = target != 0 && std::all_of(item.answers.begin(), item.answers.end(), [&](std::uint32_t id) {
                            return FactsOf(id).first == target;
                          });
        if (same)
          sink_.Add("same-choice-target", line, item.column, item.length,
                    sink_.Names("same-choice-target")
                        ? "every answer of this choice leads to line " + std::to_string(target)
                        : std::string());
        break;
      }
      case LineItem::Kind::Query:
      case LineItem::Kind::AnswerRunsOn:  // said once over all choices, by their pass
        break;
    }
  }
}

// Whether the duplicate of a label is still to be said: true once, then it counts as said.
bool LabelJudge::DuplicateToSay(std::uint32_t label) {
  if (duplicateSaid_.size() <= label) duplicateSaid_.resize(memo_.labels.size());
  if (duplicateSaid_[label]) return false;
  duplicateSaid_[label] = true;
  return true;
}

// A label that a jump or a choice looks for.
void LabelJudge::CheckLabel(std::size_t line, const LineItem& item) {
  const std::u16string_view label = memo_.labels[item.label];
  const bool choice = item.kind == LineItem::Kind::ChoiceLabel;
  const auto warn = [&](std::string_view check, const auto& message) {
    return sink_.Add(check, line, item.column, item.length, sink_.Names(check) ? message() : std::string());
  };
  const LabelFacts facts = FactsOf(item.label);
  if (facts.first == 0 && facts.onlyFirstLine) {
    warn("first-line-label", [&] {
      return "only line 1 begins with " + Quote(label) + ", and no " + (choice ? "choice" : "jump") +
             " can find line 1 (no line break comes before it)";
    });
  } else if (facts.first == 0) {
    Diagnostic* missing = warn(choice ? "missing-choice-label" : "missing-label", [&] {
      return "no line begins with " + Quote(label) + ": " + (choice ? "choosing it" : "this jump") + " stops the story";
    });
    if (!missing) return;  // only counted: no suggestion either
    const std::optional<LineCheckMemo::Note> note = NoteFor(label);
    if (!note) return;
    missing->note = note->text;
    std::size_t meant = note->hiddenLine;
    if (meant == 0 && !note->meant.empty())
      if (const std::int32_t found = index_.Find(note->meant).first; found != 0) meant = lines_.LineAfterBreak(found);
    if (meant != 0)
      missing_.push_back(
          {static_cast<std::size_t>(missing - sink_.Named().data()), line, item.column, std::u16string(label), meant});
  } else if (facts.unbroken) {
    warn("label-line-unbroken", [&] {
      return "the line that begins with " + Quote(label) + ", line " + std::to_string(facts.first) +
             ", has no line break after it, so the reader never shows it: " +
             (choice ? "choosing it stops the story" : "this jump stops the story on an empty title bar");
    });
  } else if (facts.second != 0 && facts.firstRunsOn) {
    warn("shadowed-label", [&] {
      return "lines " + std::to_string(facts.first) + " and " + std::to_string(facts.second) + " both begin with " +
             Quote(label) + ": the first, line " + std::to_string(facts.first) + ", always wins";
    });
  } else if (facts.second != 0 && !facts.secondRunsOn && DuplicateToSay(item.label)) {
    // Said once, at the line that never wins, whichever jump or choice looks for it.
    sink_.Add("duplicate-label", facts.second, 1, item.length,
              sink_.Names("duplicate-label")
                  ? "line " + std::to_string(facts.first) + " begins with " + Quote(label) +
                        " too, and every jump or choice to it lands there, never here"
                  : std::string());
  }
}

// The note of a missing label: the line that holds it after a tab, or the label probably meant.
std::optional<LineCheckMemo::Note> LabelJudge::NoteFor(std::u16string_view label) {
  if (const auto known = memo_.notes.find(label); known != memo_.notes.end()) return known->second;
  std::optional<LineCheckMemo::Note> note;
  if (const std::size_t hidden = TabbedLineWith(label)) {
    const std::u16string_view text = lines_.Text(hidden);
    const std::size_t indent = text.find(label);
    const bool tab = text.substr(0, indent).find(u'\t') != std::u16string_view::npos;
    note = LineCheckMemo::Note{"line " + std::to_string(hidden) + " has " +
                                   (tab ? "a tab" : indent == 1 ? "a space" : "spaces") + " before " + Quote(label) +
                                   (tab ? "" : indent == 1 ? ", which hides it from every jump and choice" : ", which hide it from every jump and choice"),
                               true, static_cast<std::uint32_t>(hidden), {}};
  } else {
    if (!suggester_) suggester_ = std::make_unique<LabelSuggester>(lines_, memo_.suggestions);
    const LabelSuggester::Suggestion suggestion = suggester_->Suggest(label);
    using enum LabelSuggester::Difference;
    if (suggestion.meant) {
      const LabelSuggester::Difference difference = suggestion.difference;
      note = LineCheckMemo::Note{"did you mean " + Quote(*suggestion.meant) + "?" +
                                     (difference == FullWidthLatin      ? " It differs in width: full-width and ASCII letters"
                                      : difference == HalfWidthKatakana ? " It differs in width: half-width and full-width katakana"
                                                                        : ""),
                                 false, 0, *suggestion.meant};
    } else if (suggestion.midLine != 0) {
      const std::u16string_view written = TrimSpaces(label);
      const bool bracketed = written.size() >= 2 && written.front() == u'[' && written.back() == u']';
      note = LineCheckMemo::Note{Quote(bracketed ? std::u16string(written) : u"[" + std::u16string(written) + u"]") +
                                     " is on line " +
                                     std::to_string(suggestion.midLine) + ", but not at its start",
                                 true, 0, {}};
    }
    memo_.suggestionWork.emplace(label, suggestion.work);
  }
  memo_.notes.emplace(label, note);
  return note;
}

// The first line that holds the '[label]' after a tab, 0 if none. Such lines are
// gathered on the first missing label: most stories have none.
std::size_t LabelJudge::TabbedLineWith(std::u16string_view label) {
  if (!memo_.tabbedGathered) {
    memo_.tabbedGathered = true;
    for (std::size_t line = 2; line <= lines_.Count() && memo_.tabbed.size() < kMaxTabbedLabels; ++line)
      if (lines_.Terminated(line))
        if (const std::u16string_view tabbed = IndentedLabel(lines_.Text(line)); !tabbed.empty())
          memo_.tabbed.emplace(tabbed, static_cast<std::uint32_t>(line));
  }
  const auto found = memo_.tabbed.find(label);
  return found == memo_.tabbed.end() ? 0 : found->second;
}

}  // namespace quillshade::qsd
