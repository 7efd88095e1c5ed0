#include "story/choice.h"

#include <gtest/gtest.h>

#include "story_test_util.h"

namespace quillshade {
namespace {

using test::StoryAt;

TEST(PickField, FieldsAreTakenExactlyAsTheyStand) {
  EXPECT_EQ(PickField(u"north,south,,east", 0), u"north");
  EXPECT_EQ(PickField(u"north,south,,east", 1), u"south");
  EXPECT_EQ(PickField(u"north,south,,east", 2), u"");
  EXPECT_EQ(PickField(u"north,south,,east", 3), u"east");
  EXPECT_EQ(PickField(u"north,south,,east", 4), u"");
  EXPECT_EQ(PickField(u"north,south,,east", -1), u"");
  EXPECT_EQ(PickField(u"yes, no", 1), u" no");
}

TEST(PickField, ShortAndEmptyLists) {
  EXPECT_EQ(PickField(u"", 0), u"");
  EXPECT_EQ(PickField(u"x,", 1), u"");
  EXPECT_EQ(PickField(u",x", 0), u"");
  EXPECT_EQ(PickField(u"solo", 0), u"solo");
  EXPECT_EQ(PickField(u"solo", 1), u"");
}

TEST(PickField, CommasFarIntoALongListWork) {
  const std::u16string far(70000, u'a');
  EXPECT_EQ(PickField(far + u"," + far + u",z", 2), u"z");
  EXPECT_EQ(PickField(far + u",b", 0), far);
}

TEST(FieldAt, TheFieldAroundAnOffset) {
  EXPECT_EQ(FieldAt(u"a,bc,,d", 0), u"a");
  EXPECT_EQ(FieldAt(u"a,bc,,d", 3), u"bc");
  EXPECT_EQ(FieldAt(u"a,bc,,d", 4), u"bc");  // the comma that ends it
  EXPECT_EQ(FieldAt(u"a,bc,,d", 5), u"");
  EXPECT_EQ(FieldAt(u"a,bc,,d", 6), u"d");
}

// What a key would do, worked out before it is pressed, is what pressing it does; the
// search and the index agree.
TEST(AnswerOf, SaysWhereChooseBranchGoesOn) {
  const Story start = StoryAt(u"A|Bx|B|");
  const LabelIndex labels(start.StoryText);
  for (std::int32_t key = 0; key < 3; ++key) {
    Story story = start;
    story.ChoiceList = u"B,,Q";
    const ChoiceAnswer answer = AnswerOf(story.StoryText, story.ChoiceList, key);
    const ChoiceAnswer indexed = AnswerOf(labels, story.ChoiceList, key);
    EXPECT_EQ(indexed.resumePos, answer.resumePos);
    EXPECT_EQ(indexed.labelLine, answer.labelLine);
    story.ReadPos = 7;
    ChooseBranch(story, key);
    EXPECT_EQ(ChoicePending(story.ChoiceList), !answer.Taken()) << key;
    if (answer.Taken()) {
      EXPECT_EQ(answer.resumePos, key == 0 ? 5 : 0) << key;  // the "x" of "Bx"; "Q" begins no line
      if (answer.resumePos == 0) {
        EXPECT_EQ(story.ReadPos, 0) << key;
      }
    }
  }
}

TEST(ChooseBranch, ContinuesOnTheLabelLineAfterTheLabel) {
  Story story = StoryAt(u"A|Bx|B|");
  story.ChoiceList = u"B";
  EXPECT_EQ(ChooseBranch(story, 0), u"x");
  EXPECT_EQ(story.ChoiceList, u"");
  EXPECT_EQ(story.ReadPos, 8);  // the third line
}

TEST(ChooseBranch, LabelAloneOnItsLineShowsAnEmptyCaption) {
  Story story = StoryAt(u"Q|east|go on|");
  story.ChoiceList = u"west,east";
  EXPECT_EQ(ChooseBranch(story, 1), u"");
  EXPECT_EQ(story.ReadPos, 10);
}

TEST(ChooseBranch, EmptyOrMissingFieldChangesNothing) {
  Story story = StoryAt(u"Q|east|", 4);
  story.ChoiceList = u"north,south,,east";
  EXPECT_EQ(ChooseBranch(story, 2), std::nullopt);
  EXPECT_EQ(ChooseBranch(story, 4), std::nullopt);
  EXPECT_EQ(story.ChoiceList, u"north,south,,east");
  EXPECT_EQ(story.ReadPos, 4);
  EXPECT_EQ(ChooseBranch(story, 3), u"");
}

TEST(ChooseBranch, LabelNotInTheStoryStopsIt) {
  Story story = StoryAt(u"yes first|Yes|", 5);
  story.ChoiceList = u"yes";  // case differs, and the first line is never a label line
  EXPECT_EQ(ChooseBranch(story, 0), std::nullopt);
  EXPECT_EQ(story.ChoiceList, u"");
  EXPECT_EQ(story.ReadPos, 0);
}

TEST(ChooseBranch, LabelLineWithoutLineBreakStops) {
  Story story = StoryAt(u"Q|end here");
  story.ChoiceList = u"end";
  EXPECT_EQ(ChooseBranch(story, 0), std::nullopt);
  EXPECT_EQ(story.ReadPos, 0);
}

TEST(ChooseBranch, ScriptOnTheLabelLineIsObeyed) {
  Story story = StoryAt(u"Q|a said :: AON ?? c,d|");
  story.ChoiceList = u"a";
  EXPECT_EQ(ChooseBranch(story, 0), u"said");
  EXPECT_EQ(story.FlagA, kTrue);
  EXPECT_EQ(story.ChoiceList, u"c,d");
}

TEST(ChooseBranch, EarliestLabelLineWinsWhereverReadingStands) {
  Story story = StoryAt(u"x|gone|Q|go|", 10);
  story.ChoiceList = u"go";
  EXPECT_EQ(ChooseBranch(story, 0), u"ne");
}

}  // namespace
}  // namespace quillshade
