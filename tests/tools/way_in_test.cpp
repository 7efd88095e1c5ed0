// The ways in that the walk hands out: replayed through the engine, the keys of every
// finding and every ending on every fixture and example arrive where they say.
#include "tools/qsd/lib/walk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <tuple>

#include "story/choice.h"
#include "story/label_index.h"
#include "story/line_interpreter.h"
#include "story/text.h"
#include "tools/qsd/lib/check.h"
#include "tools/qsd/lib/endings.h"
#include "tools/qsd/lib/line_index.h"

namespace quillshade::qsd {
namespace {

// The keys pressed as `qsd play --keys` presses them, through the engine alone.
struct Replayed {
  std::size_t lastLine = 0;     // the story line the last step that showed one began on
  FlagBits flagsBeforeLast = 0;
  bool stoppedBeforeLast = false;
  bool stopped = false;
  Story story;
};

bool Stopped(const Story& story) { return story.ReadPos <= 0 && story.ChoiceList.empty(); }

Replayed Replay(std::u16string_view text, const StoryLines& lines, const WayIn& way) {
  Replayed out;
  Story& story = out.story;
  story.StoryText = text;
  story.ReadPos = 1;
  SetFlags(story, way.arriving);
  const auto down = [&] {
    if (!story.ChoiceList.empty()) return;  // Down waits for an answer
    const std::int32_t at = story.ReadPos;
    const LineStep step = ReadNextLine(story);
    story.ReadPos = step.nextPos;
    const auto index = static_cast<std::size_t>(at) - 1;
    const bool lineBreak = at > 0 && index + 1 < text.size() && text[index] == u'\r' && text[index + 1] == u'\n';
    if (step.shownText && !lineBreak) out.lastLine = lines.LineOf(index);
  };
  out.flagsBeforeLast = FlagsOf(story);
  down();  // the load's own step
  for (std::size_t i = 0; i < way.keys.size(); ++i) {
    out.stoppedBeforeLast = out.stoppedBeforeLast || Stopped(story);
    out.flagsBeforeLast = FlagsOf(story);
    const char key = way.keys[i];
    if (key == 'd') {
      down();
      continue;
    }
    const std::u16string label = PickField(story.ChoiceList, key - '1');
    const std::int32_t found = label.empty() ? 0 : FindLabelLine(text, label);
    if (ChooseBranch(story, key - '1') && found > 0) out.lastLine = lines.LineAfterBreak(found);
  }
  out.stopped = Stopped(story);
  return out;
}

std::vector<std::filesystem::path> Stories() {
  std::vector<std::filesystem::path> found;
  const std::filesystem::path source = QUILLSHADE_SOURCE_DIR;
  for (const auto* folder : {"examples", "tests/fixtures/check", "tests/fixtures/play"})
    for (const auto& entry : std::filesystem::directory_iterator(source / folder)) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".txt" || extension == ".qsd") found.push_back(entry.path());
    }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(WayIn, KeysOfEveryFindingAndEndingArriveWhereTheySay) {
  std::size_t findings = 0;
  std::size_t endings = 0;
  std::size_t linesPlayedTo = 0;
  std::size_t unreached = 0;
  for (const std::filesystem::path& path : Stories()) {
    SCOPED_TRACE(path.string());
    const Result<LoadedForCheck> read = LoadFileForCheck(path.string(), SourceEncoding::Utf8);
    ASSERT_TRUE(read.ok());
    const LoadedForCheck& loaded = read.value();
    if (!loaded.loaded || loaded.text.empty()) continue;
    const std::u16string& text = loaded.text;
    const StoryLines lines(text);
    for (const Diagnostic& diagnostic : CheckStoryText(text, {}).diagnostics) {
      if (!diagnostic.wayIn) continue;
      SCOPED_TRACE(diagnostic.message + " [" + std::string(diagnostic.check) + "] keys " + diagnostic.wayIn->keys);
      const Replayed replayed = Replay(text, lines, *diagnostic.wayIn);
      EXPECT_EQ(replayed.lastLine, static_cast<std::size_t>(diagnostic.line));
      EXPECT_EQ(replayed.flagsBeforeLast, diagnostic.wayIn->flags);
      EXPECT_FALSE(replayed.stoppedBeforeLast);
      ++findings;
    }
    if (!lines.Terminated(1)) continue;
    const WalkResult walk = WalkStory(text, kDefaultMaxStates);
    // The way in to a line, as `qsd play --to` plays it: every finding's line and every
    // ending's is shown by its last step, and a line the check calls unreached has none.
    const auto expectWayTo = [&](std::size_t line) {
      const Result<WayIn> way = WayInToLine(text, lines, walk, line);
      ASSERT_TRUE(way.ok()) << "line " << line << ": " << way.error().message;
      const Replayed replayed = Replay(text, lines, way.value());
      EXPECT_EQ(replayed.lastLine, line) << "keys " << way.value().keys;
      EXPECT_FALSE(replayed.stoppedBeforeLast);
      ++linesPlayedTo;
    };
    for (const Diagnostic& diagnostic : CheckStoryText(text, {}).diagnostics) {
      const auto line = static_cast<std::size_t>(diagnostic.line);
      if (diagnostic.check == "unreachable") {
        const Result<WayIn> way = WayInToLine(text, lines, walk, line);
        ASSERT_FALSE(way.ok()) << "line " << line;
        EXPECT_TRUE(way.error().message.starts_with("no state reaches line " + std::to_string(line) + ": "))
            << way.error().message;
        ++unreached;
      } else if (diagnostic.wayIn) {
        expectWayTo(line);
      }
    }
    for (const Ending& ending : FindEndings(text, lines, walk))
      if (ending.kind == EndingKind::End) expectWayTo(ending.line);
    for (const Ending& ending : FindEndings(text, lines, walk)) {
      SCOPED_TRACE(std::string(EndingKindName(ending.kind)) + " at line " + std::to_string(ending.line) + " keys " +
                   ending.way.keys);
      Replayed replayed = Replay(text, lines, ending.way);
      EXPECT_FALSE(replayed.stoppedBeforeLast);
      EXPECT_EQ(replayed.stopped, ending.kind != EndingKind::EndlessLoop);
      EXPECT_EQ(FlagsOf(replayed.story), ending.flags);
      if (ending.kind == EndingKind::End || ending.kind == EndingKind::MissingLabel ||
          ending.kind == EndingKind::EndlessLoop) {
        EXPECT_EQ(replayed.lastLine, ending.line);
      }
      // Down then goes round the loop's lines and never stops.
      for (std::size_t round = 0; ending.kind == EndingKind::EndlessLoop && round < 2 * ending.loop.size() + 4; ++round) {
        const std::size_t before = replayed.lastLine;
        Story& story = replayed.story;
        const std::int32_t at = story.ReadPos;
        const LineStep step = ReadNextLine(story);
        story.ReadPos = step.nextPos;
        ASSERT_FALSE(Stopped(story));
        const std::size_t line = lines.LineOf(static_cast<std::size_t>(at) - 1);
        if (step.shownText && std::find(ending.loop.begin(), ending.loop.end(), line) == ending.loop.end()) {
          // Only the empty step before a jump's label line shows no loop line.
          EXPECT_TRUE(step.shownText->empty()) << "left the loop at line " << line << " after " << before;
        }
      }
      ++endings;
    }
  }
  // The fixtures hold findings and endings of every kind; an empty run proves nothing.
  EXPECT_GT(findings, 50u);
  EXPECT_GT(endings, 40u);
  EXPECT_GT(linesPlayedTo, 80u);
  EXPECT_GT(unreached, 10u);
}

const Diagnostic& FindingOf(const std::vector<Diagnostic>& found, std::string_view check) {
  const auto it = std::find_if(found.begin(), found.end(), [&](const Diagnostic& d) { return d.check == check; });
  EXPECT_NE(it, found.end()) << check;
  return *it;
}

// The shortest way to line 3 sets A, which takes the first label; the fault is in the
// second, so its way in is the one that leaves A clear.
TEST(WayIn, AMissingLabelOfAJumpOnAFlagIsReachedWithTheFlagItNeeds) {
  const std::vector<Diagnostic> found =
      CheckStoryText(u"Start. ?? a,b\r\na :: AON\r\n[x] X. >>A[y],[gone]\r\nb >> [x]\r\n[y] :: END\r\n", {}).diagnostics;
  const Diagnostic& missing = FindingOf(found, "missing-label");
  ASSERT_TRUE(missing.wayIn);
  EXPECT_EQ(missing.wayIn->keys, "2dd");
  EXPECT_EQ(missing.wayIn->flags, 0);
}

// A walk cut short has not seen every line, so it cannot call one unreached.
TEST(WayIn, AWalkCutShortDoesNotClaimALineUnreached) {
  const std::u16string text = u"One. ?? a,b\r\na A. :: END\r\nb B. :: END\r\n";
  const StoryLines lines(text);
  const Result<WayIn> way = WayInToLine(text, lines, WalkStory(text, 1), 3);
  ASSERT_FALSE(way.ok());
  EXPECT_NE(way.error().message.find("not known"), std::string::npos) << way.error().message;
  EXPECT_TRUE(WayInToLine(text, lines, WalkStory(text, kDefaultMaxStates), 3).ok());
}

TEST(WayIn, SaysWhichFlagsMustArriveSet) {
  const std::vector<Diagnostic> found =
      CheckStoryText(u"Start. >>D[d],[e]\r\n[d] D. >> [gone]\r\n[e] :: END\r\n", {}).diagnostics;
  const Diagnostic& missing = FindingOf(found, "missing-label");
  ASSERT_TRUE(missing.wayIn);
  EXPECT_EQ(DescribeWayIn(*missing.wayIn),
            "reached by the keys dd, with D set, once flag D arrives set from an earlier story (qsd play --flags D --keys dd)");
}

// The oracle for traps: every reader state the engine reaches, stepped key by key, and
// those from which no stop and no loop of Down is reached. A story has a trap exactly
// when some are left, and the keys of each trap finding lead into them.
TEST(WayIn, TrapsAgreeWithTheEngineOnRandomStories) {
  const std::u16string labels[] = {u"", u"[a] ", u"[b] ", u"[c] "};
  const std::u16string parts[] = {u"Go ",      u"?? [a],[b] ", u"?? [c],[b] ", u">> [a]",     u">> [c]",
                                  u":: END",   u":: AON",      u">>A[b],[c]",  u"?? [d] ",     u"?? [b],[a] "};
  std::mt19937 random(27);
  std::size_t withTraps = 0;
  for (int round = 0; round < 400; ++round) {
    // The last line asks again, so that reading seldom runs off the end of the text.
    std::u16string text;
    for (int line = 2 + static_cast<int>(random() % 5); line > 0; --line) {
      text += labels[random() % std::size(labels)];
      for (int part = static_cast<int>(random() % 3); part > 0; --part) text += parts[random() % std::size(parts)];
      text += u"\r\n";
    }
    text += u"Again ?? [a],[b]\r\n";
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    using Key = std::tuple<std::int32_t, FlagBits, std::u16string>;
    std::map<Key, std::size_t> number;
    std::vector<Story> states;
    std::vector<std::vector<std::size_t>> next;
    std::vector<bool> ends;
    const auto add = [&](const Story& story) {
      const auto [at, added] = number.emplace(Key{story.ReadPos, FlagsOf(story), story.ChoiceList}, states.size());
      if (added) states.push_back(story);
      return at->second;
    };
    for (const int carried : {0, 8, 16, 24}) {
      Story start;
      start.StoryText = text;
      start.ReadPos = 1;
      SetFlags(start, static_cast<FlagBits>(carried));
      add(start);
    }
    for (std::size_t at = 0; at < states.size(); ++at) {
      next.emplace_back();
      ends.push_back(Stopped(states[at]));
      if (states[at].ChoiceList.empty()) {
        if (states[at].ReadPos <= 0) continue;
        Story after = states[at];
        after.ReadPos = ReadNextLine(after).nextPos;
        next[at].push_back(add(after));
        continue;
      }
      for (std::int32_t key = 0; key < 5; ++key) {
        Story after = states[at];
        ChooseBranch(after, key);
        next[at].push_back(add(after));
      }
    }
    // A state on a loop of Down comes back to itself by Down alone.
    for (std::size_t at = 0; at < states.size(); ++at) {
      std::size_t on = at;
      for (std::size_t step = 0; step <= states.size() && states[on].ChoiceList.empty() && !next[on].empty(); ++step) {
        on = next[on][0];
        if (on == at) ends[at] = true;
      }
    }
    for (bool grew = true; grew;) {
      grew = false;
      for (std::size_t at = 0; at < states.size(); ++at)
        for (const std::size_t to : next[at])
          if (!ends[at] && ends[to]) ends[at] = grew = true;
    }
    const bool trapped = std::find(ends.begin(), ends.end(), false) != ends.end();
    const StoryLines lines(text);
    const WalkResult walk = WalkStory(text, kDefaultMaxStates);
    ASSERT_TRUE(walk.complete);
    EXPECT_EQ(!walk.traps.empty(), trapped);
    withTraps += trapped;
    for (const TrapFound& trap : walk.traps) {
      const WayIn way = WayInOf(walk, trap.step);
      const Replayed replayed = Replay(text, lines, way);
      // A trap entered as the story loads begins at line 1, which may show nothing.
      EXPECT_EQ(way.keys.empty() ? 1 : replayed.lastLine, trap.line);
      const Story& story = replayed.story;
      EXPECT_FALSE(ends[number.at(Key{story.ReadPos, FlagsOf(story), story.ChoiceList})]);
    }
  }
  EXPECT_GT(withTraps, 10u);  // 15 of the 400 have one
}

}  // namespace
}  // namespace quillshade::qsd
