// answer-runs-on: an answer's lines that Down reads on into another answer's line.
#include <array>
#include <cstdint>
#include <algorithm>
#include <utility>

#include "story/script_line.h"
#include "story/text.h"
#include "tools/qsd/lib/check_internal.h"

namespace quillshade::qsd {
namespace {

// Whether Down goes from a line to the one after it: no jump, no END and no choice.
bool ReadsOn(const ScriptLine& parts) {
  const LineExits exits = ExitsOf(parts, 0);  // the flags only pick a jump's label
  return !exits.choosing && exits.down == Flow::NextLine;
}

}  // namespace

// The last line that reading on from a line reaches (itself when it stops there), worked
// out only for the lines that answers lead into, each line split at most once; a story
// without choices never needs it.
std::size_t AnswerChecker::RunEndOf(std::size_t from) {
  if (runEnd_.empty()) runEnd_.assign(lines_.Count() + 2, 0);
  run_.clear();
  std::size_t line = from;
  while (runEnd_[line] == 0) {
    run_.push_back(line);
    const bool onward =
        line < lines_.Count() && lines_.Terminated(line + 1) && ReadsOn(SplitScriptLine(lines_.Text(line)));
    if (!onward) {
      runEnd_[line] = static_cast<std::uint32_t>(line);
      break;
    }
    ++line;
  }
  for (const std::size_t on : run_) runEnd_[on] = runEnd_[line];  // lines fit in 32 bits, as positions do
  return runEnd_[from];
}

void AnswerChecker::Record(std::size_t line, LineRecord& record, LineItems& items) {
  std::size_t from = line;
  std::size_t to = line;
  const auto read = [&](std::size_t first, std::size_t last) {
    from = std::min(from, first);
    to = std::max(to, last);
  };
  // The line that a choice goes to, given where its label was found; 0 when there is none to show.
  const auto labelLine = [&](std::int32_t at) -> std::size_t {
    if (at == 0) return 0;
    const std::size_t landing = lines_.LineAfterBreak(at);
    read(landing, landing);
    return lines_.Terminated(landing) ? landing : 0;
  };

  const ScriptLine parts = SplitScriptLine(lines_.Text(line));
  const auto& answers = parts.choices;
  std::array<std::int32_t, kChoiceKeyCount> found{};  // FindLabelLine's answer for each
  std::array<std::size_t, kChoiceKeyCount> landings{};
  for (std::size_t key = 0; key < kChoiceKeyCount; ++key) {
    if (answers[key].text.empty()) continue;
    found[key] = index_.Find(answers[key].text).first;
    landings[key] = labelLine(found[key]);
    LineItem& query = items.emplace_back();
    query.kind = LineItem::Kind::Query;
    query.label = recording_.idOf(answers[key].text);
  }
  for (std::size_t key = 0; key < kChoiceKeyCount; ++key) {
    const LinePart& answer = answers[key];
    const std::size_t landing = landings[key];
    if (landing == 0 || landing == lines_.Count()) continue;
    const std::size_t resume =
        static_cast<std::size_t>(ChoiceResumePos(found[key], answer.text.size())) - 1 - lines_.Start(landing);
    read(landing, landing + 1);
    if (!ReadsOn(SplitScriptLine(lines_.Text(landing).substr(resume)))) continue;
    if (!lines_.Terminated(landing + 1)) continue;
    const std::size_t last = RunEndOf(landing + 1);
    read(landing + 1, last + 1);
    // The first line of another answer that this answer's reading enters.
    std::size_t entered = 0;
    std::u16string_view other;
    for (std::size_t otherKey = 0; otherKey < kChoiceKeyCount; ++otherKey) {
      const std::size_t at = landings[otherKey];
      if (answers[otherKey].text == answer.text || at <= landing || at > last) continue;
      if (entered == 0 || at < entered) {
        entered = at;
        other = answers[otherKey].text;
      }
    }
    if (entered == 0) continue;
    const std::u16string_view readsOn = lines_.Text(entered - 1);
    const std::u16string_view shown = TrimSpaces(readsOn);
    // Placed from the choice's line, so that it moves with the lines it is about.
    LineItem& finding = items.emplace_back();
    finding.kind = LineItem::Kind::AnswerRunsOn;
    finding.line = static_cast<std::uint32_t>(entered - line);
    finding.column = static_cast<std::uint32_t>(shown.data() - readsOn.data()) + 1;
    finding.length = static_cast<std::uint32_t>(shown.size());
    finding.label = recording_.idOf(answer.text);
    finding.bracketed = recording_.idOf(other);
  }
  record.answersBefore = static_cast<std::uint32_t>(line - from);
  record.answersAfter = static_cast<std::uint32_t>(std::min(to, lines_.Count()) - line);
}

}  // namespace quillshade::qsd
