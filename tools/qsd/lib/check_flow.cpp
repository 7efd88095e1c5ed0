// The checks that read the walk's result: unreached lines, endless loops, flag use, and ways in.
#include <algorithm>
#include <array>
#include <tuple>
#include <unordered_map>

#include "story/label_index.h"
#include "story/script_line.h"
#include "story/text.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/check_internal.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {
namespace {

std::string LineList(const std::vector<std::size_t>& lines) {
  std::string out;
  const std::size_t shown = std::min<std::size_t>(lines.size(), 6);
  for (std::size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + std::to_string(lines[i]);
  if (shown < lines.size()) out += " and " + std::to_string(lines.size() - shown) + " more";
  return out;
}

// The findings of the walk that only follow from a missing label. A missing label is a
// root when the walk stops at it and its note names the line probably meant: the
// unreached lines that line leads to, without passing a line the walk reached, would be
// reached once the label is mended, and so would the flags they set and test. A line
// leads on as the engine reads it, whatever the flags: to the next line, to either
// label of its jump, to each answer's label line; to a missing label's meant line too,
// so that one slip mended after another is followed. A flag that no reached line sets
// but those lines do leads on too, from every reached jump on it to its first label.
// Each such line belongs to the first root, in the order of their findings, that leads
// to it.
class Folds {
 public:
  static constexpr std::size_t kNoRoot = FlagFolds::kNoRoot;

  Folds(std::u16string_view text, const StoryLines& lines, const LabelIndex& index, const WalkResult& walk,
        const std::vector<MissingTarget>& missing, FlagBits setReached)
      : lines_(lines), index_(index), walk_(walk), setReached_(setReached) {
    if (missing.empty()) return;
    // Where the walk stops at a missing label, by line and column.
    std::vector<std::pair<std::size_t, std::size_t>> stopsAt;
    for (const StopFound& stop : walk.stops) {
      if (stop.kind != StopKind::MissingLabel && stop.kind != StopKind::MissingChoiceLabel) continue;
      const StopPlace place = ExplainStop(text, lines, stop);
      stopsAt.emplace_back(place.line, place.column);
    }
    std::sort(stopsAt.begin(), stopsAt.end());
    for (const MissingTarget& target : missing) meantBy_.emplace(target.label, target.meant);
    root_.assign(lines.Count() + 1, kUnclaimed);
    for (const MissingTarget& target : missing)
      if (std::binary_search(stopsAt.begin(), stopsAt.end(), std::pair(target.line, target.column)))
        Claim(target.diagnostic, target.meant);
  }

  // The root a run of unreached lines follows from: that of its first line, when roots
  // lead to every line of it that shows anything.
  std::size_t RunUnder(std::size_t first, std::size_t last) const {
    if (root_.empty() || root_[first] == kUnclaimed) return kNoRoot;
    for (std::size_t line = first; line <= last; ++line)
      if (root_[line] == kUnclaimed && !TrimSpaces(lines_.Text(line)).empty()) return kNoRoot;
    return root_[first];
  }

  FlagFolds flags;

 private:
  // The unreached lines from `from` on, claimed for `root` breadth first.
  void Claim(std::size_t root, std::size_t from) {
    std::vector<std::uint32_t> queue;
    const auto reach = [&](std::size_t line) {
      if (line == 0 || line > lines_.Count() || !lines_.Terminated(line) || walk_.lineReached[line] ||
          root_[line] != kUnclaimed)
        return;
      root_[line] = static_cast<std::uint32_t>(root);
      queue.push_back(static_cast<std::uint32_t>(line));
    };
    const auto reachLabel = [&](std::u16string_view label) {
      if (const std::int32_t found = index_.Find(label).first; found != 0) reach(lines_.LineAfterBreak(found));
      else if (const auto meant = meantBy_.find(std::u16string(label)); meant != meantBy_.end()) reach(meant->second);
    };
    // The first label of every reached jump on a flag that only these lines set. D and E
    // may arrive set, so the walk took those jumps' first labels already.
    const auto reachWhenSet = [&](std::size_t flag) {
      const auto bit = static_cast<FlagBits>(1u << flag);
      if ((setReached_ | kCarriedFlags) & bit) return;
      for (const FlagLine& tester : walk_.flagLines)
        if (tester.tested == flag)
          reachLabel(ExitsOf(SplitScriptLine(lines_.Text(tester.line)), bit).target);
    };
    reach(from);
    for (std::size_t next = 0; next < queue.size(); ++next) {
      const std::size_t line = queue[next];
      if (IsPlainLine(lines_.Text(line))) {
        reach(line + 1);
        continue;
      }
      const ScriptLine parts = SplitScriptLine(lines_.Text(line));
      const FlagBits sets = parts.effects.LeavesSet();
      for (std::size_t flag = 0; flag < kFlagCount; ++flag)
        if ((sets & (1u << flag)) && flags.setUnder[flag] == kNoRoot) {
          flags.setUnder[flag] = root;
          reachWhenSet(flag);
        }
      const LineExits exits = ExitsOf(parts, 0);
      if (exits.testedFlag != kFlagCount && flags.testedUnder[exits.testedFlag] == kNoRoot)
        flags.testedUnder[exits.testedFlag] = root;
      if (exits.choosing) {
        for (const std::u16string_view label : exits.choices)
          if (!label.empty()) reachLabel(label);
      } else if (exits.down == Flow::Jump) {
        reachLabel(exits.target);
        if (exits.testedFlag != kFlagCount)
          reachLabel(ExitsOf(parts, static_cast<FlagBits>(1u << exits.testedFlag)).target);
      } else if (exits.down == Flow::NextLine) {
        reach(line + 1);
      }
    }
  }

  const StoryLines& lines_;
  const LabelIndex& index_;
  const WalkResult& walk_;
  FlagBits setReached_;  // the flags that lines the walk reached set
  std::unordered_map<std::u16string, std::size_t> meantBy_;  // a missing label: the line meant
  // By line: the root that leads to it. Roots are named findings, so a few thousand at most.
  static constexpr std::uint32_t kUnclaimed = 0xFFFFFFFF;
  std::vector<std::uint32_t> root_;
};

void ReportUnreached(const StoryLines& lines, const WalkResult& walk, const Folds& folds, DiagnosticSink& sink) {
  // One message per run of unreached lines; blank lines show nothing, so they are not
  // named, but they do not end a run either.
  std::size_t first = 0;
  std::size_t last = 0;
  const auto flush = [&] {
    if (first == 0) return;
    const std::size_t length = lines.Text(first).size();
    std::string message = first == last ? std::string("no way through the story reaches this line")
                                        : "no way through the story reaches lines " + std::to_string(first) + " to " +
                                              std::to_string(last);
    const auto lastLine = static_cast<std::int64_t>(first == last ? 0 : last);
    if (const std::size_t root = folds.RunUnder(first, last); root != Folds::kNoRoot)
      sink.Fold(root, "unreachable", first, 1, length, std::move(message), lastLine);
    else if (Diagnostic* run = sink.Add("unreachable", first, 1, length, std::move(message)))
      run->lastLine = lastLine;
    first = last = 0;
  };
  for (std::size_t line = 1; line <= lines.Count(); ++line) {
    if (!lines.Terminated(line) || walk.lineReached[line]) {
      flush();
      continue;
    }
    if (TrimSpaces(lines.Text(line)).empty()) continue;
    if (first == 0) first = line;
    last = line;
  }
  flush();
}

// The first reached line that sets each flag (and does not clear it again), and the
// first reached jump that tests each flag.
void RecordFlagUse(const StoryLines& lines, const WalkResult& walk, FlagUse& flags) {
  const auto wayTo = [&walk](std::size_t line) -> std::optional<WayIn> {
    if (const std::optional<Step> step = FirstStepShowing(walk, line)) return WayInOf(walk, *step);
    return std::nullopt;
  };
  constexpr auto kAll = static_cast<FlagBits>((1u << kFlagCount) - 1);
  // The lines shown as they stand were read from their start by the walk, which kept
  // those that set or test a flag; both lists are in line order, as the lines here.
  auto shown = walk.shownFirst.begin();
  auto flagLine = walk.flagLines.begin();
  for (std::size_t line = 1; line <= lines.Count(); ++line) {
    if (flags.set == kAll && flags.tested == kAll) break;  // nothing left to find
    if (!walk.lineReached[line]) continue;
    while (shown != walk.shownFirst.end() && shown->line < line) ++shown;
    while (flagLine != walk.flagLines.end() && flagLine->line < line) ++flagLine;
    if (shown != walk.shownFirst.end() && shown->line == line) {
      if (flagLine == walk.flagLines.end() || flagLine->line != line) continue;  // sets and tests nothing
      if ((flagLine->leavesSet & ~flags.set) == 0 &&
          (flagLine->tested == kFlagCount || (flags.tested & (1u << flagLine->tested))))
        continue;  // nothing new
    } else if (IsPlainLine(lines.Text(line))) {
      continue;  // a line without script sets and tests nothing
    }
    const ScriptLine parts = SplitScriptLine(lines.Text(line));
    const FlagBits set = parts.effects.LeavesSet();
    for (std::size_t flag = 0; flag < kFlagCount; ++flag) {
      if (!(set & (1u << flag)) || (flags.set & (1u << flag))) continue;
      flags.set = static_cast<FlagBits>(flags.set | (1u << flag));
      // Pointed at the keyword that sets it, such as the BON of ":: BON".
      std::size_t keyword = 0;
      while (kKeywords[keyword].kind != CommandKind::Set || kKeywords[keyword].flag != flag) ++keyword;
      flags.firstSet[flag] = Diagnostic{static_cast<std::int64_t>(line),
                                        static_cast<std::int64_t>(parts.effects.keywordAt[keyword] + 1),
                                        static_cast<std::int64_t>(kKeywords[keyword].text.size()),
                                        Severity::Warning, {}, {}, {}, 0, wayTo(line)};
    }
    const std::size_t flag = ExitsOf(parts, 0).testedFlag;
    if (flag == kFlagCount || (flags.tested & (1u << flag))) continue;
    flags.tested = static_cast<FlagBits>(flags.tested | (1u << flag));
    flags.firstTest[flag] = Diagnostic{static_cast<std::int64_t>(line), static_cast<std::int64_t>(parts.flagMarkerAt + 1),
                                       static_cast<std::int64_t>(kJumpMarker.size() + 1), Severity::Warning, {}, {}, {}, 0,
                                       wayTo(line)};
  }
}

std::string TooWide(std::size_t width, const CheckOptions& options, std::string_view how) {
  return "the line is " + std::to_string(width) + " columns wide" + std::string(how) + "; the title bar shows about " +
         std::to_string(options.width) + " (--width)";
}

// Each line as wide as the reader shows it on each way in: a choice shows the rest of its
// label line, without the label. Without a complete walk, a line is judged as it stands.
void CheckWidths(const StoryLines& lines, const WalkResult& walk, const IndexSet& tooWide, const CheckOptions& options,
                 DiagnosticSink& sink) {
  // Once the sink only counts the check, where a line's text stands no longer matters.
  bool onlyCounted = false;
  const auto asItStands = [&](std::size_t line, std::string_view how, const std::optional<Step>& step) {
    if (onlyCounted) {
      sink.Add("too-wide", line, 1, 0, {});
      return;
    }
    onlyCounted = !sink.Names("too-wide");
    const LinePart shown = ShownPart(lines.Text(line));
    const std::size_t width = DisplayWidth(shown.text);
    Diagnostic* found = sink.Add("too-wide", line, shown.at + 1, shown.text.size(),
                                 onlyCounted ? std::string() : TooWide(width, options, how));
    if (found && step) found->wayIn = WayInOf(walk, *step);
  };
  if (!walk.complete) {
    tooWide.ForEach([&](std::size_t line) { asItStands(line, "", std::nullopt); });
    return;
  }
  std::size_t answered = 0;  // the answers that reach lines, in line order as the lines below
  const auto& answers = walk.answeredFirst;
  const auto judgeAnswers = [&](std::size_t upTo) {
    for (; answered < answers.size() && answers[answered].line <= upTo; ++answered) {
      const Arrival& answer = answers[answered];
      const std::u16string_view text = lines.Text(answer.line);
      const LinePart shown = ShownPart(text, answer.labelLength);
      if (2 * shown.text.size() <= options.width) continue;  // no character is wider than two columns
      const std::size_t width = DisplayWidth(shown.text);
      if (width <= options.width) continue;
      const std::u16string_view label = text.substr(0, answer.labelLength);
      if (Diagnostic* found = sink.Add(
              "too-wide", answer.line, shown.at + 1, shown.text.size(),
              sink.Names("too-wide") ? TooWide(width, options, " after the answer " + Quote(label)) : std::string()))
        found->wayIn = WayInOf(walk, answer.step);
    }
  };
  // The lines come in order, so the first steps showing them are met in order too.
  auto shownFirst = walk.shownFirst.begin();
  tooWide.ForEach([&](std::size_t line) {
    judgeAnswers(line - 1);
    while (shownFirst != walk.shownFirst.end() && shownFirst->line < line) ++shownFirst;
    const Arrival* read = shownFirst != walk.shownFirst.end() && shownFirst->line == line ? &*shownFirst : nullptr;
    const bool answeredToo = answered < answers.size() && answers[answered].line == line;
    if (!walk.lineReached[line]) asItStands(line, "", std::nullopt);
    // A line both read on to and answered says which way shows it too wide.
    else if (read) asItStands(line, answeredToo ? " as it stands (read on to or jumped to)" : "", read->step);
    judgeAnswers(line);
  });
  judgeAnswers(lines.Count());
}

}  // namespace

void AddWaysIn(const StoryLines& lines, const WalkResult& walk,
               std::vector<Diagnostic>& diagnostics) {
  if (!walk.complete) return;
  const auto needsWay = [&](const Diagnostic& diagnostic) {
    const auto line = static_cast<std::size_t>(diagnostic.line);
    return !diagnostic.wayIn && line < walk.lineReached.size() && walk.lineReached[line];
  };
  // A jump on a flag goes wrong only with the flag as its label needs it: the first
  // label when set, the second when not. The states are searched once for all such.
  std::vector<ShownWith> questions;
  std::vector<std::size_t> askedFor;  // by question: its diagnostic
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    const Diagnostic& diagnostic = diagnostics[i];
    if (!needsWay(diagnostic) || (diagnostic.check != "missing-label" && diagnostic.check != "one-label-conditional"))
      continue;
    const auto line = static_cast<std::size_t>(diagnostic.line);
    const ScriptLine parts = SplitScriptLine(lines.Text(line));
    if (parts.jumpFlag == kFlagCount) continue;
    const auto bit = static_cast<FlagBits>(1u << parts.jumpFlag);
    const bool second = diagnostic.check == "one-label-conditional" ||
                        static_cast<std::size_t>(diagnostic.column) > parts.jumpLabels[0].End() + 1;
    questions.push_back({line, bit, second ? FlagBits{0} : bit});
    askedFor.push_back(i);
  }
  std::vector<std::optional<Step>> steps(diagnostics.size());
  const std::vector<std::optional<Step>> answers = FirstShownWith(walk, lines, questions);
  for (std::size_t q = 0; q < answers.size(); ++q) steps[askedFor[q]] = answers[q];
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    Diagnostic& diagnostic = diagnostics[i];
    if (!needsWay(diagnostic)) continue;
    std::optional<Step> step = steps[i];
    if (!step) step = FirstStepShowing(walk, static_cast<std::size_t>(diagnostic.line));
    if (step) diagnostic.wayIn = WayInOf(walk, *step);
  }
}

void CheckFlow(std::u16string_view text, const StoryLines& lines, const LabelIndex& index, const WalkResult& walk,
               const LinesChecked& checked, const CheckOptions& options, DiagnosticSink& sink, FlagUse& flags) {
  if (walk.stoppedBy == WalkLimit::Stopped) return;  // nobody waits for the result
  CheckWidths(lines, walk, checked.revisit.tooWide, options, sink);
  if (!walk.complete) {
    const std::string why = walk.stoppedBy == WalkLimit::States
                                ? "after " + std::to_string(walk.states) + " reader states (--max-states)"
                                : "once it had read " + std::to_string(ScanLimit(options.maxScan, text.size())) +
                                      " characters (--max-scan)";
    sink.Add("walk-limit", 1, 1, 0,
             "stopped walking the story " + why +
                 ": unreached lines, endless loops, places with no way to an ending and flag use were not checked");
    return;
  }
  RecordFlagUse(lines, walk, flags);
  const Folds folds(text, lines, index, walk, options.fold ? checked.missing : std::vector<MissingTarget>(), flags.set);
  ReportUnreached(lines, walk, folds, sink);
  for (const LoopFound& loop : walk.loops) {
    Diagnostic* found =
        sink.Add("endless-loop", loop.lines.front(), 1, lines.Text(loop.lines.front()).size(),
                 "Down can go round line" + std::string(loop.lines.size() > 1 ? "s " : " ") + LineList(loop.lines) +
                     " forever: no choice and no END on the way");
    if (found && loop.entry != kNoState) found->wayIn = WayInOf(walk, DownFrom(walk, loop.entry));
  }
  // An endless loop is a way the story stops too (the reader sees it go round), so a
  // trap is only where neither an ending nor such a loop can be reached.
  for (const TrapFound& trap : walk.traps) {
    Diagnostic* found = sink.Add("no-way-out", trap.line, 1, lines.Text(trap.line).size(),
                                 "no way on from here reaches an ending: the reader goes round through choices forever");
    if (found) found->wayIn = WayInOf(walk, trap.step);
  }

  // Flags A, B and C start cleared in every story; D and E are judged across stories.
  constexpr auto kOwnFlags = static_cast<FlagBits>(((1u << kFlagCount) - 1) & ~kCarriedFlags);
  ReportFlagUse(flags, kOwnFlags, flags.set, flags.tested, false, sink, &folds.flags);
  for (Diagnostic& root : sink.Named())
    std::stable_sort(root.folded.begin(), root.folded.end(), [](const Diagnostic& a, const Diagnostic& b) {
      return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    });
}

}  // namespace quillshade::qsd
