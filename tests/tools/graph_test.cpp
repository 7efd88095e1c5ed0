// The story graph: folded runs of lines and the edges between them.
#include "tools/qsd/lib/graph.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillshade::qsd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(StoryGraphDot, FoldsRunsOfPlainLinesUntilALabelLine) {
  const std::string dot = StoryGraphDot(u"One.\r\nTwo.\r\nThree. >> [x]\r\nSkipped.\r\n[x] Four.\r\nFive.\r\n", "s");
  // Lines 1-3 make one node; line 4 starts one after the jump; [x] is entered by it.
  EXPECT_THAT(dot, HasSubstr("n1 [label=\"1: One.\\n(+2 lines)\"];"));
  // No state reaches line 4: it is drawn grey and dashed.
  EXPECT_THAT(dot, HasSubstr("n4 [label=\"4: Skipped.\", style=\"rounded,dashed\", color=gray, fontcolor=gray];"));
  EXPECT_THAT(dot, HasSubstr("n5 [label=\"5: [x] Four.\\n(+1 line)\"];"));
  EXPECT_THAT(dot, HasSubstr("n1 -> n5 [style=bold];"));
  EXPECT_THAT(dot, HasSubstr("n4 -> n5;"));
  EXPECT_THAT(dot, HasSubstr("n5 -> stop;"));
  EXPECT_THAT(dot, Not(HasSubstr("n2 ")));
}

TEST(StoryGraphDot, ChoicesConditionalJumpsAndEnd) {
  const std::string dot = StoryGraphDot(
      u"Start. ?? yes,,no\r\nyes Good. :: AON\r\nThen. >>A[a],[b]\r\nno Bad.\r\n[a] A. :: END\r\n[b] B. :: DON END\r\n",
      "s");
  EXPECT_THAT(dot, HasSubstr("n1 -> n2 [label=\"1: yes\"];"));
  EXPECT_THAT(dot, HasSubstr("n1 -> n4 [label=\"3: no\"];"));  // key 2 is empty: no edge
  EXPECT_THAT(dot, Not(HasSubstr("label=\"2: \"")));
  EXPECT_THAT(dot, HasSubstr("n2 [label=\"2: yes Good.\\n:: AON\"];"));
  EXPECT_THAT(dot, HasSubstr("n3 -> n5 [style=bold, label=\"A true\"];"));
  EXPECT_THAT(dot, HasSubstr("n3 -> n6 [style=bold, label=\"A false\"];"));
  EXPECT_THAT(dot, HasSubstr("n5 -> end;"));
  EXPECT_THAT(dot, HasSubstr("n6 -> end;"));
  EXPECT_THAT(dot, HasSubstr("end [shape=doublecircle"));
  // The shortest way to line 5's END answers "no" and reads on; A is always set on the
  // way to line 3, so line 6 is never reached.
  EXPECT_THAT(dot, HasSubstr("n5 [label=\"5: [a] A.\\n:: END\", tooltip=\"END by the keys 3d\"];"));
  EXPECT_THAT(dot, HasSubstr("n6 [label=\"6: [b] B.\\n:: DON END\", style=\"rounded,dashed\""));
}

TEST(StoryGraphDot, MissingLabelsGetANodeOfTheirOwn) {
  const std::string dot = StoryGraphDot(u"Start. >> [gone]\r\nNext. >> [gone]\r\n", "s");
  EXPECT_THAT(dot, HasSubstr("n1 -> missing1 [style=bold];"));
  EXPECT_THAT(dot, HasSubstr("n2 -> missing1 [style=bold];"));
  EXPECT_THAT(dot, HasSubstr("missing1 [shape=box, style=dashed, color=red, label=\"no line begins with\\n'[gone]'\"];"));
}

TEST(StoryGraphDot, AJumpToTheUnbrokenLastLineSaysWhyItLeadsNowhere) {
  const std::string dot = StoryGraphDot(u"Go on >> [fin]\r\n[fin] Done. :: END", "s");
  EXPECT_THAT(dot, HasSubstr("n1 -> missing1 [style=bold];"));
  EXPECT_THAT(dot, HasSubstr("label=\"line 2 begins with\\n'[fin]'\\nbut has no line break after it\"];"));
}

TEST(StoryGraphDot, AnEmptyTargetGoesToLineTwoAsTheReaderDoes) {
  const std::string dot = StoryGraphDot(u"One.\r\nTwo. >>\r\n", "s");
  EXPECT_THAT(dot, HasSubstr("n2 -> n2 [style=bold];"));
}

TEST(StoryGraphDot, QuotesAndBackslashesAreEscaped) {
  const std::string dot = StoryGraphDot(u"Say \"hi\" \\ bye.\r\n", "a \"title\"");
  EXPECT_THAT(dot, HasSubstr("label=\"1: Say \\\"hi\\\" \\\\ bye.\""));
  EXPECT_THAT(dot, HasSubstr("graph [label=\"a \\\"title\\\"\""));
}

TEST(StoryGraphDot, TheLastLineWithoutLineBreakIsNoNode) {
  const std::string dot = StoryGraphDot(u"One. :: AON\r\nNever shown.", "s");
  EXPECT_THAT(dot, HasSubstr("n1 -> stop;"));
  EXPECT_THAT(dot, Not(HasSubstr("Never shown")));
}

TEST(StoryGraphDot, StopsAtItsNodeLimitAndCountsWhatItLeftOut) {
  const StoryGraph graph =
      BuildStoryGraph(u"One. >> [x]\r\nTwo.\r\n[x] Three.\r\nFour. >> [x]\r\nFive. :: END\r\n", "s", 2);
  EXPECT_EQ(graph.leftOut.nodes, 2u);
  EXPECT_EQ(graph.leftOut.lines, 3u);
  EXPECT_THAT(graph.dot, HasSubstr("n1 -> more [style=bold];"));
  EXPECT_THAT(graph.dot, HasSubstr("n2 -> more;"));
  EXPECT_THAT(graph.dot, HasSubstr("more [shape=note, color=gray, label=\"2 more nodes\\n(3 lines)\\nleft out\"];"));
  EXPECT_THAT(graph.dot, Not(HasSubstr("n3 ")));
}

// The label index and the edges are made on second threads; on one thread, as when none
// can be started, they are made when the node loop asks for them, and the graph must
// not change. Many scenes, so that both threads are at work at once.
TEST(BuildStoryGraph, OneThreadDrawsWhatTwoDraw) {
  std::u16string text = u"Start. ?? [s1],[s2],,[gone]\r\n";
  for (int scene = 1; scene <= 400; ++scene) {
    const std::u16string label = u"[s" + std::u16string(1, static_cast<char16_t>(u'0' + scene % 10)) +
                                 std::u16string(1, static_cast<char16_t>(u'a' + scene / 10 % 26)) + u"]";
    text += label + u" Scene. :: AON\r\nOn.\r\nThen. >>A[s2],[s" + std::u16string(1, static_cast<char16_t>(u'0' + scene % 7)) +
            u"a]\r\n" + (scene % 5 ? u"Past. >> [lost]\r\n" : u"Stop. :: END\r\n");
  }
  for (const std::size_t limit : {kGraphNodeLimit, std::size_t{50}}) {
    const StoryGraph two = BuildStoryGraph(text, "s", limit, Threads::Two);
    const StoryGraph one = BuildStoryGraph(text, "s", limit, Threads::One);
    EXPECT_EQ(one.dot, two.dot) << "limit " << limit;
    EXPECT_EQ(one.leftOut.nodes, two.leftOut.nodes) << "limit " << limit;
    EXPECT_THAT(one.dot, HasSubstr("missing2"));
  }
}

}  // namespace
}  // namespace quillshade::qsd
