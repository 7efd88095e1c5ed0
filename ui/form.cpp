// frmMain's handlers: the keys, the Open command, the version box and Exit.
#include "ui/form.h"

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

void ShowIfAny(Form& form, std::optional<std::u16string_view> shownText) {
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

ReadingState::ReadingState(Form& form) : caption_(form.caption) {
  // Everything of the story but its text, copied without naming each field: the text
  // steps aside for the copy, and comes back even if the copy fails.
  struct TextAside {
    Story& story;
    std::u16string text;
    ~TextAside() { story.StoryText = std::move(text); }
  } aside{form.story, std::move(form.story.StoryText)};
  story_ = form.story;
}

void ReadingState::HoldStoryText(std::u16string oldText) {
  story_.StoryText = std::move(oldText);
  holdsText_ = true;
}

void ReadingState::RestoreTo(Form& form) {
  std::u16string text = holdsText_ ? std::move(story_.StoryText) : std::move(form.story.StoryText);
  form.story = std::move(story_);
  form.story.StoryText = std::move(text);
  ShowCaption(form, caption_);
}

void Form_Load(Form& form) {
  ShowCaption(form, kStartCaption);
  form.window.SetWidthTwips(kStartWidthTwips);
  form.window.SetHeightTwips(kStartHeightTwips);
}

void Form_KeyDown(Form& form, int keyCode) {
  // Space wins in every condition, also while a choice is pending, which stays pending.
  if (keyCode == keys::kSpace) {
    if (!form.window.IsMinimized()) form.window.Minimize();
    return;
  }
  if (ChoicePending(form.story.ChoiceList)) {
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
  if (path) OpenStory(form, *path);
}

void OpenStory(Form& form, const std::filesystem::path& path) {
  ReadingState before(form);
  StoryFile file;
  {
    BusyPointer busy(form.window);
    ShowCaption(form, kLoadingCaption);
    file = form.readStoryFile(path, form.codePage);
  }
  // A load succeeds whole or leaves the story, the flags and the caption as they were.
  if (file.status != StoryFileStatus::Loaded || file.text.empty()) {
    before.RestoreTo(form);
    form.window.ShowMessage(kLoadFailedText, kLoadFailedTitle);
    return;
  }
  // D and E carry over to the new story, and so does a pending choice.
  before.HoldStoryText(std::exchange(form.story.StoryText, std::move(file.text)));
  try {
    for (std::size_t i = 0; i < kFlagCount; ++i)
      if ((kCarriedFlags >> i & 1u) == 0) form.story.Flag(i) = kFalse;
    form.story.ReadPos = 1;
    ReadOn(form);
  } catch (...) {
    // The old story comes back whole, so a failure while showing the first line
    // cannot leave the new text half loaded.
    before.RestoreTo(form);
    throw;
  }
}

void mnuFileClose_Click(Form& form) { form.window.EndProgram(); }

void RunHandler(Form& form, const std::function<void(Form&)>& handler) {
  // The story text is not saved: only a load replaces it, and a load puts the old one
  // back itself.
  ReadingState before(form);
  std::string what;
  try {
    handler(form);
    return;
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
  }
  before.RestoreTo(form);
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
