// Splitting a story line into its script parts, as the line interpreter reads it.
#include "story/script_line.h"

#include <gtest/gtest.h>

namespace quillshade {
namespace {

TEST(SplitScriptLine, EveryPartInItsPlace) {
  const std::u16string_view line = u"  [p] Hello >> [x] :: aon END ?? a, b  ";
  const ScriptLine parts = SplitScriptLine(line);
  EXPECT_EQ(parts.prefixEnd, 5u);
  EXPECT_EQ(parts.shown, u"Hello");
  EXPECT_EQ(parts.shownWithJump, u"Hello >> [x]");
  EXPECT_EQ(parts.jumpAt, 12u);
  EXPECT_EQ(parts.conditionalFlag, -1);
  EXPECT_EQ(parts.jumpText, u"[x]");
  EXPECT_EQ(parts.commandsAt, 19u);
  EXPECT_EQ(parts.commands, u"aon END");
  EXPECT_EQ(parts.choiceAt, 30u);
  EXPECT_EQ(parts.choiceList, u"a, b");
  EXPECT_EQ(OffsetIn(line, parts.choiceList), 33u);
}

TEST(SplitScriptLine, PartsAfterTheChoiceMarkerBelongToTheList) {
  const ScriptLine parts = SplitScriptLine(u"Pick ?? a :: END >> b");
  EXPECT_EQ(parts.choiceList, u"a :: END >> b");
  EXPECT_EQ(parts.commandsAt, kAbsent);
  EXPECT_EQ(parts.jumpAt, kAbsent);
  EXPECT_EQ(parts.shown, u"Pick");
}

TEST(SplitScriptLine, PrefixWithoutCloseIsShown) {
  const ScriptLine parts = SplitScriptLine(u"[open text");
  EXPECT_TRUE(parts.unclosedPrefix);
  EXPECT_EQ(parts.prefixEnd, kAbsent);
  EXPECT_EQ(parts.shown, u"[open text");
  EXPECT_FALSE(SplitScriptLine(u"x [not a prefix]").unclosedPrefix);
}

// The kind is decided anywhere in the line; the labels begin one character after the
// first ">>", whatever that character is.
TEST(SplitScriptLine, ConditionalJumps) {
  ScriptLine parts = SplitScriptLine(u"Go >>B[x],[y]");
  EXPECT_EQ(parts.conditionalFlag, 1);
  EXPECT_EQ(parts.conditionalAt, 3u);
  EXPECT_EQ(parts.jumpText, u"[x],[y]");
  parts = SplitScriptLine(u"Go >> x,y >>C");
  EXPECT_EQ(parts.conditionalFlag, 2);
  EXPECT_EQ(parts.conditionalAt, 10u);
  EXPECT_EQ(parts.jumpText, u"x,y >>C");
  parts = SplitScriptLine(u"Go >>a[x]");
  EXPECT_EQ(parts.conditionalFlag, -1);
  EXPECT_EQ(parts.jumpText, u"a[x]");
  // A, B.. are tested in order: >>A wins over an earlier >>E.
  EXPECT_EQ(SplitScriptLine(u">>E1,2 >>A").conditionalFlag, 0);
}

TEST(SplitScriptLine, EmptyAndBlankLines) {
  for (const std::u16string_view line : {u"", u"   ", u"[]", u"[] "}) {
    const ScriptLine parts = SplitScriptLine(line);
    EXPECT_TRUE(parts.shown.empty());
    EXPECT_EQ(parts.jumpAt, kAbsent);
    EXPECT_EQ(parts.choiceAt, kAbsent);
  }
  EXPECT_EQ(SplitScriptLine(u">>").jumpText, u"");
  EXPECT_EQ(SplitScriptLine(u">>").jumpAt, 0u);
}

TEST(ReadCommands, KeywordsInAnyCaseInsideWords) {
  CommandEffects effects = ReadCommands(u"done, weekend");
  EXPECT_EQ(effects.sets, 1u << 3);
  EXPECT_TRUE(effects.ends);
  effects = ReadCommands(u"AON aoff EON");
  EXPECT_EQ(effects.sets, (1u << 0) | (1u << 4));
  EXPECT_EQ(effects.clears, 1u << 0);
  EXPECT_FALSE(effects.ends);
  EXPECT_EQ(ReadCommands(u"").sets, 0u);
}

}  // namespace
}  // namespace quillshade
