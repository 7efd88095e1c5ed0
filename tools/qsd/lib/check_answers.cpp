// answer-runs-on: an answer's lines that Down reads on into another answer's line.
#include <array>
#include <cstdint>
#include <set>
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

void CheckAnswersRunOn(const StoryLines& lines, const LabelIndex& index, const IndexSet& choices, DiagnosticSink& sink) {
  // The last line that reading on from each line reaches (itself when it stops there),
  // worked out only for the lines that answers lead into, each line split at most once;
  // a story without choices never needs it.
  std::vector<std::uint32_t> runEnd;
  std::vector<std::size_t> run;
  const auto runEndOf = [&](std::size_t from) -> std::size_t {
    if (runEnd.empty()) runEnd.assign(lines.Count() + 2, 0);
    run.clear();
    std::size_t line = from;
    while (runEnd[line] == 0) {
      run.push_back(line);
      const bool onward = line < lines.Count() && lines.Terminated(line + 1) &&
                          ReadsOn(SplitScriptLine(lines.Text(line)));
      if (!onward) {
        runEnd[line] = static_cast<std::uint32_t>(line);
        break;
      }
      ++line;
    }
    for (const std::size_t on : run) runEnd[on] = runEnd[line];  // lines fit in 32 bits, as positions do
    return runEnd[from];
  };
  // The line that a choice goes to, given where its label was found; 0 when there is none to show.
  const auto labelLine = [&](std::int32_t at) -> std::size_t {
    if (at == 0) return 0;
    const std::size_t line = lines.LineAfterBreak(at);
    return lines.Terminated(line) ? line : 0;
  };

  std::set<std::pair<std::size_t, std::size_t>> said;  // (line that reads on, answer line)
  choices.ForEach([&](std::size_t line) {
    const ScriptLine parts = SplitScriptLine(lines.Text(line));
    const auto& answers = parts.choices;
    std::array<std::int32_t, kChoiceKeyCount> found{};  // FindLabelLine's answer for each
    std::array<std::size_t, kChoiceKeyCount> landings{};
    for (std::size_t key = 0; key < kChoiceKeyCount; ++key) {
      if (answers[key].text.empty()) continue;
      found[key] = index.Find(answers[key].text).first;
      landings[key] = labelLine(found[key]);
    }
    for (std::size_t key = 0; key < kChoiceKeyCount; ++key) {
      const LinePart& answer = answers[key];
      const std::size_t landing = landings[key];
      if (landing == 0 || landing == lines.Count()) continue;
      const std::size_t resume =
          static_cast<std::size_t>(ChoiceResumePos(found[key], answer.text.size())) - 1 - lines.Start(landing);
      if (!ReadsOn(SplitScriptLine(lines.Text(landing).substr(resume)))) continue;
      if (!lines.Terminated(landing + 1)) continue;
      const std::size_t last = runEndOf(landing + 1);
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
      if (entered == 0 || !said.emplace(entered - 1, entered).second) continue;
      const std::u16string_view readsOn = lines.Text(entered - 1);
      const std::u16string_view shown = TrimSpaces(readsOn);
      sink.Add("answer-runs-on", entered - 1, static_cast<std::size_t>(shown.data() - readsOn.data()) + 1,
               shown.size(),
               "after the answer " + Quote(answer.text) + " of line " + std::to_string(line) +
                   ", Down reads on into line " + std::to_string(entered) + ", the line of the answer " +
                   Quote(other) + ", and shows it: end this answer with a jump or END");
    }
  });
}

}  // namespace quillshade::qsd
