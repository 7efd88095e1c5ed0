// qsd check on story texts: the state walk, and the checks the fixtures do not pin.
#include "tools/qsd/lib/check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <random>
#include <tuple>

#include "story/choice.h"
#include "story/label_index.h"
#include "story/line_interpreter.h"
#include "story/text.h"
#include "story/utf8.h"
#include "tools/qsd/lib/check_report_format.h"
#include "tools/qsd/lib/json.h"
#include "tools/qsd/lib/label_suggestion.h"
#include "tools/qsd/lib/line_index.h"
#include "tools/qsd/lib/line_records.h"
#include "tools/qsd/lib/source_columns.h"
#include "tools/qsd/lib/story_loader.h"

namespace quillshade::qsd {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Story text from lines written with "\n".
std::u16string Story(std::u16string_view lines) {
  std::u16string text;
  for (const char16_t c : lines) {
    if (c == u'\n') text += u"\r\n";
    else text.push_back(c);
  }
  return text;
}

std::vector<std::string> Found(std::u16string_view lines, CheckOptions options = {}) {
  std::vector<std::string> found;
  for (const Diagnostic& d : CheckStoryText(Story(lines), options).diagnostics)
    found.push_back(std::to_string(d.line) + ":" + std::to_string(d.column) + " " + std::string(d.check));
  std::sort(found.begin(), found.end());
  return found;
}

// The lines that differ between the text an earlier version's line checks read and
// `text`, as an editor's document says: lines alike at the start and at the end, with
// their breaks, are the same.
std::optional<ChangedLines> LinesChanged(const std::shared_ptr<const LineCheckMemo>& earlier, std::u16string_view text) {
  if (!earlier) return std::nullopt;
  const StoryLines before(earlier->text);
  const StoryLines after(text);
  const auto alike = [&](std::size_t a, std::size_t b) {
    return before.Text(a) == after.Text(b) && before.Terminated(a) == after.Terminated(b);
  };
  const std::size_t most = std::min(before.Count(), after.Count());
  std::size_t head = 0;
  while (head < most && alike(head + 1, head + 1)) ++head;
  std::size_t tail = 0;
  while (head + tail < most && alike(before.Count() - tail, after.Count() - tail)) ++tail;
  return ChangedLines{head + 1, before.Count() - tail + 1, after.Count() - tail + 1};
}

std::vector<std::string> FoldedNotes(const Diagnostic& root) {
  std::vector<std::string> notes;
  for (const Diagnostic& folded : root.folded) notes.push_back(FoldedNote(folded));
  return notes;
}

// An editor checks each version from the last one's line checks. Random edits to the
// fixtures whose findings rest on other lines (characters that make and break script,
// lines copied with their labels, lines removed, line breaks) must find exactly what a
// check from nothing finds, and an edit within a line must read that line alone.
TEST(CheckStoryText, FromAnEarlierVersionFindsWhatACheckFromNothingFinds) {
  std::u16string base = u"Begin.\r\n";
  const std::filesystem::path fixtures = std::filesystem::path(QUILLSHADE_SOURCE_DIR) / "tests/fixtures/check";
  for (const auto* name : {"answer_runs_on", "duplicate_label", "shadowed_label", "did_you_mean", "tab_before_label",
                           "same_choice_target", "lowercase_conditional", "too_wide", "full_width_marker",
                           "width_did_you_mean", "label_mid_line"}) {
    const Result<std::u16string> text = LoadStoryText((fixtures / (std::string(name) + ".txt")).string(), SourceEncoding::Utf8);
    ASSERT_TRUE(text.ok()) << name;
    base += text.value();
  }
  base += u"Fin.\r\n";

  const std::u16string pieces[] = {u"[", u"]", u">>", u">>A", u"??", u"::", u",", u"END", u"a", u" ", u"\t",
                                   u"\u3001", u"\uFF1F\uFF1F", u"x", u"\r\n", u"[go]", u"DONE",
                                   u"\uFF57", u"\uFF9E", u"[walk]", u"[ride]", u">>[the hall]", u"[the hal] "};
  std::mt19937 random(11);
  auto text = std::make_shared<const std::u16string>(base);
  std::shared_ptr<const LineCheckMemo> earlier;
  auto previous = text;
  for (int edit = 0; edit < 400; ++edit) {
    if (edit % 40 == 0) text = std::make_shared<const std::u16string>(base);  // before edits wear the story away
    std::u16string next = *text;
    const StoryLines before(next);
    // Most edits fall among the first and the last lines, where answers and full-width
    // markers rest on other lines.
    const std::size_t count = before.Count();
    const std::size_t near = random() % std::min<std::size_t>(count, 12);
    const std::size_t line = std::array{1 + random() % count, 1 + near, count - near}[random() % 3];
    const std::size_t start = before.Start(line);
    const std::size_t length = before.Text(line).size();
    const std::size_t at = start + random() % (length + 1);
    switch (random() % 7) {
      case 0:
      case 1: next.insert(at, pieces[random() % std::size(pieces)]); break;
      case 2: if (at < start + length) next.erase(at, 1); break;
      case 3: next.insert(start, std::u16string(before.Text(1 + random() % before.Count())) + u"\r\n"); break;
      case 4: if (line < before.Count()) next.erase(start, length + 2); break;
      case 5: next = *previous; break;  // the last edit taken back: a label that went comes back
      case 6: {
        // A label renamed a letter off, as a near miss of the jumps to it, or given back.
        std::size_t labelled = line;
        while (labelled < count && before.Text(labelled).find(u']') == std::u16string_view::npos) ++labelled;
        const std::size_t close = before.Text(labelled).find(u']');
        if (before.Text(labelled).starts_with(u"[") && close != std::u16string_view::npos && close > 2) {
          const std::size_t letter = before.Start(labelled) + 1 + random() % (close - 2);
          if (random() % 2 == 0) std::swap(next[letter], next[letter + 1]);
          else next[letter] = u"xae"[random() % 3];
        }
        break;
      }
    }
    auto version = std::make_shared<const std::u16string>(std::move(next));
    const StoryLines lines(*version);
    const LabelIndex index(*version);
    SCOPED_TRACE("edit " + std::to_string(edit));
    CheckOptions options;
    options.walk = edit % 50 == 0;  // the walk's checks read the line checks' findings too
    const StoryReport fresh = CheckStoryText(*version, lines, index, options);
    options.earlierLines = earlier;
    options.earlierChange = LinesChanged(earlier, *version);
    options.keepLinesFor = version;
    const StoryReport again = CheckStoryText(*version, lines, index, options);
    ASSERT_EQ(again.diagnostics.size(), fresh.diagnostics.size());
    for (std::size_t i = 0; i < fresh.diagnostics.size(); ++i) {
      const Diagnostic& a = again.diagnostics[i];
      const Diagnostic& f = fresh.diagnostics[i];
      ASSERT_EQ(std::tie(a.line, a.column, a.length, a.check, a.message, a.note, a.lastLine),
                std::tie(f.line, f.column, f.length, f.check, f.message, f.note, f.lastLine))
          << FormatDiagnostic("", f);
      ASSERT_EQ(FoldedNotes(a), FoldedNotes(f)) << FormatDiagnostic("", f);
    }
    ASSERT_TRUE(again.lineChecks);
    earlier = again.lineChecks;
    previous = std::exchange(text, std::move(version));
  }

  // Typing at either end of a story: line 1, which no jump finds, and an unbroken last
  // line, which the reader never shows.
  auto ends = std::make_shared<const std::u16string>(
      u"[top] Title >>[end]\r\n[end] Early. >>[top]\r\nGo on. >>[fin]\r\n[fin] The end. :: END");
  std::shared_ptr<const LineCheckMemo> endsEarlier;
  for (const auto& [at, typed] : std::initializer_list<std::pair<std::size_t, std::u16string_view>>{
           {~std::size_t{0}, u"x"}, {~std::size_t{0}, u"\r\n"}, {~std::size_t{0}, u"[top"}, {0, u"x"}, {1, u"\r\n"},
           {0, u"[fin]\r\n"}, {~std::size_t{0}, u"]\r\n"}}) {
    std::u16string next = *ends;
    next.insert(std::min(at, next.size()), typed);
    auto version = std::make_shared<const std::u16string>(std::move(next));
    CheckOptions options;
    options.walk = false;
    const StoryReport fresh = CheckStoryText(*version, options);
    options.earlierLines = endsEarlier;
    options.earlierChange = LinesChanged(endsEarlier, *version);
    options.keepLinesFor = version;
    const StoryReport again = CheckStoryText(*version, options);
    std::vector<std::string> want;
    std::vector<std::string> got;
    for (const Diagnostic& d : fresh.diagnostics) want.push_back(FormatDiagnostic("", d) + " " + d.note);
    for (const Diagnostic& d : again.diagnostics) got.push_back(FormatDiagnostic("", d) + " " + d.note);
    EXPECT_EQ(got, want) << ToUtf8(*version);
    endsEarlier = again.lineChecks;
    ends = std::move(version);
  }

  // A line far from a choice and a full-width list that comes to begin with their labels.
  const auto checked = [](const std::shared_ptr<const std::u16string>& version, auto earlierLines) {
    CheckOptions options;
    options.walk = false;
    options.earlierLines = earlierLines;
    options.earlierChange = LinesChanged(earlierLines, *version);
    options.keepLinesFor = version;
    return CheckStoryText(*version, options);
  };
  const auto first = std::make_shared<const std::u16string>(
      Story(u"Begin.\nPrelude.\nMiddle.\nMore.\nTea or coffee? ?? tea,coffee\ntea You drink tea. :: AON\n"
            u"coffee You drink coffee.\nGo on \uFF1F\uFF1Fearly\nFin.\n"));
  const auto second = std::make_shared<const std::u16string>(
      Story(u"Begin.\ntea Early tea. :: END\nearly days\nMore.\nTea or coffee? ?? tea,coffee\ntea You drink tea. :: AON\n"
            u"coffee You drink coffee.\nGo on \uFF1F\uFF1Fearly\nFin.\n"));
  const auto places = [](const StoryReport& report) {
    std::vector<std::string> found;
    for (const Diagnostic& d : report.diagnostics) found.push_back(std::to_string(d.line) + " " + std::string(d.check));
    return found;
  };
  EXPECT_THAT(places(checked(first, nullptr)), ElementsAre("6 answer-runs-on"));
  EXPECT_THAT(places(checked(second, checked(first, nullptr).lineChecks)), ElementsAre("6 duplicate-label", "8 full-width-marker"));

  // One character typed in the middle of a line.
  const StoryLines lines(*text);
  auto typed = std::make_shared<const std::u16string>(std::u16string(*text).insert(lines.Start(lines.Count() / 2), u"x"));
  CheckOptions options;
  options.earlierLines = earlier;
  options.earlierChange = LinesChanged(earlier, *typed);
  options.keepLinesFor = typed;
  EXPECT_EQ(CheckStoryText(*typed, options).lineChecks->linesRead, 1u);
}

// The line index keeps offsets in one, two or four bytes by block, so its lines come in
// every length here: empty, short, and longer than one and than two bytes can span.
TEST(StoryLines, AgreesWithAPlainListOfLineStarts) {
  std::mt19937 random(3);
  for (int round = 0; round < 20; ++round) {
    std::u16string text;
    std::vector<std::size_t> starts;
    const std::size_t lengths[] = {0, 1, 7, 300, 70'000};
    for (int line = static_cast<int>(random() % 300); line > 0; --line) {
      starts.push_back(text.size());
      text.append(lengths[random() % (round % 2 ? 5 : 3)], u'a');
      text += u"\r\n";
    }
    if (round % 3 == 0) {
      starts.push_back(text.size());
      text += u"tail";
    }
    const StoryLines lines(text);
    ASSERT_EQ(lines.Count(), starts.size());
    for (std::size_t line = 1; line <= starts.size(); ++line) {
      ASSERT_EQ(lines.Start(line), starts[line - 1]) << "line " << line;
      const std::size_t end = line < starts.size() ? starts[line] - 2 : round % 3 == 0 ? text.size() : text.size() - 2;
      EXPECT_EQ(lines.Text(line).size(), end - starts[line - 1]);
      EXPECT_EQ(lines.LineOf(starts[line - 1]), line);
      if (end > starts[line - 1]) {
        EXPECT_EQ(lines.LineOf(end - 1), line);
      }
    }
  }
}

std::vector<std::size_t> Reached(const WalkResult& walk) {
  std::vector<std::size_t> lines;
  for (std::size_t line = 1; line < walk.lineReached.size(); ++line)
    if (walk.lineReached[line]) lines.push_back(line);
  return lines;
}

TEST(WalkStory, ReachesLinesThroughReadingJumpsAndChoices) {
  const WalkResult walk = WalkStory(Story(u"Start. ?? a,b\na A. >> [x]\nlost\nb B. :: END\n[x] X. :: END\n"), 100);
  EXPECT_TRUE(walk.complete);
  EXPECT_THAT(Reached(walk), ElementsAre(1, 2, 4, 5));
}

// A jump lands on the line break before its label line; that empty step reaches no line.
TEST(WalkStory, AJumpDoesNotReachTheLineBeforeItsTarget) {
  const WalkResult walk = WalkStory(Story(u"Start. >> [x]\nSkipped. :: END\n[x] X. :: END\n"), 100);
  EXPECT_THAT(Reached(walk), ElementsAre(1, 3));
}

TEST(WalkStory, FlagsDAndEMayArriveSet) {
  const WalkResult walk = WalkStory(Story(u"Start. >>D[d],[e]\n[d] D. :: END\n[e] E. >>E[x],[y]\n[x] :: END\n[y] :: END\n"), 100);
  EXPECT_THAT(Reached(walk), ElementsAre(1, 2, 3, 4, 5));
}

TEST(WalkStory, FlagsAToCStartCleared) {
  const WalkResult walk = WalkStory(Story(u"Start. >>A[a],[b]\n[a] A. :: END\n[b] B. :: END\n"), 100);
  EXPECT_THAT(Reached(walk), ElementsAre(1, 3));
}

TEST(WalkStory, FindsLoopsThatDownGoesRoundForever) {
  const WalkResult walk = WalkStory(Story(u"Start.\n[loop] One.\nTwo. >> [loop]\n"), 100);
  ASSERT_EQ(walk.loops.size(), 1u);
  EXPECT_THAT(walk.loops[0].lines, ElementsAre(2, 3));
}

TEST(WalkStory, ALoopWithAChoiceOnItIsNoEndlessLoop) {
  EXPECT_THAT(WalkStory(Story(u"Start.\n[loop] Again? ?? yes,no\nyes >> [loop]\nno :: END\n"), 100).loops, IsEmpty());
}

// The loop exists only while flag A is set, and only one path sets it.
TEST(WalkStory, ALoopThatOnlySomeFlagsOpen) {
  const std::u16string story = Story(u"Start. ?? a,b\na :: AON\n[l] Round. >>A[l],[out]\nb >> [l]\n[out] :: END\n");
  const WalkResult walk = WalkStory(story, 100);
  ASSERT_EQ(walk.loops.size(), 1u);
  EXPECT_THAT(walk.loops[0].lines, ElementsAre(3));
  EXPECT_THAT(WalkStory(Story(u"Start. ?? a,b\na :: AOFF\n[l] Round. >>A[l],[out]\nb >> [l]\n[out] :: END\n"), 100).loops,
              IsEmpty());
}

TEST(WalkStory, StopsAtTheStateLimitAndSaysSo) {
  const std::u16string story = Story(u"One.\nTwo.\nThree.\nFour.\n");
  EXPECT_FALSE(WalkStory(story, 3).complete);
  EXPECT_TRUE(WalkStory(story, 100).complete);
  CheckOptions fewStates;
  fewStates.maxStates = 3;
  EXPECT_THAT(Found(u"One.\nTwo.\nThree.\nFour.\n", fewStates), ElementsAre("1:1 walk-limit"));
}

// Each step reads its line, so a story of long lines is bounded by what the walk reads,
// not only by its number of states.
TEST(WalkStory, StopsWhenItWouldReadTooMuch) {
  const std::u16string story = Story(u"Start.\n[a] A. >> [b]\n[b] B. >> [c]\n[c] C. :: END\n");
  const WalkResult walk = WalkStory(story, 1000, 3 * story.size());
  EXPECT_FALSE(walk.complete);
  EXPECT_EQ(walk.stoppedBy, WalkLimit::Scan);
  EXPECT_TRUE(WalkStory(story, 1000, 100 * story.size()).complete);
}

TEST(WalkStory, GivesUpAtItsFirstStepOnceStopped) {
  const std::atomic<bool> stop = true;
  const WalkResult walk = WalkStory(u"a\r\nb\r\n", kDefaultMaxStates, kDefaultMaxScan, &stop);
  EXPECT_FALSE(walk.complete);
  EXPECT_EQ(walk.stoppedBy, WalkLimit::Stopped);
}

// The walk steps several states before it adds the states they lead to; the limit it
// names is still the one a step-by-step walk meets first.
TEST(WalkStory, NamesTheLimitMetFirst) {
  const std::u16string story = Story(u"Start.\nTwo.\nThree.\nFour.\n");
  const std::uint64_t twoSteps = 2 * (std::u16string_view(u"Start.").size() + 1);  // the first two of the four starts
  // Five states are met on the second step, the budget on the third.
  EXPECT_EQ(WalkStory(story, 5, twoSteps).stoppedBy, WalkLimit::States);
  EXPECT_EQ(WalkStory(story, 1000, twoSteps).stoppedBy, WalkLimit::Scan);
}

// Every line carries a choice back to a different line and sets flags: many states, all
// of them visited, none of them lost.
TEST(WalkStory, ManyStatesAreWalkedExhaustively) {
  std::u16string lines = u"Start.\n";
  const int count = 300;
  for (int i = 0; i < count; ++i) {
    const std::u16string n = u"[" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                             std::u16string(1, static_cast<char16_t>(u'a' + (i / 26) % 26)) + u"]";
    const std::u16string next = u"[" + std::u16string(1, static_cast<char16_t>(u'A' + (i + 1) % 26)) +
                                std::u16string(1, static_cast<char16_t>(u'a' + ((i + 1) / 26) % 26)) + u"]";
    lines += n + u" Step. :: " + (i % 2 ? u"AON" : u"BON COFF") + u" ?? " + next + u",[Aa]\n";
  }
  const WalkResult walk = WalkStory(Story(lines), 1'000'000);
  EXPECT_TRUE(walk.complete);
  EXPECT_EQ(Reached(walk).size(), static_cast<std::size_t>(count + 1));
  EXPECT_THAT(walk.loops, IsEmpty());
}

// The walk as the reader takes it, one state at a time through ReadNextLine and
// ChooseBranch, breadth first: the states in their order, how each was first reached,
// and the first step that showed each line, of those that need no flag arriving set
// when there are any.
struct StepByStep {
  std::vector<quillshade::Story> states;
  std::vector<Step> reachedBy;
  std::vector<bool> lineReached;
  std::vector<Step> firstShown;  // by line
};

StepByStep WalkStepByStep(std::u16string_view text) {
  const StoryLines lines(text);
  const LabelIndex labels(text);
  StepByStep walk;
  walk.lineReached.assign(lines.Count() + 1, false);
  walk.firstShown.assign(lines.Count() + 1, Step{});
  std::map<std::tuple<std::int32_t, FlagBits, std::u16string>, std::uint32_t> seen;
  std::vector<bool> arriving;  // by state: its start had D or E set
  const auto add = [&](const quillshade::Story& state, Step step) {
    if (seen.emplace(std::tuple(std::max(state.ReadPos, 0), FlagsOf(state), state.ChoiceList), walk.states.size()).second) {
      walk.states.push_back(state);
      walk.reachedBy.push_back(step);
      arriving.push_back(step.from == kNoState ? FlagsOf(state) != 0 : static_cast<bool>(arriving[step.from]));
    }
  };
  for (const unsigned carried : {0u, 8u, 16u, 24u}) {
    quillshade::Story start;
    start.ReadPos = 1;
    SetFlags(start, static_cast<FlagBits>(carried));
    add(start, {});
  }
  for (std::uint32_t n = 0; n < walk.states.size(); ++n) {
    const quillshade::Story state = walk.states[n];
    if (state.ChoiceList.empty() && state.ReadPos > 0) {
      quillshade::Story next = state;
      const Step down{n, n < 4 ? '\0' : 'd'};
      const LineStep step = ReadNextLine(text, labels, next);
      next.ReadPos = step.nextPos;
      if (step.shownText && !IsJumpLanding(text, state.ReadPos)) {
        const std::size_t line = lines.LineOf(static_cast<std::size_t>(state.ReadPos) - 1);
        const Step kept = walk.firstShown[line];
      if (kept.from == kNoState || (!arriving[n] && arriving[kept.from])) walk.firstShown[line] = down;
        walk.lineReached[line] = true;
      }
      add(next, down);
    }
    for (std::int32_t key = 0; !state.ChoiceList.empty() && key < 5; ++key) {
      const std::u16string label = PickField(state.ChoiceList, key);
      if (label.empty()) continue;
      quillshade::Story next = state;
      if (ChooseBranch(text, labels, next, key)) walk.lineReached[lines.LineAfterBreak(labels.Find(label).first)] = true;
      add(next, {n, static_cast<char>('1' + key)});
    }
  }
  return walk;
}

// Stories of random script: jumps on flags, commands, choices whose labels may end in a
// lone CR, prefixes, lines broken oddly; the walk must find exactly what stepping finds.
TEST(WalkStory, AgreesWithAStepByStepWalkOnRandomStories) {
  const std::u16string_view pieces[] = {u"[a]", u"[b]", u"a", u"b\r", u"x", u"", u" ", u"Text", u"wide", u"\n",
                                        u">> [a]", u">>B[a],[b]", u">>A[b]", u">>D a,x", u">>", u":: AON", u":: BON COFF",
                                        u":: aoff", u":: END", u"?? a,[b],x", u"?? [a],,b\r,[b]", u"??", u"\r", u"[", u"]"};
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    for (int line = static_cast<int>(random() % 25); line > 0; --line) {
      for (int piece = static_cast<int>(random() % 4); piece >= 0; --piece) text += pieces[random() % std::size(pieces)];
      text += u"\r\n";
    }
    // Some stories hold far more lines than the walk may hold states, which it then keeps
    // apart from the lines: lines that no step reaches after an END.
    const bool manyLines = round % 5 == 4;
    if (manyLines) {
      text += u"Stop. :: END\r\n";
      for (int line = 0; line < 50'000; ++line) text += u"~\r\n";
    } else if (round % 7 == 0) {
      text += u"tail";
    }
    const WalkResult walk = WalkStory(text, manyLines ? 10'000 : 1'000'000);
    ASSERT_TRUE(walk.complete) << round;
    const StepByStep expected = WalkStepByStep(text);
    ASSERT_EQ(walk.states, expected.states.size()) << round;
    for (std::uint32_t n = 0; n < walk.states; ++n) {
      const quillshade::Story& state = expected.states[n];
      ASSERT_EQ(walk.ReadPosAt(n), std::max(state.ReadPos, 0)) << round << " state " << n;
      ASSERT_EQ(walk.FlagsAt(n), FlagsOf(state)) << round << " state " << n;
      ASSERT_EQ(walk.ChoosingAt(n), !state.ChoiceList.empty()) << round << " state " << n;
      ASSERT_EQ(walk.parent[n], expected.reachedBy[n].from) << round << " state " << n;
      ASSERT_EQ(walk.parentKey[n], expected.reachedBy[n].key) << round << " state " << n;
    }
    ASSERT_EQ(walk.lineReached, expected.lineReached) << round;
    for (const Arrival& shown : walk.shownFirst) {
      EXPECT_EQ(shown.step.from, expected.firstShown[shown.line].from) << round << " line " << shown.line;
      EXPECT_EQ(shown.step.key, expected.firstShown[shown.line].key) << round << " line " << shown.line;
    }
  }
}

// Stories of labels, some misspelt, without flags, so that where a line leads does not
// hang on them. Folding must keep every finding a check without folding makes, each
// once, with its place; and once every misspelt label is mended as its note says, the
// walk reaches every line folded as unreached under one.
TEST(CheckStoryText, FoldsOnlyWhatMendingTheMissingLabelsReaches) {
  const std::u16string_view labels[] = {u"hall", u"door", u"cellar", u"garden", u"hlal", u"dor", u"celar", u"gardne"};
  const auto label = [&](std::mt19937& random) { return std::u16string(labels[random() % std::size(labels)]); };
  std::mt19937 random(7);
  std::size_t linesFolded = 0;
  for (int round = 0; round < 100; ++round) {
    // A section per label, in any order, each begun by its label and ended by a way on.
    const auto wayOn = [&] {
      switch (random() % 3) {
        case 0: return u" >> [" + label(random) + u"]";
        case 1: return u" ?? " + label(random) + u"," + label(random);
        default: return std::u16string(u" :: END");
      }
    };
    std::u16string text = u"Start." + wayOn() + u"\r\n";
    std::array<std::size_t, 4> order{0, 1, 2, 3};
    std::shuffle(order.begin(), order.end(), random);
    for (const std::size_t section : order) {
      const std::u16string spelt(labels[section]);
      text += (random() % 3 == 0 ? spelt : u"[" + spelt + u"]") + u" Text.";
      for (auto more = random() % 3; more > 0; --more) text += u"\r\nText.";
      text += wayOn() + u"\r\n";
    }
    SCOPED_TRACE(ToUtf8(text));
    CheckOptions options;
    options.threads = Threads::One;
    const std::vector<Diagnostic> folding = CheckStoryText(text, options).diagnostics;
    options.fold = false;
    const std::vector<Diagnostic> flat = CheckStoryText(text, options).diagnostics;
    const auto place = [](const Diagnostic& d) {
      return std::to_string(d.line) + ":" + std::to_string(d.column) + " " + std::string(d.check) + " " + d.message;
    };
    std::vector<std::string> unfolded;
    std::vector<std::string> expected;
    for (const Diagnostic& d : flat) expected.push_back(place(d));
    for (const Diagnostic& d : folding) {
      unfolded.push_back(place(d));
      for (const Diagnostic& folded : d.folded) unfolded.push_back(place(folded));
    }
    std::sort(unfolded.begin(), unfolded.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(unfolded, expected);

    // Each misspelt label mended, from the last so that the places before stay put.
    std::u16string mended = text;
    const StoryLines lines(text);
    for (auto d = folding.rbegin(); d != folding.rend(); ++d) {
      constexpr std::string_view kMeant = "did you mean '";
      if (!d->note.starts_with(kMeant)) continue;
      const std::string meant = d->note.substr(kMeant.size(), d->note.find('\'', kMeant.size()) - kMeant.size());
      mended.replace(lines.Start(static_cast<std::size_t>(d->line)) + static_cast<std::size_t>(d->column) - 1,
                     static_cast<std::size_t>(d->length), FromUtf8(meant).value());
    }
    const WalkResult walk = WalkStory(mended, kDefaultMaxStates);
    const StoryLines mendedLines(mended);
    for (const Diagnostic& d : folding)
      for (const Diagnostic& folded : d.folded) {
        ASSERT_EQ(folded.check, "unreachable");
        for (auto line = static_cast<std::size_t>(folded.line); line <= static_cast<std::size_t>(std::max(folded.line, folded.lastLine)); ++line) {
          ++linesFolded;
          EXPECT_TRUE(walk.lineReached[line] || TrimSpaces(mendedLines.Text(line)).empty())
              << "line " << line << " under " << FormatDiagnostic("", d) << "\n" << ToUtf8(mended);
        }
      }
  }
  EXPECT_GT(linesFolded, 30u);  // the stories do fold
}

TEST(CheckStoryText, KeywordsWrittenTogetherAreMeantSo) {
  EXPECT_THAT(Found(u"Start. :: AONbOff\nGo. >>A[x],[y]\n[x] X. :: END\n[y] Y. :: END\n"), ElementsAre("4:1 unreachable"));
  EXPECT_THAT(Found(u"Start. :: done\nEnd. :: END\n"), ElementsAre("1:11 keyword-in-word"));
  EXPECT_THAT(Found(u"Start. :: bonus\nEnd. :: END\n"), ElementsAre("1:11 flag-never-tested", "1:11 keyword-in-word"));
  EXPECT_THAT(Found(u"Start. :: END!\n"), IsEmpty());
}

TEST(CheckStoryText, ConditionalLabelsAreCheckedBothWays) {
  EXPECT_THAT(Found(u"Start. :: AON\nGo. >>A[x], [y]\n[x] X. :: END\n[y] Y. :: END\n"),
              ElementsAre("2:12 label-leading-space", "2:12 missing-label", "4:1 unreachable"));
  // With B set the empty first label goes to line 2, again and again.
  EXPECT_THAT(Found(u"Start. :: BON\nGo. >>B,[y]\n[y] Y. :: END\n"),
              ElementsAre("2:1 endless-loop", "2:8 empty-target", "3:1 unreachable"));
}

TEST(CheckStoryText, AChoiceLabelOnlyOnTheFirstLine) {
  EXPECT_THAT(Found(u"top Start. ?? top,end\nend :: END\n"), ElementsAre("1:15 first-line-label"));
}

TEST(CheckStoryText, ChoicesLeadingToTheSameLine) {
  EXPECT_THAT(Found(u"Start. ?? go,stay\nstay Here. :: END\ngo Away. :: END\n"), IsEmpty());
  // "go" finds the earlier line "gone", so both answers lead there.
  EXPECT_THAT(Found(u"Start. ?? go,gone\ngone Away. :: END\ngo Here. :: END\n"),
              ElementsAre("1:11 shadowed-label", "1:8 same-choice-target", "3:1 unreachable"));
  // One answer alone is no choice between lines.
  EXPECT_THAT(Found(u"Start. ?? go\ngo Away. :: END\n"), IsEmpty());
}

TEST(CheckStoryText, ALabelDefinedTwiceIsToldOnlyWhenTheLaterLineHoldsItWhole) {
  EXPECT_THAT(Found(u"Start. ?? go\ngo North. :: END\ngo South. :: END\n"),
              ElementsAre("3:1 duplicate-label", "3:1 unreachable"));
  // "gone" begins with "go" but is another word: no second definition of it.
  EXPECT_THAT(Found(u"Start. ?? go\ngo North. :: END\ngone :: END\n"), ElementsAre("3:1 unreachable"));
}

TEST(CheckStoryText, WidthCountsFullWidthCharactersTwice) {
  CheckOptions narrow;
  narrow.width = 6;
  EXPECT_THAT(Found(u"あいう\nｱｲｳｴｵｶ :: END\n", narrow), IsEmpty());
  EXPECT_THAT(Found(u"あいうえ\nｱｲｳｴｵｶｷ :: END\n", narrow), ElementsAre("1:1 too-wide", "2:1 too-wide"));
  // The hidden prefix is not shown, so it does not count.
  EXPECT_THAT(Found(u"[prefix] abcdef\nEnd. :: END\n", narrow), IsEmpty());
}

TEST(CheckStoryText, OnlyLinesReadingReachesCountForFlags) {
  EXPECT_THAT(Found(u"Start. :: END\n:: AON\n>>A[x],[y]\n"),
              ElementsAre("2:1 unreachable", "3:4 missing-label", "3:8 missing-label"));
  // END on the line of a jump on a flag: the flag is not tested there.
  EXPECT_THAT(Found(u"Start. :: AON\nGo. >>A[x],[y] :: END\n"), ElementsAre("1:11 flag-never-tested", "2:5 end-with-jump"));
}

TEST(JudgeCarriedFlags, DAndECountAcrossStories) {
  FlagUse first;
  first.set = 1u << 3;  // sets D
  first.firstSet[3] = Diagnostic{4, 9, 3, Severity::Warning, {}, {}, {}, 0, {}};
  FlagUse second;
  second.tested = (1u << 3) | (1u << 4);  // tests D and E
  second.firstTest[4] = Diagnostic{2, 7, 3, Severity::Warning, {}, {}, {}, 0, {}};

  const auto together = JudgeCarriedFlags({first, second});
  EXPECT_THAT(together[0], IsEmpty());
  ASSERT_EQ(together[1].size(), 1u);
  EXPECT_EQ(together[1][0].check, "flag-never-set");
  EXPECT_EQ(together[1][0].line, 2);

  const auto alone = JudgeCarriedFlags({first});
  ASSERT_EQ(alone[0].size(), 1u);
  EXPECT_EQ(alone[0][0].check, "flag-never-tested");
  EXPECT_EQ(alone[0][0].column, 9);
}

TEST(CheckStoryText, NamesTheFirstProblemsOfAKindAndCountsTheRest) {
  std::u16string story = u"Start.\n";
  for (int i = 0; i < 150; ++i) story += u"On. >>[nowher]\n";
  story += u"[nowhere] End. :: END\n";
  const std::vector<Diagnostic> found = CheckStoryText(Story(story), {}).diagnostics;
  std::size_t named = 0;
  for (const Diagnostic& d : found) {
    if (d.check != "missing-label") continue;
    ++named;
    // Only the problems that are named get their hint; the count gets none.
    EXPECT_EQ(d.note.empty(), named == kMaxNamedProblems + 1);
  }
  EXPECT_EQ(named, kMaxNamedProblems + 1);
  EXPECT_EQ(found.back().message, "50 more problems of this kind are not named");
  EXPECT_EQ(found.back().line, static_cast<std::int64_t>(kMaxNamedProblems) + 2);  // the first not named
}

// Past the named ones, lines too wide are only counted; the count stands where the first
// of them shows its text, after its prefix.
TEST(CheckStoryText, TooWideLinesPastTheNamedOnesAreCounted) {
  std::u16string story = u"Start.\n";
  for (int i = 0; i < 150; ++i) story += (i % 2 ? u"  " : u"[p]  ") + std::u16string(kDefaultWidth + 1, u'w') + u"\n";
  story += u"End. :: END\n";
  const std::vector<Diagnostic> found = CheckStoryText(Story(story), {}).diagnostics;
  EXPECT_EQ(std::count_if(found.begin(), found.end(), [](const Diagnostic& d) { return d.check == "too-wide"; }),
            kMaxNamedProblems + 1);
  const Diagnostic& counted = found.back();
  EXPECT_EQ(counted.message, "50 more problems of this kind are not named");
  EXPECT_EQ(counted.line, static_cast<std::int64_t>(kMaxNamedProblems) + 2);
  EXPECT_EQ(counted.column, 6);
}

// The walk runs beside the line checks; on one thread, as when none can be started, it
// runs when its result is asked for, and every finding must stay the same.
TEST(CheckStoryText, OneThreadFindsWhatTwoFind) {
  std::u16string story = u"Start. ?? [a],[b],,[nowhere]\n";
  for (int i = 0; i < 200; ++i)
    story += i % 3 ? u"[a] On. :: AON\nGo. >>A[b],[c]\nNever.\n" : u"[b] Round. >> [a]\n[c] Done. :: BON END\n";
  const auto all = [&](Threads threads) {
    CheckOptions options;
    options.threads = threads;
    std::vector<std::string> found;
    for (const Diagnostic& d : CheckStoryText(Story(story), options).diagnostics)
      found.push_back(std::to_string(d.line) + ":" + std::to_string(d.column) + " " + d.message);
    return found;
  };
  const std::vector<std::string> two = all(Threads::Two);
  EXPECT_EQ(all(Threads::One), two);
  EXPECT_GT(two.size(), 3u);
}

TEST(FormatDiagnostic, AsCompilersPrintThem) {
  EXPECT_EQ(FormatDiagnostic("a.qsd", Diagnostic{3, 7, 1, Severity::Error, "no line begins with 'x'", "missing-label", {}, 0, {}}),
            "a.qsd:3:7: error: no line begins with 'x' [missing-label]");
}

TEST(AllChecks, NamesAreUniqueAndEveryDiagnosticUsesOne) {
  std::vector<std::string_view> names;
  for (const CheckInfo& info : AllChecks()) names.push_back(info.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  for (const Diagnostic& d : CheckStoryText(Story(u"[a\nx ?? ,a,b,c,d,e,f :: DONE AON AOFF\n"), {}).diagnostics)
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), d.check)) << d.check;
}

TEST(NearestName, ATypoOrAnotherCaseButNothingFar) {
  const std::vector<std::string_view> names{"encode", "decode", "check", "graph", "play"};
  EXPECT_EQ(NearestName("chek", names), "check");
  EXPECT_EQ(NearestName("Graph", names), "graph");
  EXPECT_EQ(NearestName("decoed", names), "decode");
  EXPECT_EQ(NearestName("frobnicate", names), std::nullopt);
  EXPECT_EQ(NearestName("x", names), std::nullopt);
}

// The line beginning nearest to a missing label by reading every line in turn, as the
// suggester answers it: the same word in or out of brackets, then in another case, then
// the fewest edits (neighbours swapped count one), the first line and on a line its
// bracketed prefix first among equals.
std::optional<std::u16string> NearestByReading(const StoryLines& lines, std::u16string_view missing) {
  const auto upper = [](std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& c : result) c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    return result;
  };
  const auto unbracketed = [](std::u16string_view text) {
    return text.size() >= 2 && text.front() == u'[' && text.back() == u']' ? text.substr(1, text.size() - 2) : text;
  };
  const auto edits = [](std::u16string_view a, std::u16string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
      for (std::size_t j = 0; j <= b.size(); ++j) {
        if (i == 0 || j == 0) { d[i][j] = i + j; continue; }
        d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    return d[a.size()][b.size()];
  };
  std::u16string_view trimmed = missing;
  while (!trimmed.empty() && (trimmed.front() == u' ' || trimmed.front() == u'\t')) trimmed.remove_prefix(1);
  while (!trimmed.empty() && (trimmed.back() == u' ' || trimmed.back() == u'\t')) trimmed.remove_suffix(1);
  const std::u16string_view core = unbracketed(trimmed);
  const std::size_t spaces = static_cast<std::size_t>(std::count(trimmed.begin(), trimmed.end(), u' '));
  const std::size_t allowed = core.size() > 64 ? 0 : core.size() <= 2 ? 0 : core.size() <= 5 ? 1 : 2;
  std::size_t bestScore = 99;
  std::optional<std::u16string> best;
  for (std::size_t line = 2; line <= lines.Count() && !core.empty(); ++line) {
    const std::u16string_view text = lines.Text(line);
    const std::size_t close = text.find(u']');
    std::size_t end = 0;
    for (std::size_t word = 0; word <= spaces && end != std::u16string_view::npos; ++word) end = text.find(u' ', word == 0 ? 0 : end + 1);
    for (const std::u16string_view candidate : {!text.empty() && text[0] == u'[' && close != std::u16string_view::npos
                                                    ? text.substr(0, close + 1) : std::u16string_view{},
                                                text.substr(0, end)}) {
      if (candidate.empty() || candidate == missing) continue;
      const std::u16string_view candidateCore = unbracketed(candidate);
      std::size_t score = 99;
      if (candidateCore == core) score = 0;
      else if (upper(candidateCore) == upper(core)) score = 1;
      else if (allowed > 0 && edits(core, candidateCore) <= allowed) score = 1 + edits(core, candidateCore);
      if (score < bestScore) {
        bestScore = score;
        best = std::u16string(candidate);
      }
    }
  }
  return best;
}

// The suggester sorts the lines and walks the tree of their beginnings; reading every line
// must find the same beginning, whatever was looked for before.
TEST(LabelSuggester, AgreesWithReadingEveryLineOnRandomStories) {
  std::mt19937 random(5);
  const std::u16string_view words[] = {u"[left]", u"left", u"Left", u"lfet", u"[lef]", u"[rigth]", u"right", u"go",
                                       u"[go]", u"gone", u"[a b]", u"a b", u"a", u"b", u"[x]y]", u"[[x]]", u"x ", u"",
                                       u"[", u"]", u"leftover", u"ab", u"[ab] c",
                                       // too long to be spelled: found only in another case
                                       u"[Abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnop]",
                                       u"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnop"};
  const auto phrase = [&] {
    std::u16string text;
    for (std::size_t i = random() % 4; i > 0; --i) text += std::u16string(words[random() % std::size(words)]) + (random() % 3 ? u" " : u"");
    return text;
  };
  for (int round = 0; round < 120; ++round) {
    std::vector<std::u16string> story(1 + random() % 30);
    for (std::u16string& line : story) line = phrase();
    // Each story edited version after version, each suggester's index patched from the last
    // one made, which may be a few versions back: it answers as one made from nothing.
    LabelSuggester::Carried carried;
    for (int version = 0; version < 4; ++version) {
      if (version > 0) {
        const std::size_t from = random() % story.size();
        const std::size_t removed = std::min(story.size() - 1, std::min(story.size() - from, std::size_t{random() % 3}));
        const std::size_t added = random() % 3;
        const auto at = story.begin() + static_cast<std::ptrdiff_t>(from);
        story.erase(at, at + static_cast<std::ptrdiff_t>(removed));
        for (std::size_t i = 0; i < added; ++i) story.insert(story.begin() + static_cast<std::ptrdiff_t>(from), phrase());
        const ChangedLines since =
            Then({carried.from, carried.oldEnd, carried.newEnd}, {from + 1, from + 1 + removed, from + 1 + added});
        carried = {carried.index, since.from, since.oldEnd, since.newEnd};
      }
      std::u16string text;
      for (const std::u16string& line : story) text += line + u"\r\n";
      const StoryLines lines(text);
      LabelSuggester suggester(lines, carried);
      LabelSuggester fresh(lines);
      for (int probe = 0; probe < 20; ++probe) {
        const std::u16string label = phrase();
        if (label.empty() || FindLabelLine(text, label) != 0) continue;  // only missing labels are looked for
        SCOPED_TRACE("round " + std::to_string(round) + " version " + std::to_string(version) + " probe " + std::to_string(probe));
        const LabelSuggester::Suggestion patched = suggester.Suggest(label);
        const LabelSuggester::Suggestion made = fresh.Suggest(label);
        EXPECT_EQ(made.meant, NearestByReading(lines, label));
        EXPECT_EQ(std::tie(patched.meant, patched.difference, patched.midLine, patched.work),
                  std::tie(made.meant, made.difference, made.midLine, made.work));
      }
      if (auto index = suggester.TakeIndex()) carried = {std::move(index), 0, 0, 0};
    }
  }
}

// An input method leaves a label in the other width: the voiced marks of half-width
// katakana join the kana before them, and either width finds the other.
TEST(LabelSuggester, FindsALabelWrittenInTheOtherWidth) {
  const std::u16string text = u"Start.\r\n[\u30F4\u30A1\u30D1] a\r\n[\uFF76\uFF9E] b\r\n\uFF47\uFF4F c\r\n";
  const StoryLines lines(text);
  LabelSuggester suggester(lines);
  using enum LabelSuggester::Difference;
  const auto found = [&](std::u16string_view missing) {
    const LabelSuggester::Suggestion suggestion = suggester.Suggest(missing);
    return std::pair(suggestion.meant.value_or(u""), suggestion.difference);
  };
  EXPECT_EQ(found(u"[\uFF73\uFF9E\uFF67\uFF8A\uFF9F]"), std::pair(std::u16string(u"[\u30F4\u30A1\u30D1]"), HalfWidthKatakana));
  EXPECT_EQ(found(u"[\u30AC]"), std::pair(std::u16string(u"[\uFF76\uFF9E]"), HalfWidthKatakana));
  EXPECT_EQ(found(u"go"), std::pair(std::u16string(u"\uFF47\uFF4F"), FullWidthLatin));
}

// A check had one budget of suggestions for all missing labels, spent in line order: a
// story with thousands of missing jumps gave no note to the label after them, while an
// editor, which looks again only for the labels an edit touches, gave one.
TEST(CheckStoryText, DidYouMeanDependsOnTheTextNotOnTheLabelsMissingBeforeIt) {
  const auto number = [](int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  };
  std::u16string before = u"Start.\r\n";
  for (int jump = 0; jump < 3000; ++jump) before += u"Jump " + number(jump) + u". >> [m" + number(10000 + jump) + u"]\r\n";
  before += u"[go] Here. :: END\r\n";
  auto earlierText = std::make_shared<const std::u16string>(before);
  CheckOptions options;
  options.keepLinesFor = earlierText;
  const StoryReport earlier = CheckStoryText(*earlierText, StoryLines(*earlierText), LabelIndex(*earlierText), options);
  auto text = std::make_shared<const std::u16string>(before + u"Which? ?? go\r\n");
  const StoryLines lines(*text);
  const LabelIndex index(*text);
  const StoryReport fresh = CheckStoryText(*text, lines, index, {});
  options.earlierLines = earlier.lineChecks;
  options.earlierChange = LinesChanged(earlier.lineChecks, *text);
  options.keepLinesFor = text;
  const StoryReport again = CheckStoryText(*text, lines, index, options);
  const auto noteOfLine = [&](const StoryReport& report) {
    for (const Diagnostic& d : report.diagnostics)
      if (d.check == "missing-choice-label") return d.note;
    return std::string("no finding");
  };
  EXPECT_EQ(noteOfLine(fresh), "did you mean '[go]'?");
  EXPECT_EQ(noteOfLine(again), noteOfLine(fresh));
}

std::vector<CheckedFile> TwoCheckedFiles() {
  CheckedFile first{"a dir/story.txt", {}, {}, true, {}};
  first.diagnostics.push_back(
      {3, 7, 4, Severity::Error, "no line begins with 'x\u00e9'", "missing-label", "did you mean '[x]'?", 0, {}});
  first.diagnostics[0].folded.push_back({8, 1, 6, Severity::Warning, "no way reaches this line", "unreachable", {}, 0, {}});
  first.diagnostics.push_back({5, 1, 0, Severity::Warning, "lines no way reaches", "unreachable", {}, 0, {}});
  CheckedFile gone{"gone.qsd", "no such file", {}, false, {}};
  CheckedFile second{"b.txt", {}, {}, true, {}};
  second.diagnostics.push_back({1, 2, 1, Severity::Warning, "a tab", "tab-in-text", {}, 0, {}});
  return {first, gone, second};
}

TEST(FormatFindingsJson, OneObjectPerFindingWithItsSpan) {
  const Json all = Json::parse(FormatFindingsJson(TwoCheckedFiles()));
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0], Json::parse(R"({"file": "a dir/story.txt", "line": 3, "column": 7, "endLine": 3, "endColumn": 11,
      "severity": "error", "check": "missing-label", "message": "no line begins with 'x\u00e9'",
      "notes": ["did you mean '[x]'?", "follows from this, on line 8: no way reaches this line [unreachable]"],
      "folded": [{"line": 8, "column": 1, "endLine": 8, "endColumn": 7, "severity": "warning", "check": "unreachable",
                  "message": "no way reaches this line"}]})"));
  EXPECT_EQ(all[1]["endColumn"], 1);
  EXPECT_EQ(all[1]["notes"], Json::array());
  EXPECT_FALSE(all[1].contains("folded"));
  EXPECT_EQ(all[2]["file"], "b.txt");
  EXPECT_EQ(Json::parse(FormatFindingsJson({})), Json::array());
}

TEST(FormatFindingsSarif, RulesFromTheRegistryAndResultsWithRegions) {
  const Json log = Json::parse(FormatFindingsSarif(TwoCheckedFiles(), "2.0.0"));
  EXPECT_EQ(log["version"], "2.1.0");
  EXPECT_TRUE(log.contains("$schema"));
  ASSERT_EQ(log["runs"].size(), 1u);
  const Json& run = log["runs"][0];
  EXPECT_EQ(run["columnKind"], "utf16CodeUnits");
  const Json& rules = run["tool"]["driver"]["rules"];
  ASSERT_EQ(rules.size(), AllChecks().size());
  for (std::size_t i = 0; i < rules.size(); ++i) {
    EXPECT_EQ(rules[i]["id"], AllChecks()[i].name);
    EXPECT_EQ(rules[i]["shortDescription"]["text"], AllChecks()[i].summary);
  }
  const Json& results = run["results"];
  ASSERT_EQ(results.size(), 3u);
  for (const Json& result : results)
    EXPECT_EQ(rules[result["ruleIndex"].get<std::size_t>()]["id"], result["ruleId"]);
  EXPECT_EQ(results[0]["level"], "error");
  EXPECT_EQ(results[0]["message"]["text"],
            "no line begins with 'x\u00e9'\nnote: did you mean '[x]'?\nnote: follows from this, on line 8: no way "
            "reaches this line [unreachable]");
  // A folded finding is a related location of the finding it follows from.
  const Json& related = results[0]["relatedLocations"][0];
  EXPECT_EQ(related["message"]["text"], "no way reaches this line [unreachable]");
  EXPECT_EQ(related["physicalLocation"]["region"],
            Json::parse(R"({"startLine": 8, "startColumn": 1, "endLine": 8, "endColumn": 7})"));
  EXPECT_FALSE(results[1].contains("relatedLocations"));
  const Json& location = results[0]["locations"][0]["physicalLocation"];
  EXPECT_EQ(location["artifactLocation"]["uri"], "a%20dir/story.txt");
  EXPECT_EQ(location["region"], Json::parse(R"({"startLine": 3, "startColumn": 7, "endLine": 3, "endColumn": 11})"));
  // The unreadable file makes the run unsuccessful, and is named.
  const Json& invocation = run["invocations"][0];
  EXPECT_EQ(invocation["executionSuccessful"], false);
  EXPECT_EQ(invocation["toolExecutionNotifications"][0]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"],
            "gone.qsd");
}

TEST(FileUri, RelativeStaysRelativeAbsoluteBecomesAFileUri) {
  EXPECT_EQ(FileUri("stories/a b#1.txt"), "stories/a%20b%231.txt");
  EXPECT_EQ(FileUri("/home/kit/tale.txt"), "file:///home/kit/tale.txt");
  EXPECT_EQ(FileUri("C:\\stories\\tale.txt"), "file:///C:/stories/tale.txt");
  EXPECT_EQ(FileUri("\xe7\x8b\x90.txt"), "%E7%8B%90.txt");
  // Read as it stands, "a:b.txt" would be a URI of the scheme "a".
  EXPECT_EQ(FileUri("a:b.txt"), "a%3Ab.txt");
  EXPECT_EQ(FileUri("1:/b.txt"), "1%3A/b.txt");
}

// Editors that read FILE:LINE:COL count a wide character two columns, a combining mark
// none, and a tab to the next multiple of eight.
TEST(ScreenColumn, WideCharactersTabsAndMarks) {
  EXPECT_EQ(ScreenColumn(u"\u72d0\U0001F600x", 3), 5);
  EXPECT_EQ(ScreenColumn(u"\u3000", 1), 3);
  EXPECT_EQ(ScreenColumn(u"ab\tc\t", 4), 10);
  EXPECT_EQ(ScreenColumn(u"ab\tc\t", 5), 17);
  EXPECT_EQ(ScreenColumn(u"\u304b\u3099x", 2), 3);
  EXPECT_EQ(ScreenColumn(u"\uff71\u00e9", 2), 3);  // half-width katakana and Latin: one each
}

}  // namespace
}  // namespace quillshade::qsd
