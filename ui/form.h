// frmMain's logic: the form's handlers, written once for every window system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "story/code_page.h"
#include "story/story.h"
#include "story/story_file.h"
#include "story/title_bar.h"
#include "ui/window_port.h"

namespace quillshade {

inline constexpr std::u16string_view kApplicationTitle = u"Quillshade";  // a box without a title of its own
inline constexpr std::u16string_view kLoadFailedText = u"ファイルが開けません";
inline constexpr std::u16string_view kLoadFailedTitle = u"エラー";
inline constexpr std::u16string_view kVersionName = u"Quillshade Ver.2.01";
inline constexpr std::u16string_view kMakerNotice = u"(C) 2026 The Quillshade developers";
inline constexpr std::u16string_view kUnexpectedErrorText =
    u"予期しないエラーが起きました。読んでいた物語はそのままです。";
inline constexpr double kStartWidthTwips = 6750;
inline constexpr double kStartHeightTwips = 0;

// Virtual-key codes that the form acts on.
namespace keys {
inline constexpr int kSpace = 32;
inline constexpr int kDown = 40;
inline constexpr int k1 = 49;         // 1..5 on the main keyboard: 49..53
inline constexpr int kNumpad1 = 97;   // keypad 1..5: 97..101
}  // namespace keys

// The main window: its story, its caption, and the window system that shows them.
struct Form {
  Form(WindowPort& windowSystem, const CodePage& storyCodePage) : window(windowSystem), codePage(storyCodePage) {}

  WindowPort& window;          // not owned; outlives the form
  const CodePage& codePage;    // story files are decoded in it
  Story story;
  std::u16string caption;      // what the title bar shows now; Form_Load sets the first one
  // The read step of a load: the reader's own, unless a tool holds stories of its own
  // (qsd play encodes text sources in memory).
  std::function<StoryFile(const std::filesystem::path&, const CodePage&)> readStoryFile =
      [](const std::filesystem::path& path, const CodePage& page) { return ReadStoryFile(path, page); };
};

// What a handler can change, saved so that a handler that fails can be undone whole:
// where reading stands, the flags, the pending choice and the caption. The story text
// is held only when a load hands the old one over, since copying it on every key press
// would cost a copy of the whole story.
class ReadingState {
 public:
  explicit ReadingState(Form& form);
  // Keeps the text that a load is about to replace, so that a restore brings it back too.
  void HoldStoryText(std::u16string oldText);
  // Puts everything back as it was when saved, and shows the saved caption again.
  void RestoreTo(Form& form);

 private:
  Story story_;  // its StoryText is empty unless held
  bool holdsText_ = false;
  std::u16string caption_;
};

// The choice index of a choice key (1..5 or keypad 1..5), or -1 for any other key.
int ChoiceIndexOfKey(int keyCode);

// Shows the starting caption and sets the window to 6750 twips wide and as flat as the
// window system allows.
void Form_Load(Form& form);
// One key press. Shift, Ctrl and Alt play no part: only the key code counts.
void Form_KeyDown(Form& form, int keyCode);
// File > Open: the open dialog, then OpenStory with the chosen path.
void mnuFileOpen_Click(Form& form);
// Loads a story as File > Open does once its dialog has answered: from the command
// line, from a dropped file. The load succeeds whole or changes nothing.
void OpenStory(Form& form, const std::filesystem::path& path);
// File > Exit.
void mnuFileClose_Click(Form& form);
// Help > Version information.
void mnuHelpVer_Click(Form& form);

// Every window system runs each of the form's handlers through this guard, so that no
// exception unwinds into it: if the handler throws, the reading state and the caption
// are put back as they were, the pointer is the default again, and a box says what went
// wrong. The program goes on.
void RunHandler(Form& form, const std::function<void(Form&)>& handler);

}  // namespace quillshade
