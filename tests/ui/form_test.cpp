#include "ui/form.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "fake_window.h"
#include "story/encode.h"

namespace quillshade {
namespace {

namespace fs = std::filesystem;
using test::FakeWindow;

// A story file of ASCII text, "|" standing for a line break (codes 13 10).
std::string Codes(std::string_view text) {
  std::u16string story;
  for (const char c : text) story += c == '|' ? u"\r\n" : std::u16string(1, static_cast<char16_t>(c));
  return EncodeStory(story).codes;
}

class FormTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qsd_form_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    Form_Load(form_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path StoryFile(const std::string& name, std::string_view content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  // Opens a story through the dialog, the way the Open command does.
  void Open(const std::optional<fs::path>& answer) {
    window_.dialogAnswers.push_back(answer);
    mnuFileOpen_Click(form_);
  }
  void Press(int keyCode) { Form_KeyDown(form_, keyCode); }

  fs::path dir_;
  FakeWindow window_;
  Form form_{window_, Cp932CodePage()};
};

TEST(TwipsToPixels, ConvertsAtTheGivenDpi) {
  EXPECT_EQ(TwipsToPixels(6750, 96), 450);
  EXPECT_EQ(TwipsToPixels(6750, 144), 675);
  EXPECT_EQ(TwipsToPixels(6750, 120), 563);  // 562.5 rounds up
  EXPECT_EQ(TwipsToPixels(6750, 192), 900);
  EXPECT_EQ(TwipsToPixels(0, 96), 0);
}

TEST_F(FormTest, LoadMakesATitleBarWideWindowWithTheStartCaption) {
  EXPECT_EQ(window_.width, 6750);
  EXPECT_EQ(window_.height, 0);
  EXPECT_EQ(form_.caption, u"Quillshade Ver.2.0");
  EXPECT_EQ(window_.captions, std::vector<std::u16string>{u"Quillshade Ver.2.0"});
}

TEST_F(FormTest, AtStartOnlyDownActsAndItOpensTheDialog) {
  for (const int key : {49, 53, 97, 38, 13, 0x4F}) Press(key);
  EXPECT_TRUE(window_.dialogs.empty());
  Press(keys::kDown);
  ASSERT_EQ(window_.dialogs.size(), 1u);
  const OpenDialogSettings& dialog = window_.dialogs[0];
  EXPECT_EQ(dialog.title, u"ファイルを開く");
  EXPECT_EQ(dialog.filterDescription, u"Quillshadeファイル(*.qsd)");
  EXPECT_EQ(dialog.filterPattern, u"*.qsd");
  EXPECT_EQ(dialog.filterIndex, 1);
  EXPECT_EQ(dialog.fileName, u"");
  EXPECT_TRUE(dialog.hideReadOnly);
}

TEST_F(FormTest, SuccessfulLoadShowsTheFirstLineUnderABusyPointer) {
  window_.captions.clear();
  window_.captionWhileBusy.clear();
  Open(StoryFile("a.qsd", Codes("[x] First|Second|")));
  EXPECT_EQ(window_.captions, (std::vector<std::u16string>{u"Now Loading...", u"First"}));
  EXPECT_EQ(window_.captionWhileBusy, (std::vector<bool>{true, false}));
  EXPECT_FALSE(window_.busy);
  EXPECT_TRUE(window_.messages.empty());
  EXPECT_EQ(form_.story.ReadPos, 12);
  Press(keys::kDown);
  EXPECT_EQ(form_.caption, u"Second");
}

TEST_F(FormTest, LoadResetsFlagsAToCButKeepsDAndEAndAPendingChoice) {
  Open(StoryFile("one.qsd", Codes("Set :: AON BON CON DON EON ?? go,stay|")));
  ASSERT_EQ(form_.story.ChoiceList, u"go,stay");
  Open(StoryFile("two.qsd", Codes("New story|go on|")));
  EXPECT_EQ(form_.caption, u"New story");
  EXPECT_EQ(form_.story.FlagA, 0);
  EXPECT_EQ(form_.story.FlagB, 0);
  EXPECT_EQ(form_.story.FlagC, 0);
  EXPECT_EQ(form_.story.FlagD, -1);
  EXPECT_EQ(form_.story.FlagE, -1);
  EXPECT_EQ(form_.story.ChoiceList, u"go,stay");
  Press(keys::kDown);  // a pending choice ignores Down
  EXPECT_EQ(form_.caption, u"New story");
  Press(49);  // and looks its label up in the new story
  EXPECT_EQ(form_.caption, u"on");
}

TEST_F(FormTest, OpenStoryLoadsAsFileOpenDoesWithoutTheDialog) {
  Open(StoryFile("one.qsd", Codes("Set :: AON DON ?? go,stay|")));
  window_.captions.clear();
  OpenStory(form_, StoryFile("two.qsd", Codes("New story|go on|")));
  EXPECT_EQ(window_.dialogs.size(), 1u);
  EXPECT_EQ(window_.captions, (std::vector<std::u16string>{u"Now Loading...", u"New story"}));
  EXPECT_EQ(form_.story.FlagA, kFalse);
  EXPECT_EQ(form_.story.FlagD, kTrue);
  EXPECT_EQ(form_.story.ChoiceList, u"go,stay");
  OpenStory(form_, dir_ / "missing.qsd");
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_EQ(window_.messages[0].text, u"ファイルが開けません");
  EXPECT_EQ(form_.caption, u"New story");
}

TEST_F(FormTest, CancelChangesNothing) {
  Open(StoryFile("a.qsd", Codes("Line :: AON ?? x|")));
  const Story before = form_.story;
  const std::size_t captions = window_.captions.size();
  Open(std::nullopt);
  EXPECT_EQ(form_.story.StoryText, before.StoryText);
  EXPECT_EQ(form_.story.ReadPos, before.ReadPos);
  EXPECT_EQ(form_.story.ChoiceList, before.ChoiceList);
  EXPECT_EQ(form_.story.FlagA, before.FlagA);
  EXPECT_EQ(window_.captions.size(), captions);
  EXPECT_TRUE(window_.messages.empty());
}

TEST_F(FormTest, EveryFailedLoadKeepsTheStoryAndReports) {
  Open(StoryFile("good.qsd", Codes("Hello :: AON|World|")));
  const Story before = form_.story;
  const std::vector<fs::path> failures{
      dir_ / "missing.qsd", dir_, "/dev/zero", StoryFile("empty.qsd", ""), fs::path(),  // a failed dialog
      StoryFile("junk.qsd", "abc x1 65536 \x01\x02"), StoryFile("blank.qsd", "\r\n  \r\n"),
  };
  for (const fs::path& path : failures) {
    window_.messages.clear();
    Open(path);
    ASSERT_EQ(window_.messages.size(), 1u) << path;
    EXPECT_EQ(window_.messages[0].text, u"ファイルが開けません");
    EXPECT_EQ(window_.messages[0].title, u"エラー");
    EXPECT_EQ(form_.caption, u"Hello") << path;
    EXPECT_EQ(window_.Caption(), u"Hello");
    EXPECT_FALSE(window_.busy);
    EXPECT_EQ(form_.story.StoryText, before.StoryText);
    EXPECT_EQ(form_.story.ReadPos, before.ReadPos);
    EXPECT_EQ(form_.story.FlagA, -1);
  }
  Press(keys::kDown);
  EXPECT_EQ(form_.caption, u"World");
}

TEST_F(FormTest, FailedLoadAtStartLeavesNoStorySoDownOpensAgain) {
  Open(dir_ / "missing.qsd");
  EXPECT_EQ(form_.caption, u"Quillshade Ver.2.0");
  window_.dialogs.clear();
  Press(keys::kDown);
  EXPECT_EQ(window_.dialogs.size(), 1u);
}

TEST_F(FormTest, StoryWithoutLineBreakStopsAtOnce) {
  Open(StoryFile("flat.qsd", Codes("no break")));
  EXPECT_EQ(form_.caption, u"Now Loading...");
  EXPECT_EQ(form_.story.ReadPos, 0);
  window_.dialogs.clear();
  Press(keys::kDown);
  EXPECT_TRUE(window_.dialogs.empty());
  EXPECT_EQ(form_.caption, u"Now Loading...");
}

TEST_F(FormTest, SpaceMinimisesInEveryConditionAndKeepsAChoice) {
  Press(keys::kSpace);
  EXPECT_EQ(window_.minimizeCalls, 1);
  Press(keys::kSpace);
  EXPECT_EQ(window_.minimizeCalls, 1);  // already minimised
  window_.minimized = false;
  Open(StoryFile("c.qsd", Codes("Q ?? a,b,c|c here|")));
  Press(keys::kSpace);
  EXPECT_EQ(window_.minimizeCalls, 2);
  EXPECT_EQ(form_.story.ChoiceList, u"a,b,c");
}

TEST_F(FormTest, ChoiceKeysOnBothKeyboardsAndOthersIgnored) {
  Open(StoryFile("c.qsd", Codes("Q ?? a,b,c|c here|")));
  for (const int key : {54, 48, 102, 96, 39, 38, keys::kDown, 0x43}) Press(key);
  EXPECT_EQ(form_.caption, u"Q");
  EXPECT_EQ(form_.story.ChoiceList, u"a,b,c");
  Press(99);  // keypad 3
  EXPECT_EQ(form_.caption, u"here");
  EXPECT_EQ(form_.story.ChoiceList, u"");
}

TEST_F(FormTest, AfterEndDownChangesNothing) {
  Open(StoryFile("e.qsd", Codes("Last :: END|more|")));
  const std::size_t captions = window_.captions.size();
  for (int i = 0; i < 3; ++i) Press(keys::kDown);
  EXPECT_EQ(window_.captions.size(), captions);
  EXPECT_EQ(form_.story.ReadPos, 0);
  EXPECT_TRUE(window_.dialogs.size() == 1);
}

TEST_F(FormTest, VersionBoxLeavesTheStoryAsItWas) {
  Open(StoryFile("v.qsd", Codes("Q ?? a|a yes|")));
  mnuHelpVer_Click(form_);
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_EQ(window_.messages[0].text.substr(0, 23), u"Quillshade Ver.2.01\r\n\r\n");
  EXPECT_GT(window_.messages[0].text.size(), 23u);
  EXPECT_FALSE(window_.messages[0].title);
  EXPECT_EQ(form_.story.ChoiceList, u"a");
  Press(49);
  EXPECT_EQ(form_.caption, u"yes");
}

TEST_F(FormTest, HandlerThatThrowsChangesNothingAndIsReported) {
  Open(StoryFile("g.qsd", Codes("First|Q ?? a|a yes|")));
  RunHandler(form_, [](Form& form) {
    form.story.ReadPos = 99;
    form.story.ChoiceList = u"x";
    form.story.FlagE = kTrue;
    form.window.SetBusyPointer(true);
    form.caption = u"half done";
    throw std::runtime_error("disk on fire");
  });
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_EQ(window_.messages[0].text, u"予期しないエラーが起きました。読んでいた物語はそのままです。\r\n\r\ndisk on fire");
  EXPECT_FALSE(window_.messages[0].title);
  EXPECT_EQ(window_.Caption(), u"First");
  EXPECT_EQ(form_.story.ReadPos, 8);
  EXPECT_EQ(form_.story.ChoiceList, u"");
  EXPECT_EQ(form_.story.FlagE, kFalse);
  EXPECT_FALSE(window_.busy);
  RunHandler(form_, [](Form& form) { Form_KeyDown(form, keys::kDown); });
  EXPECT_EQ(form_.caption, u"Q");
}

TEST_F(FormTest, LoadThatFailsOnItsFirstLineKeepsTheOldStory) {
  Open(StoryFile("old.qsd", Codes("Old :: AON|")));
  const std::u16string oldText = form_.story.StoryText;
  window_.onCaption = [](std::u16string_view caption) {
    if (caption == u"New") throw std::bad_alloc();
  };
  window_.dialogAnswers.push_back(StoryFile("new.qsd", Codes("New|")));
  RunHandler(form_, mnuFileOpen_Click);
  EXPECT_EQ(form_.story.StoryText, oldText);
  EXPECT_EQ(form_.story.FlagA, kTrue);
  EXPECT_EQ(form_.caption, u"Old");
  EXPECT_EQ(window_.messages.size(), 1u);
}

TEST_F(FormTest, ExitEndsTheProgram) {
  mnuFileClose_Click(form_);
  EXPECT_TRUE(window_.ended);
}

}  // namespace
}  // namespace quillshade
