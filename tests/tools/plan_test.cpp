// Plans: what is written is read back whole, a malformed line is named, and a replay finds the step and line that differ.
#include "tools/qsd/lib/plan.h"

#include <gtest/gtest.h>

#include <random>

#include "story/code_page.h"
#include "ui/form.h"

namespace quillshade::qsd {
namespace {

// Captions of any characters (controls, spaces at the ends, backslashes, astral and lone
// surrogates) come back as they were written.
TEST(Plan, WrittenCaptionsReadBackOnRandomText) {
  const std::u16string pieces[] = {u" ",  u"\\", u"\t", u"\r", u"\n", u"\x01", u"\x7F", u"#", u"load",
                                   u"扉", u"\xD83D\xDE00", u"\xD800", u"\xDC00", u"\\u{41}", u"a b", u"}"};
  std::mt19937 random(28);
  for (int round = 0; round < 300; ++round) {
    Plan plan;
    plan.arriving = static_cast<FlagBits>((random() % 4) << 3);
    for (int step = 0; step < 4; ++step) {
      std::u16string caption;
      for (int piece = static_cast<int>(random() % 6); piece > 0; --piece) caption += pieces[random() % std::size(pieces)];
      plan.steps.push_back({step == 0 ? '\0' : "d12345o"[random() % 7], caption});
    }
    const std::string written = FormatPlan(plan, "story.txt");
    SCOPED_TRACE(written);
    const Result<Plan> read = ParsePlan(written);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(read.value().arriving, plan.arriving);
    ASSERT_EQ(read.value().steps.size(), plan.steps.size());
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
      EXPECT_EQ(read.value().steps[i].key, plan.steps[i].key);
      EXPECT_EQ(read.value().steps[i].caption, plan.steps[i].caption);
    }
  }
}


// A window that draws nothing and whose open dialog is always cancelled.
class NoWindow final : public WindowPort {
 public:
  void SetCaption(std::u16string_view) override {}
  void SetBusyPointer(bool) override {}
  void SetWidthTwips(double) override {}
  void SetHeightTwips(double) override {}
  bool IsMinimized() const override { return false; }
  void Minimize() override {}
  void ShowMessage(std::u16string_view, std::optional<std::u16string_view>) override {}
  std::optional<std::filesystem::path> ShowOpenDialog(const OpenDialogSettings&) override { return std::nullopt; }
  void EndProgram() override {}
};

// The oracle is the reader's form: random keys on random stories, its captions written
// down as a plan, which the replay must pass.
TEST(Plan, AReplayPassesWhatTheFormShowedOnRandomStories) {
  const std::u16string labels[] = {u"", u"[a] ", u"[b] ", u"a ", u"b "};
  const std::u16string parts[] = {u"Go ",    u"?? a,b ", u"?? [a],[b],,x ", u">> [a]", u">> [c]", u":: END",
                                  u":: AON", u":: DON",  u">>A[b],[a]",     u">>D[a]", u"",       u"  "};
  std::mt19937 random(28);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    for (int line = static_cast<int>(random() % 6); line > 0; --line) {
      text += labels[random() % std::size(labels)];
      for (int part = static_cast<int>(random() % 3); part > 0; --part) text += parts[random() % std::size(parts)];
      if (random() % 8 != 0) text += u"\r\n";
    }
    NoWindow window;
    Form form(window, Cp932CodePage());
    form.readStoryFile = [&text](const std::filesystem::path&, const CodePage&) {
      return StoryFile{StoryFileStatus::Loaded, text};
    };
    Plan plan;
    plan.arriving = static_cast<FlagBits>((random() % 4) << 3);
    RunHandler(form, Form_Load);
    SetFlags(form.story, plan.arriving);
    RunHandler(form, [](Form& f) { OpenStory(f, "story"); });
    plan.steps.push_back({'\0', form.caption});
    for (int key = 0; key < 12; ++key) {
      const char pressed = "dddd12345o"[random() % 10];
      if (pressed == 'o') RunHandler(form, mnuFileOpen_Click);
      else Form_KeyDown(form, pressed == 'd' ? keys::kDown : keys::k1 + (pressed - '1'));
      plan.steps.push_back({pressed, form.caption});
    }
    const std::optional<PlanDifference> differs = ReplayPlan(text, plan);
    EXPECT_FALSE(differs) << std::string(text.begin(), text.end()) << " step " << differs->step << " got "
                          << std::string(differs->got.begin(), differs->got.end());
  }
}

TEST(Plan, AMalformedPlanNamesItsLine) {
  const std::pair<std::string_view, std::int64_t> malformed[] = {
      {"", 1},                                     // no steps
      {"# only a comment\n", 1},
      {"d  Down first.\n", 1},                     // the load comes first
      {"load A.\nload B.\n", 2},
      {"load A.\n\nx  B.\n", 3},
      {"load A.\nflags D\n", 2},                   // flags before the load
      {"flags A\nload A.\n", 1},                   // only D and E arrive
      {"load A \\q\n", 1},
      {"load A \\u{110000}\n", 1},
      {"load A \\u{12\n", 1},
      {"load \xFF\n", 1},
  };
  for (const auto& [text, line] : malformed) {
    const Result<Plan> plan = ParsePlan(text);
    ASSERT_FALSE(plan.ok()) << text;
    EXPECT_EQ(plan.error().place->line, line) << text << ": " << plan.error().message;
  }
  const Result<Plan> fine = ParsePlan("\xEF\xBB\xBF# comment\r\n  flags DE\r\nload\tA.  \r\nd\r\n");
  ASSERT_TRUE(fine.ok()) << fine.error().message;
  EXPECT_EQ(fine.value().arriving, 0b11000);
  EXPECT_EQ(fine.value().steps[0].caption, u"A.");
  EXPECT_EQ(fine.value().steps[1].caption, u"");
  EXPECT_EQ(fine.value().steps[1].planLine, 4u);
}

// The step that differs, and the story line that showed what the reader shows: read on
// to, answered (the label line), landed on by a jump, or left showing after the end.
TEST(Plan, AReplayNamesTheFirstStepThatDiffersAndItsLine) {
  const std::u16string text = u"Door. ?? in,out\r\nin Inside. >> [yard]\r\nout Outside.\r\n[yard] Yard. :: END\r\n";
  const auto differs = [&text](std::string_view plan) {
    const Result<Plan> read = ParsePlan(plan);
    EXPECT_TRUE(read.ok());
    return ReplayPlan(text, read.value());
  };
  EXPECT_FALSE(differs("load Door.\n1 Inside.\nd\nd Yard.\nd Yard.\n"));
  const auto wrong = differs("load Door.\n1 Inside.\nd\nd Yard.\nd Gone.\n");
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->step, 4u);
  EXPECT_EQ(wrong->planLine, 5u);
  EXPECT_EQ(wrong->storyLine, 4u);
  EXPECT_EQ(DescribeDifference(*wrong), "expected 'Gone.' got 'Yard.'");
  const auto landing = differs("load Door.\n1 Inside.\nd Yard.\n");
  ASSERT_TRUE(landing);
  EXPECT_EQ(landing->got, u"");
  EXPECT_EQ(landing->storyLine, 4u);
  const auto answered = differs("load Door.\n2 Inside.\n");
  ASSERT_TRUE(answered);
  EXPECT_EQ(answered->got, u"Outside.");
  EXPECT_EQ(answered->storyLine, 3u);
  // A story that does not load leaves the reader's first caption, which no line shows.
  const Result<Plan> plan = ParsePlan("load Door.\n");
  const auto unloaded = ReplayPlan(u"", plan.value());
  ASSERT_TRUE(unloaded);
  EXPECT_EQ(unloaded->step, 0u);
  EXPECT_EQ(unloaded->got, kStartCaption);
  EXPECT_EQ(unloaded->storyLine, 0u);
}

TEST(Plan, PlansBelongToTheStoryOfTheirStem) {
  EXPECT_TRUE(PlanBelongsTo("a/attic.plan", "a/attic.txt"));
  EXPECT_TRUE(PlanBelongsTo("attic.cellar.plan", "attic.qsd"));
  EXPECT_FALSE(PlanBelongsTo("attic2.plan", "attic.txt"));
  EXPECT_FALSE(PlanBelongsTo("attic..plan", "attic.txt"));
  EXPECT_FALSE(PlanBelongsTo("attic.txt", "attic.txt"));
}

}  // namespace
}  // namespace quillshade::qsd
