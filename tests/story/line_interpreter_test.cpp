#include "story/line_interpreter.h"

#include <gtest/gtest.h>

#include "story/text.h"
#include "story_test_util.h"

namespace quillshade {
namespace {

using test::Lines;
using test::StoryAt;

// Runs steps the way the Down key does, answering the last shown text.
std::u16string Step(Story& story) {
  LineStep step = ReadNextLine(story);
  story.ReadPos = step.nextPos;
  return std::u16string(step.shownText.value_or(u"<unchanged>"));
}

TEST(ReadNextLine, PlainLinesAreTrimmedAndReadInOrder) {
  Story story = StoryAt(u"  Hello  |||\tTab |");
  EXPECT_EQ(Step(story), u"Hello");
  EXPECT_EQ(story.ReadPos, 12);
  EXPECT_EQ(Step(story), u"");  // an empty line shows an empty caption
  EXPECT_EQ(Step(story), u"");
  EXPECT_EQ(Step(story), u"\tTab");  // only spaces are trimmed
  EXPECT_EQ(story.ReadPos, static_cast<std::int32_t>(story.StoryText.size()) + 1);
  EXPECT_EQ(Step(story), u"<unchanged>");
  EXPECT_EQ(story.ReadPos, 0);
}

TEST(ReadNextLine, LastLineWithoutLineBreakIsNeverShown) {
  Story story = StoryAt(u"one|two");
  EXPECT_EQ(Step(story), u"one");
  const LineStep step = ReadNextLine(story);
  EXPECT_EQ(step.nextPos, 0);
  EXPECT_FALSE(step.shownText);
}

TEST(ReadNextLine, StoppedOrOutOfTextChangesNothing) {
  for (const std::int32_t pos : {0, -5, 100}) {
    Story story = StoryAt(u"a ?? x,y :: AON|", pos);
    const LineStep step = ReadNextLine(story);
    EXPECT_EQ(step.nextPos, 0);
    EXPECT_FALSE(step.shownText);
    EXPECT_EQ(story.ChoiceList, u"");
    EXPECT_EQ(story.FlagA, 0);
  }
}

TEST(ReadNextLine, UnusualLineBreaksAreNoLineBreaks) {
  Story story = StoryAt(u"a\n\rb\rc\nd|");
  EXPECT_EQ(Step(story), u"a\n\rb\rc\nd");
}

TEST(ReadNextLine, BracketedPrefix) {
  Story story = StoryAt(u"[only]|[open no close|[a]][b] two| x [not first]|  [label] shown |");
  EXPECT_EQ(Step(story), u"");
  EXPECT_EQ(Step(story), u"[open no close");
  EXPECT_EQ(Step(story), u"][b] two");  // only up to the first "]"
  EXPECT_EQ(Step(story), u"x [not first]");
  EXPECT_EQ(Step(story), u"shown");
}

TEST(ReadNextLine, ChoiceList) {
  Story story = StoryAt(u"Pick ?? left , right |next|empty ??   |");
  EXPECT_EQ(Step(story), u"Pick");
  EXPECT_EQ(story.ChoiceList, u"left , right");
  story.ChoiceList = u"kept";
  EXPECT_EQ(Step(story), u"next");
  EXPECT_EQ(story.ChoiceList, u"kept");  // a line without "??" leaves it
  EXPECT_EQ(Step(story), u"empty");
  EXPECT_EQ(story.ChoiceList, u"");
}

TEST(ReadNextLine, MarkersAfterTheChoiceMarkerBelongToTheChoiceList) {
  Story story = StoryAt(u"Q ?? a::AON,b>>c|c|");
  EXPECT_EQ(Step(story), u"Q");
  EXPECT_EQ(story.ChoiceList, u"a::AON,b>>c");
  EXPECT_EQ(story.FlagA, 0);
  EXPECT_EQ(story.ReadPos, 19);  // no jump: the next line
}

TEST(ReadNextLine, CommandKeywordsAnyCaseAndInsideWords) {
  Story story = StoryAt(u"a :: done bon|b :: aon aoff Eon|c::CON COFF con|");
  EXPECT_EQ(Step(story), u"a");
  EXPECT_EQ(story.FlagD, kTrue);
  EXPECT_EQ(story.FlagB, kTrue);
  EXPECT_EQ(Step(story), u"b");
  EXPECT_EQ(story.FlagA, kFalse);  // clearing beats setting
  EXPECT_EQ(story.FlagE, kTrue);
  EXPECT_EQ(Step(story), u"c");
  EXPECT_EQ(story.FlagC, kFalse);
}

TEST(ReadNextLine, EndStopsAfterFlagsAndShowsTheUnfollowedJump) {
  Story story = StoryAt(u"Bye >>x :: weekend aon|x|");
  const LineStep step = ReadNextLine(story);
  EXPECT_EQ(step.nextPos, 0);
  EXPECT_EQ(step.shownText, u"Bye >>x");
  EXPECT_EQ(story.FlagA, kTrue);
}

TEST(ReadNextLine, JumpGoesToTheLineBreakBeforeTheLabelLine) {
  Story story = StoryAt(u"start >> [L1] |skipped|[L1] here|");
  EXPECT_EQ(Step(story), u"start");
  EXPECT_EQ(story.ReadPos, 24);  // the CR before "[L1] here"
  EXPECT_EQ(Step(story), u"");    // one empty step on that CR
  EXPECT_EQ(story.ReadPos, 26);
  EXPECT_EQ(Step(story), u"here");
}

// The toolkit asks the engine where a jump lands and what it reaches instead of
// stepping: its answers must agree with the reader's steps, broken last line or not.
TEST(ReadNextLine, JumpLandingAndReachAgreeWithTheSteps) {
  for (const std::u16string_view text : {u"go >> [L] |x|[L] here|", u"go >> [L] |x|[L] here"}) {
    Story story = StoryAt(text);
    const std::int32_t labelLine = FindLabelLine(story.StoryText, u"[L]");
    Step(story);
    EXPECT_EQ(story.ReadPos, labelLine);
    EXPECT_TRUE(IsJumpLanding(story.StoryText, story.ReadPos));
    EXPECT_EQ(Step(story), u"");
    EXPECT_EQ(story.ReadPos, LabelLineStart(labelLine));
    EXPECT_FALSE(IsJumpLanding(story.StoryText, story.ReadPos));
    const LineStep last = ReadNextLine(story);
    EXPECT_EQ(last.shownText.has_value(), ReachOf(story.StoryText, labelLine) == LabelReach::Shown);
    EXPECT_EQ(last.nextPos == 0, ReachOf(story.StoryText, labelLine) == LabelReach::Unbroken);
  }
  EXPECT_EQ(ReachOf(Lines(u"a|b|"), FindLabelLine(Lines(u"a|b|"), u"c")), LabelReach::Missing);
}

TEST(ReadNextLine, JumpTakesTheFirstLineThatBeginsWithTheTarget) {
  Story story = StoryAt(u"x|gone far|go >>go|go|");
  story.ReadPos = 14;
  EXPECT_EQ(Step(story), u"go");
  EXPECT_EQ(story.ReadPos, 2);  // "gone far" begins with "go" and comes first
}

TEST(ReadNextLine, JumpToAMissingTargetStopsAfterItsOtherEffects) {
  Story story = StoryAt(u"text >> nowhere :: BON ?? p,q|");
  const LineStep step = ReadNextLine(story);
  EXPECT_EQ(step.nextPos, 0);
  EXPECT_EQ(step.shownText, u"text");
  EXPECT_EQ(story.FlagB, kTrue);
  EXPECT_EQ(story.ChoiceList, u"p,q");
}

TEST(ReadNextLine, TargetOnlyOnTheFirstLineIsNeverFound) {
  Story story = StoryAt(u"top|>>top|");
  story.ReadPos = 6;
  EXPECT_EQ(Step(story), u"");
  EXPECT_EQ(story.ReadPos, 0);
}

TEST(ReadNextLine, EmptyTargetMatchesTheFirstLineBreak) {
  Story story = StoryAt(u"one|two|>>|");
  story.ReadPos = 11;
  EXPECT_EQ(Step(story), u"");
  EXPECT_EQ(story.ReadPos, 4);
  EXPECT_EQ(Step(story), u"");
  EXPECT_EQ(Step(story), u"two");
}

TEST(ReadNextLine, ConditionalJumpPicksByFlag) {
  Story story = StoryAt(u"go >>Ayes,no|yes|no|");
  EXPECT_EQ(Step(story), u"go");
  EXPECT_EQ(story.ReadPos, 18);  // flag A false: "no"
  story.FlagA = kTrue;
  story.ReadPos = 1;
  Step(story);
  EXPECT_EQ(story.ReadPos, 13);
}

TEST(ReadNextLine, FlagCommandsActBeforeTheJumpOfTheirLine) {
  Story story = StoryAt(u"go >>Ayes,no :: AON|no|yes|");
  Step(story);
  EXPECT_EQ(story.ReadPos, 24);
}

TEST(ReadNextLine, SecondLabelMissingOrSpacedIsTakenAsItStands) {
  Story story = StoryAt(u"a >>Bonly|b >>Cx, y|x| y|");
  EXPECT_EQ(Step(story), u"a");
  EXPECT_EQ(story.ReadPos, 10);  // missing second label: empty target, the first line break
  story.ReadPos = 12;
  EXPECT_EQ(Step(story), u"b");
  EXPECT_EQ(story.ReadPos, 24);  // " y" begins with a space
}

TEST(ReadNextLine, LowerCaseLetterMakesAPlainJump) {
  Story story = StoryAt(u"s >>ayes|yes|ayes|");
  Step(story);
  EXPECT_EQ(story.ReadPos, 14);
}

TEST(ReadNextLine, KindIsDecidedAnywhereButLabelsStartAfterTheFirstJumpMarker) {
  // ">>D" later in the line makes the jump conditional on D; the labels are read from
  // one character after the first ">>", which skips the "Q".
  Story story = StoryAt(u"s >>Qt,u >>D|t,u >>D|u >>D|");
  EXPECT_EQ(Step(story), u"s");
  EXPECT_EQ(story.ReadPos, 22);  // D false: field 1, "u >>D"
  story.FlagD = kTrue;
  story.ReadPos = 1;
  Step(story);
  EXPECT_EQ(story.ReadPos, 13);  // field 0, "t"
}

TEST(ReadNextLine, LineOfOnlyAJumpShowsAnEmptyCaption) {
  Story story = StoryAt(u">>x|x|");
  EXPECT_EQ(Step(story), u"");
  EXPECT_EQ(story.ReadPos, 4);
}

TEST(ReadNextLine, ChoiceWithEndStaysPendingWhileStopped) {
  Story story = StoryAt(u"Q :: END ?? a,b|a|");
  EXPECT_EQ(Step(story), u"Q");
  EXPECT_EQ(story.ReadPos, 0);
  EXPECT_EQ(story.ChoiceList, u"a,b");
}

TEST(ReadNextLine, MarkersFarIntoALongLineWork) {
  // Positions beyond 16 bits behave like any other.
  const std::u16string filler(40000, u'x');
  Story story = StoryAt(u"[" + filler + u"]" + filler + u" >>A t, u ?? " + filler + u" :: AON|t|");
  const LineStep step = ReadNextLine(story);
  EXPECT_EQ(step.shownText, filler);
  EXPECT_EQ(story.ChoiceList, filler + u" :: AON");
  EXPECT_EQ(story.FlagA, kFalse);
  EXPECT_EQ(step.nextPos, 0);  // " u" begins no line
}

}  // namespace
}  // namespace quillshade
