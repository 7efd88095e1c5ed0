// The line model: every part of a story line in its place, and where the line leads.
#include "story/script_line.h"

#include <gtest/gtest.h>

namespace quillshade {
namespace {

TEST(SplitScriptLine, EveryPartInItsPlace) {
  const ScriptLine line = SplitScriptLine(u"  [p] Hello >> [x] :: aon END ?? a, b  ");
  EXPECT_EQ(line.prefix.at, 2u);
  EXPECT_EQ(line.prefix.text, u"[p]");
  EXPECT_EQ(line.shown.text, u"Hello");
  EXPECT_EQ(line.shownWithJump.text, u"Hello >> [x]");
  EXPECT_EQ(line.jumpAt, 12u);
  EXPECT_EQ(line.jumpKind, JumpKind::Plain);
  EXPECT_EQ(line.jumpText.at, 15u);
  EXPECT_EQ(line.jumpText.text, u"[x]");
  EXPECT_EQ(line.commandsAt, 19u);
  EXPECT_EQ(line.commands.text, u"aon END");
  EXPECT_EQ(line.effects.keywordAt[0], 22u);   // AON
  EXPECT_EQ(line.effects.keywordAt[10], 26u);  // END
  EXPECT_EQ(line.effects.keywordAt[1], kAbsent);
  EXPECT_EQ(line.choiceAt, 30u);
  EXPECT_EQ(line.choiceList.at, 33u);
  EXPECT_EQ(line.choices[1].at, 35u);
  EXPECT_EQ(line.choices[1].text, u" b");
  EXPECT_FALSE(line.choices[2].Present());
}

TEST(SplitScriptLine, PartsAfterTheChoiceMarkerBelongToTheList) {
  const ScriptLine line = SplitScriptLine(u"Pick ?? a :: END >> b");
  EXPECT_EQ(line.choiceList.text, u"a :: END >> b");
  EXPECT_EQ(line.commandsAt, kAbsent);
  EXPECT_FALSE(line.HasJump());
  EXPECT_EQ(line.shown.text, u"Pick");
}

TEST(SplitScriptLine, PrefixWithoutCloseIsShown) {
  const ScriptLine line = SplitScriptLine(u"[open text");
  EXPECT_TRUE(line.unclosedPrefix);
  EXPECT_FALSE(line.prefix.Present());
  EXPECT_EQ(line.shown.text, u"[open text");
  EXPECT_FALSE(SplitScriptLine(u"x [not a prefix]").unclosedPrefix);
}

// The one prefix rule, asked of a label too: "[" first, up to the first "]".
TEST(LeadingPrefix, UpToTheFirstCloseOnlyWhenFirst) {
  EXPECT_EQ(LeadingPrefix(u"[a]b] c"), u"[a]");
  EXPECT_EQ(LeadingPrefix(u"[]"), u"[]");
  EXPECT_TRUE(LeadingPrefix(u"[open").empty());
  EXPECT_TRUE(LeadingPrefix(u" [x]").empty());
  EXPECT_TRUE(IsBracketedLabel(u"[go]"));
  EXPECT_FALSE(IsBracketedLabel(u"[a]b]"));  // its line hides "[a]" and shows "b]"
  EXPECT_FALSE(IsBracketedLabel(u"go]"));
  EXPECT_FALSE(IsBracketedLabel(u""));
}

// The kind is decided anywhere in the line; the labels begin one character after the
// first ">>", whatever that character is.
TEST(SplitScriptLine, JumpsOnFlags) {
  ScriptLine line = SplitScriptLine(u"Go >>B[x],[y]");
  EXPECT_EQ(line.jumpFlag, 1u);
  EXPECT_EQ(line.flagMarkerAt, 3u);
  EXPECT_EQ(line.jumpLabels[0].text, u"[x]");
  EXPECT_EQ(line.jumpLabels[1].at, 10u);
  line = SplitScriptLine(u"Go >> x,y >>C");
  EXPECT_EQ(line.jumpFlag, 2u);
  EXPECT_EQ(line.flagMarkerAt, 10u);
  EXPECT_EQ(line.jumpText.text, u"x,y >>C");
  line = SplitScriptLine(u"Go >>a[x]");
  EXPECT_EQ(line.jumpKind, JumpKind::Plain);
  EXPECT_EQ(line.jumpText.text, u"a[x]");
  // A, B.. are tested in order: >>A wins over an earlier >>E.
  EXPECT_EQ(SplitScriptLine(u">>E1,2 >>A").jumpFlag, 0u);
  // A later ">>B" makes the first ">>" a jump on B, its labels one character after it.
  line = SplitScriptLine(u"x >>go >>B l1,l2");
  EXPECT_EQ(line.jumpKind, JumpKind::OnFlag);
  EXPECT_EQ(line.JumpTextFrom(), 5u);
  EXPECT_EQ(line.jumpLabels[0].text, u"o >>B l1");
  EXPECT_EQ(SplitScriptLine(u"x >> go").JumpTextFrom(), 4u);
  EXPECT_EQ(FlagOfLowerCase(u'd'), 3u);
  EXPECT_EQ(FlagOfLowerCase(u'D'), kFlagCount);
  EXPECT_EQ(FlagOfLowerCase(u'f'), kFlagCount);
}

TEST(SplitScriptLine, EndShowsTheJumpToo) {
  EXPECT_EQ(SplitScriptLine(u"Hi >> x :: END").Showing().text, u"Hi >> x");
  EXPECT_EQ(SplitScriptLine(u"Hi >> x :: AON").Showing().text, u"Hi");
  EXPECT_EQ(SplitScriptLine(u"  plain  ").Showing().at, 2u);
}

TEST(SplitScriptLine, EmptyAndBlankLines) {
  for (const std::u16string_view text : {u"", u"   ", u"[]", u"[] "}) {
    const ScriptLine line = SplitScriptLine(text);
    EXPECT_TRUE(line.shown.text.empty());
    EXPECT_FALSE(line.HasJump());
    EXPECT_EQ(line.choiceAt, kAbsent);
  }
  EXPECT_EQ(SplitScriptLine(u">>").jumpText.text, u"");
  EXPECT_EQ(SplitScriptLine(u">>").jumpAt, 0u);
}

TEST(SplitScriptLine, KeywordsInAnyCaseInsideWords) {
  CommandEffects effects = SplitScriptLine(u"::done, weekend").effects;
  EXPECT_EQ(effects.sets, 1u << 3);
  EXPECT_TRUE(effects.ends);
  effects = SplitScriptLine(u"::AON aoff EON").effects;
  EXPECT_EQ(effects.sets, (1u << 0) | (1u << 4));
  EXPECT_EQ(effects.clears, 1u << 0);
  EXPECT_FALSE(effects.ends);
  EXPECT_EQ(SplitScriptLine(u"::").effects.sets, 0u);
}

TEST(ExitsOf, ChoicesThenEndThenJumpThenNextLine) {
  LineExits exits = ExitsOf(SplitScriptLine(u"Q >>x :: END ?? a,,b,c,d,e"), 0);
  EXPECT_TRUE(exits.choosing);
  EXPECT_EQ(exits.choices[2], u"b");
  EXPECT_EQ(exits.choices[1], u"");
  EXPECT_EQ(exits.down, Flow::End);
  exits = ExitsOf(SplitScriptLine(u">>Cyes,no"), 1u << 2);
  EXPECT_FALSE(exits.choosing);
  EXPECT_EQ(exits.down, Flow::Jump);
  EXPECT_EQ(exits.target, u"yes");
  EXPECT_EQ(exits.testedFlag, 2u);
  EXPECT_EQ(ExitsOf(SplitScriptLine(u">>Cyes"), 0).target, u"");  // no second label: the empty target
  EXPECT_EQ(ExitsOf(SplitScriptLine(u"plain ?? "), 0).down, Flow::NextLine);
}

}  // namespace
}  // namespace quillshade
