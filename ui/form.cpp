// frmMain's handlers: the keys, the Open command, the version box and Exit.
#include "ui/form.h"

#include <array>
#include <utility>

#include "story/choice.h"
#include "story/line_interpreter.h"
#include "story/story_file.h"
#include "story/utf8.h"

namespace quillshade {
namespace {

// The one place where the caption is set, so the form always knows what it shows.
void ShowCaption(Form& form, std::u16string_view caption) {
  form.caption = caption;
  form.window.SetCaption(caption);
}

void ShowIfAny(Form& form, const std::optional<std::u16string>& shownText) {
  if (shownText) ShowCaption(form, *shownText);
}

void ReadOn(Form& form) {
  LineStep step = ReadNextLine(form.story);
  form.story.ReadPos = step.nextPos;
  ShowIfAny(form, step.shownText);
}

// Turns the hourglass off on every way out of a load, exceptions included.
class BusyPointer {
 public:
  explicit BusyPointer(WindowPort& window) : window_(window) { window_.SetBusyPointer(true); }
  ~BusyPointer() { window_.SetBusyPointer(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  WindowPort& window_;
};

}  // namespace

int ChoiceIndexOfKey(int keyCode) {
  constexpr int kKeys = static_cast<int>(kChoiceKeyCount);
  if (keyCode >= keys::k1 && keyCode < keys::k1 + kKeys) return keyCode - keys::k1;
  if (keyCode >= keys::kNumpad1 && keyCode < keys::kNumpad1 + kKeys) return keyCode - keys::kNumpad1;
  return -1;
}

void Form_Load(Form& form) {
  form.window.SetWidthTwips(kStartWidthTwips);
  form.window.SetHeightTwips(kStartHeightTwips);
}

void Form_KeyDown(Form& form, int keyCode, int /*shift*/) {
  // Space wins in every condition, also while a choice is pending, which stays pending.
  if (keyCode == keys::kSpace) {
    if (!form.window.IsMinimized()) form.window.Minimize();
    return;
  }
  if (!form.story.ChoiceList.empty()) {
    const int choice = ChoiceIndexOfKey(keyCode);
    if (choice >= 0) ShowIfAny(form, ChooseBranch(form.story, choice));
    return;
  }
  if (keyCode != keys::kDown) return;
  if (!form.story.StoryText.empty()) {
    ReadOn(form);
  } else {
    mnuFileOpen_Click(form);
  }
}

void mnuFileOpen_Click(Form& form) {
  // A cancelled dialog changes nothing at all.
  const std::optional<std::filesystem::path> path = form.window.ShowOpenDialog(OpenDialogSettings{});
  if (!path) return;

  const std::u16string captionBefore = form.caption;
  StoryFile file;
  {
    BusyPointer busy(form.window);
    ShowCaption(form, kLoadingCaption);
    file = ReadStoryFile(*path, form.codePage);
  }
  // A load succeeds whole or leaves the story, the flags and the caption as they were.
  if (file.status != StoryFileStatus::Loaded || file.text.empty()) {
    ShowCaption(form, captionBefore);
    form.window.ShowMessage(kLoadFailedText, kLoadFailedTitle);
    return;
  }
  // D and E carry over to the new story, and so does a pending choice.
  Story before{std::exchange(form.story.StoryText, std::move(file.text)), form.story.ReadPos,
                     form.story.ChoiceList, form.story.FlagA, form.story.FlagB, form.story.FlagC};
  try {
    form.story.FlagA = kFalse;
    form.story.FlagB = kFalse;
    form.story.FlagC = kFalse;
    form.story.ReadPos = 1;
    ReadOn(form);
  } catch (...) {
    // The old story comes back whole, so a failure while showing the first line
    // cannot leave the new text half loaded.
    form.story.StoryText = std::move(before.StoryText);
    form.story.ReadPos = before.ReadPos;
    form.story.ChoiceList = before.ChoiceList;
    form.story.FlagA = before.FlagA;
    form.story.FlagB = before.FlagB;
    form.story.FlagC = before.FlagC;
    throw;
  }
}

void mnuFileClose_Click(Form& form) { form.window.EndProgram(); }

void RunHandler(Form& form, const std::function<void(Form&)>& handler) {
  // Everything a handler may change but the story text, which only a load replaces,
  // and a load puts the old text back itself. Copying the text here instead would cost
  // a copy of the whole story on every key press.
  const std::int32_t readPos = form.story.ReadPos;
  const std::u16string choiceList = form.story.ChoiceList;
  const std::array<std::int16_t, 5> flags{form.story.FlagA, form.story.FlagB, form.story.FlagC, form.story.FlagD,
                                          form.story.FlagE};
  const std::u16string caption = form.caption;
  std::string what;
  try {
    handler(form);
    return;
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
  }
  form.story.ReadPos = readPos;
  form.story.ChoiceList = choiceList;
  form.story.FlagA = flags[0];
  form.story.FlagB = flags[1];
  form.story.FlagC = flags[2];
  form.story.FlagD = flags[3];
  form.story.FlagE = flags[4];
  ShowCaption(form, caption);
  form.window.SetBusyPointer(false);
  std::u16string text(kUnexpectedErrorText);
  if (!what.empty()) text += u"\r\n\r\n" + FromUtf8(what).value_or(u"?");
  form.window.ShowMessage(text, std::nullopt);
}

void mnuHelpVer_Click(Form& form) {
  std::u16string text(kVersionName);
  text += u"\r\n\r\n";
  text += kMakerNotice;
  form.window.ShowMessage(text, std::nullopt);
}

}  // namespace quillshade
